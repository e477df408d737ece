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

// The transfer buffer's size: byte B is the last of the first refill.
constexpr size_t B = rz::kFileBufferSize;

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
        {"CR LF split across refills", A(B - 1) + "\r\nB", {UA(B - 1), u"B"}, true},
        {"CR as the last byte of a refill, then text", A(B - 1) + "\rB", {UA(B - 1), u"B"}, true},
        {"CR as the last byte of a refill and of the file", A(B - 1) + "\r", {UA(B - 1)}, true},
        {"character split across refills", A(B - 1) + "\xC3\xA4\n", {UA(B - 1) + u"\u00E4"}, true},
        {"LF as the last byte of a refill", A(B - 1) + "\nB", {UA(B - 1), u"B"}, true},
        {"NUL as the last byte of a refill",
         A(B - 1) + std::string(1, '\0') + "B",
         {UA(B - 1), u"B"},
         false},
        {"line longer than the buffer", A(2 * B + 10) + "\n" + A(3), {UA(2 * B + 10), UA(3)}, true},
        {"many short lines across refills", std::string(B + 7, '\n'), std::vector<rz::Text>(B + 7),
         true},
        {"CR LF lines across refills",
         [] {
             std::string s;
             for (size_t k = 0; k < B / 4 + 3; ++k) {
                 s += "ab\r\n";
             }
             return s;
         }(),
         std::vector<rz::Text>(B / 4 + 3, u"ab"), true},
    };
}

TEST(LineReading, EveryRuleOnLineEndsAndCharacters) {
    ScratchDir dir;
    // Whole refills, and the bytes handed out in small pieces as a pipe or a network
    // share may: then every rule meets a refill boundary somewhere.
    for (const int32_t piece : {0, 1, 2, 3, 7}) {
        for (const ReadCase& c : ReadCases()) {
            if (piece != 0 && c.Bytes.size() > 1000) {
                continue; // the large cases meet the refill boundary in whole refills
            }
            SCOPED_TRACE(c.Name);
            SCOPED_TRACE(piece);
            WriteBytes(dir / "board", c.Bytes);
            rz::BoardState state;
            FakeDialogs dialogs(PathText(dir / "board"));
            rztest::FaultyFiles chopped(rz::SystemFiles());
            chopped.ReadPiece = piece;
            const int32_t last = rz::LoadBoardFile(state, dialogs, chopped);
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
}

// The loader takes many lines per call; one line per call must cut the same lines
// and come to the same verdict, whatever the bytes and however they arrive.
TEST(LineReading, ManyLinesAtOnceAsOneAtATime) {
    ScratchDir dir;
    std::mt19937 random(11);
    const std::string alphabet[] = {"a",
                                    "(drill 0.8)",
                                    "\n",
                                    "\r",
                                    "\r\n",
                                    std::string(1, '\0'),
                                    "\xC3\xA4",
                                    "\xE2\x82\xAC",
                                    "\xF0\x9F\x98\x80",
                                    "\x80",
                                    "\xC3",
                                    "\xFF",
                                    std::string(40, 'x')};
    for (int round = 0; round < 200; ++round) {
        std::string bytes;
        const size_t target = random() % 8 == 0 ? B + random() % 64 : random() % 300;
        while (bytes.size() < target) {
            bytes += alphabet[random() % std::size(alphabet)];
        }
        if (round % 4 == 0 && !bytes.empty()) {
            bytes.resize(bytes.size() - random() % bytes.size() % 4); // cut a character short
        }
        SCOPED_TRACE(round);
        WriteBytes(dir / "f", bytes);
        // Small pieces for small files; large files in whole refills or odd large pieces.
        const auto piece = static_cast<int32_t>(random() % 5 == 0 ? 0
                                                : target < 1000   ? 1 + random() % 9
                                                                  : 4093 + random() % 7);

        rztest::FaultyFiles oneOs(rz::SystemFiles());
        oneOs.ReadPiece = piece;
        rz::NumberedFiles one(oneOs);
        ASSERT_NE(one.OpenFileForReading(0, PathText(dir / "f")), 0);
        rz::LineStore single;
        while (!one.FileAtEnd(0)) {
            one.ReadTextLine(0, single);
        }
        const bool faithful = one.Slot(0)->Faithful;
        const uint64_t digest = one.Slot(0)->Received.Digest();
        one.CloseNumberedFile(0); // it holds the file exclusively

        rztest::FaultyFiles manyOs(rz::SystemFiles());
        manyOs.ReadPiece = piece;
        rz::NumberedFiles many(manyOs);
        ASSERT_NE(many.OpenFileForReading(0, PathText(dir / "f")), 0);
        rz::LineStore bulk;
        const size_t step = 1 + random() % 4;
        while (many.ReadTextLines(0, bulk, step) == step) {
        }
        EXPECT_TRUE(many.FileAtEnd(0));
        EXPECT_EQ(many.ReadTextLines(0, bulk, 5), 0u);

        EXPECT_EQ(bulk.All(), single.All());
        ASSERT_EQ(bulk.size(), single.size());
        for (size_t i = 0; i < bulk.size(); ++i) {
            EXPECT_EQ(bulk.EndOf(i), single.EndOf(i));
        }
        EXPECT_EQ(many.Slot(0)->Faithful, faithful);
        EXPECT_EQ(many.Slot(0)->Received.Digest(), digest);
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
    WriteBytes(dir / "board", A(B + 100) + "\n" + A(B + 100) + "\n");
    rztest::FaultyFiles faulty(rz::SystemFiles());
    faulty.FailAt = 4; // OpenExisting, FileSize, Read, then the second Read
    rz::BoardState state;
    FakeDialogs dialogs(PathText(dir / "board"));
    rz::LoadBoardFile(state, dialogs, faulty);
    ASSERT_EQ(faulty.Log[3], rztest::Call::Read);
    EXPECT_EQ(state.Flaw, rz::LoadFlaw::ReadError);
    EXPECT_EQ(state.LoadedSize, B);
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
        {"fills the buffer exactly", {UA(B - 2)}, A(B - 2) + "\r\n"},
        {"one byte more than the buffer", {UA(B - 1)}, A(B - 1) + "\r\n"},
        {"after a partly filled buffer",
         {UA(10), UA(B - 6), UA(2 * B)},
         A(10) + "\r\n" + A(B - 6) + "\r\n" + A(2 * B) + "\r\n"},
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
    files.WriteTextLine(0, UA(B + 1000));
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
