// The numbered-file layer: how bytes become lines, how lines become bytes.
#include "core/content_hash.hpp"
#include "core/numbered_file.hpp"
#include "core/pipeline.hpp"
#include "support.hpp"

#include <gtest/gtest.h>

#include <random>

namespace {

using rztest::FakeDialogs;
using rztest::PathText;
using rztest::ReadBytes;
using rztest::ScratchDir;
using rztest::WriteBytes;

struct ReadCase {
    const char* Name;
    std::string Bytes;
    std::vector<rz::Text> Lines;
    bool Faithful;
};

std::string A(size_t n) {
    return std::string(n, 'a');
}
rz::Text UA(size_t n) {
    return rz::Text(n, u'a');
}

std::vector<ReadCase> ReadCases() {
    using namespace std::string_literals;
    return {
        {"empty file", "", {}, true},
        {"LF", "A\n", {u"A"}, true},
        {"CR LF", "A\r\n", {u"A"}, true},
        {"lone CR", "A\r", {u"A"}, true},
        {"no line end", "A", {u"A"}, true},
        {"LF LF", "A\n\n", {u"A", u""}, true},
        {"CR then text", "A\rB", {u"A", u"B"}, true},
        {"CR CR LF", "A\r\r\nB", {u"A", u"", u"B"}, true},
        {"LF CR", "A\n\rB", {u"A", u"", u"B"}, true},
        {"NUL ends a line", "A\0B\n"s, {u"A", u"B"}, false},
        {"byte-order mark kept",
         "\xEF\xBB\xBF"
         "A\nB",
         {u"\uFEFFA", u"B"},
         true},
        {"stray continuation byte",
         "\x80"
         "A\n",
         {u"?A"},
         false},
        {"byte never used in UTF-8", "x\xF8y\xFF", {u"x?y?"}, false},
        {"sequence cut by the end", "A\xE2\x82", {u"A"}, false},
        {"well-formed characters",
         "\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\n",
         {u"\u00E4\u20AC\U0001F600"},
         true},
        {"U+FFFD itself is well-formed", "\xEF\xBF\xBD", {u"\uFFFD"}, true},
        // A Latin-1 byte swallows the LF after it: the two lines become one.
        {"Latin-1 before LF", "\xE4\nB\nC", {rz::Utf8ToText("\xE4\nB"), u"C"}, false},
        // A NUL inside a character ends the decoding of its line.
        {"NUL inside a character", "\xC3\0AB\nC"s, {u"\uFFFD", u"C"}, false},
        {"overlong form", "\xC0\xAF\n", {rz::Utf8ToText("\xC0\xAF")}, false},
        {"encoded surrogate", "\xED\xA0\x80\n", {rz::Utf8ToText("\xED\xA0\x80")}, false},
        {"beyond U+10FFFF", "\xF5\x80\x80\x80", {rz::Utf8ToText("\xF5\x80\x80\x80")}, false},
        // Byte 4096 is the last of the first refill.
        {"CR LF split across refills", A(4095) + "\r\nB", {UA(4095), u"B"}, true},
        {"CR at byte 4096 then text", A(4095) + "\rB", {UA(4095), u"B"}, true},
        {"CR as the last byte, at 4096", A(4095) + "\r", {UA(4095)}, true},
        {"character split across refills", A(4095) + "\xC3\xA4\n", {UA(4095) + u"\u00E4"}, true},
        {"LF as byte 4096", A(4095) + "\nB", {UA(4095), u"B"}, true},
        {"line longer than the buffer", A(10000) + "\n" + A(3), {UA(10000), UA(3)}, true},
    };
}

TEST(LineReading, EveryRuleOnLineEndsAndCharacters) {
    ScratchDir dir;
    for (const ReadCase& c : ReadCases()) {
        SCOPED_TRACE(c.Name);
        WriteBytes(dir / "board", c.Bytes);
        rz::BoardState state;
        FakeDialogs dialogs(PathText(dir / "board"));
        const int32_t last = rz::LoadBoardFile(state, dialogs);
        EXPECT_EQ(last, static_cast<int32_t>(c.Lines.size()) - 1);
        EXPECT_EQ(rztest::LinesOf(state), c.Lines);
        EXPECT_EQ(state.Flaw, c.Faithful ? rz::LoadFlaw::None : rz::LoadFlaw::NotUtf8);
        EXPECT_TRUE(dialogs.Messages.empty());
        EXPECT_EQ(state.LoadedSize, c.Bytes.size());
        rz::ContentHash hash;
        hash.Update(c.Bytes.data(), c.Bytes.size());
        EXPECT_EQ(state.LoadedHash, hash.Digest());
    }
}

TEST(LineReading, FileAtEndAndReadingOneLineAtATime) {
    ScratchDir dir;
    WriteBytes(dir / "f", "A\rB\r\n\r");
    rz::NumberedFiles files(rz::SystemFiles());
    EXPECT_TRUE(files.FileAtEnd(0)); // not open
    EXPECT_EQ(files.ReadTextLine(0), u"");
    ASSERT_NE(files.OpenFileForReading(0, PathText(dir / "f")), 0);
    EXPECT_FALSE(files.FileAtEnd(0));
    EXPECT_EQ(files.ReadTextLine(0), u"A");
    EXPECT_FALSE(files.FileAtEnd(0));
    EXPECT_EQ(files.ReadTextLine(0), u"B");
    EXPECT_FALSE(files.FileAtEnd(0)); // only a lone CR is left
    EXPECT_EQ(files.ReadTextLine(0), u"");
    EXPECT_TRUE(files.FileAtEnd(0));
    EXPECT_EQ(files.CloseNumberedFile(0), rz::OsResult::Ok);
    EXPECT_EQ(files.Slot(0), nullptr);
    EXPECT_EQ(files.CloseNumberedFile(0), rz::OsResult::Ok); // closing twice does nothing
}

TEST(LineReading, FilesThatCannotBeOpened) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "folder");
    const std::vector<rz::Text> paths = {u"", PathText(dir / "missing"), PathText(dir / "folder")};
    for (const rz::Text& path : paths) {
        SCOPED_TRACE(rz::TextToUtf8(path));
        rz::BoardState state;
        FakeDialogs dialogs(path);
        EXPECT_EQ(rz::LoadBoardFile(state, dialogs), -1);
        EXPECT_EQ(state.BoardFileName, path);
        EXPECT_EQ(state.Flaw, rz::LoadFlaw::NotLoaded);
        ASSERT_EQ(dialogs.Messages.size(), 1u);
        EXPECT_EQ(dialogs.Messages[0].Title, u"Information");
        EXPECT_EQ(dialogs.Messages[0].Text, u"Datei ist nicht vorhanden");
        EXPECT_EQ(dialogs.LastTitle, u"Lade PCB-Datei");
        EXPECT_EQ(dialogs.LastDefault, u"test.kicad_pcb");
        EXPECT_EQ(dialogs.LastFilter, u"PCB-datei (*.kicad_pcb)| *.kicad_pcb");
        EXPECT_EQ(dialogs.LastPosition, 0);
    }
}

TEST(LineReading, AFailedReadIsRememberedNotTakenForTheEnd) {
    ScratchDir dir;
    WriteBytes(dir / "board", A(5000) + "\n" + A(5000) + "\n");
    rztest::FaultyFiles faulty(rz::SystemFiles());
    faulty.FailAt = 4; // OpenExisting, FileSize, Read, then the second Read
    rz::BoardState state;
    FakeDialogs dialogs(PathText(dir / "board"));
    rz::LoadBoardFile(state, dialogs, faulty);
    ASSERT_EQ(faulty.Log[3], rztest::Call::Read);
    EXPECT_EQ(state.Flaw, rz::LoadFlaw::ReadError);
    EXPECT_EQ(state.LoadedSize, 4096u);
}

struct WriteCase {
    const char* Name;
    std::vector<rz::Text> Lines;
    std::string Bytes;
};

TEST(LineWriting, UTF8AndCRLFAcrossTheBuffer) {
    const std::vector<WriteCase> cases = {
        {"nothing", {}, ""},
        {"empty line", {u""}, "\r\n"},
        {"plain", {u"ab", u"c"}, "ab\r\nc\r\n"},
        {"non-ASCII",
         {u"\uFEFF\u00E4\u20AC\U0001F600"},
         "\xEF\xBB\xBF\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\r\n"},
        {"lone surrogate", {rz::Text(1, char16_t(0xD800))}, "\xEF\xBF\xBD\r\n"},
        {"fills the buffer exactly", {UA(4094)}, A(4094) + "\r\n"},
        {"one byte more than the buffer", {UA(4095)}, A(4095) + "\r\n"},
        {"after a partly filled buffer",
         {UA(10), UA(4090), UA(8000)},
         A(10) + "\r\n" + A(4090) + "\r\n" + A(8000) + "\r\n"},
    };
    ScratchDir dir;
    int n = 0;
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto path = dir / ("out" + std::to_string(n++));
        rz::NumberedFiles files(rz::SystemFiles());
        ASSERT_NE(files.CreateFileForWriting(0, PathText(path)), 0);
        for (const rz::Text& line : c.Lines) {
            EXPECT_EQ(files.WriteTextLine(0, line),
                      static_cast<int64_t>(rz::TextToUtf8(line).size() + 2));
        }
        EXPECT_EQ(files.CloseNumberedFile(0), rz::OsResult::Ok);
        EXPECT_EQ(ReadBytes(path), c.Bytes);
    }
}

TEST(LineWriting, NeverOpensAnExistingFileAndIgnoresReadOnlyFiles) {
    ScratchDir dir;
    WriteBytes(dir / "taken", "old");
    rz::NumberedFiles files(rz::SystemFiles());
    EXPECT_EQ(files.CreateFileForWriting(0, PathText(dir / "taken")), 0);
    EXPECT_EQ(files.LastOpenResult(), rz::OsResult::AlreadyExists);
    EXPECT_EQ(files.WriteTextLine(0, u"x"), 0);
    EXPECT_EQ(ReadBytes(dir / "taken"), "old");

    ASSERT_NE(files.OpenFileForReading(0, PathText(dir / "taken")), 0);
    EXPECT_EQ(files.WriteTextLine(0, u"x"), 0);
    files.CloseNumberedFile(0);
    EXPECT_EQ(ReadBytes(dir / "taken"), "old");
}

TEST(LineWriting, AFailedWriteIsKeptAndStopsFurtherWrites) {
    ScratchDir dir;
    rztest::FaultyFiles faulty(rz::SystemFiles());
    faulty.FailAt = 2; // CreateNew, then the first Write
    faulty.FailWith = rz::OsResult::NoSpace;
    rz::NumberedFiles files(faulty);
    ASSERT_NE(files.CreateFileForWriting(0, PathText(dir / "out")), 0);
    files.WriteTextLine(0, UA(5000));
    EXPECT_EQ(files.WriteTextLine(0, u"more"), 0);
    EXPECT_EQ(files.FlushNumberedFile(0), rz::OsResult::NoSpace);
    EXPECT_EQ(files.CloseNumberedFile(0), rz::OsResult::NoSpace);
}

TEST(ContentHash, SameDigestHoweverTheBytesAreCut) {
    std::mt19937 random(7);
    std::string bytes(100000, '\0');
    for (char& b : bytes) {
        b = static_cast<char>(random());
    }
    for (size_t size : {size_t(0), size_t(1), size_t(31), size_t(32), size_t(33), size_t(100000)}) {
        SCOPED_TRACE(size);
        rz::ContentHash whole;
        whole.Update(bytes.data(), size);
        rz::ContentHash pieces;
        size_t at = 0;
        while (at < size) {
            const size_t piece = std::min<size_t>(random() % 70, size - at);
            pieces.Update(bytes.data() + at, piece);
            at += piece;
        }
        EXPECT_EQ(whole.Digest(), pieces.Digest());
        EXPECT_EQ(whole.Size(), size);
    }
    // One changed bit, or one more zero byte, changes the digest.
    rz::ContentHash a, b, c;
    a.Update(bytes.data(), 1000);
    bytes[500] ^= 1;
    b.Update(bytes.data(), 1000);
    const std::string zeros(1001, '\0');
    c.Update(zeros.data(), 1001);
    rz::ContentHash d;
    d.Update(zeros.data(), 1000);
    EXPECT_NE(a.Digest(), b.Digest());
    EXPECT_NE(c.Digest(), d.Digest());
}

} // namespace
