// Fuzz target: the line reader against a plain model of its rules, on a file system in
// memory whose reads come back in pieces of varying size (a short read is not the end)
// and which may fail part-way, as a real disk or network share can.
#include "core/numbered_file.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Fails the run with the input saved by libFuzzer.
[[noreturn]] void Violated(const char* what, size_t line) {
    std::fprintf(stderr, "line reader invariant violated: %s (line %zu)\n", what, line);
    std::abort();
}

bool WellFormed(std::string_view bytes) {
    size_t i = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    while (i < bytes.size()) {
        const unsigned b = p[i];
        size_t need = 0;
        uint32_t cp = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            need = 1;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            need = 2;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            need = 3;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + need >= bytes.size()) {
            return false;
        }
        for (size_t k = 1; k <= need; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        static const uint32_t least[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < least[need] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += need + 1;
    }
    return true;
}

struct Model {
    std::vector<std::u16string> lines;
    bool faithful = true;
};

// The reading rules written out the slow, obvious way: a character at a time.
Model ReadModel(std::string_view data) {
    Model m;
    size_t i = 0;
    const auto at = [&](size_t k) { return static_cast<unsigned char>(data[k]); };
    while (i < data.size()) {
        std::string line;
        for (;;) {
            if (i >= data.size()) {
                break;
            }
            const unsigned char b = at(i++);
            size_t more = 0;
            if (b >= 0xC0 && b <= 0xDF) {
                more = 1;
            } else if (b >= 0xE0 && b <= 0xEF) {
                more = 2;
            } else if (b >= 0xF0 && b <= 0xF7) {
                more = 3;
            } else if (b >= 0x80) {
                line += '?';
                m.faithful = false;
                continue;
            }
            if (more > 0) {
                if (data.size() - i < more) {
                    i = data.size();
                    m.faithful = false;
                    break; // cut short by the end: dropped
                }
                line += static_cast<char>(b);
                line.append(data.substr(i, more));
                i += more;
                continue;
            }
            if (b == 0x0A) {
                break;
            }
            if (b == 0x0D) {
                if (i < data.size() && at(i) == 0x0A) {
                    ++i;
                }
                break;
            }
            if (b == 0x00) {
                m.faithful = false;
                break;
            }
            line += static_cast<char>(b);
        }
        const size_t nul = line.find('\0');
        if (nul != std::string::npos) {
            line.resize(nul);
            m.faithful = false;
        }
        if (!WellFormed(line)) {
            m.faithful = false;
        }
        m.lines.push_back(rz::Utf8ToText(line));
    }
    return m;
}

// A file system holding one file in memory. Read sizes follow a schedule picked from
// the input, and a read may start failing at a chosen offset and keep failing.
class MemoryFiles final : public rz::OsFiles {
public:
    MemoryFiles(std::string_view data, uint32_t pick) : data_(data), pick_(pick) {
        if (pick_ % 5 == 4 && !data_.empty()) {
            failAt_ = (pick_ / 5) % data_.size();
        }
    }
    size_t FailAt() const { return failAt_; }

    rz::OsResult OpenExisting(const rz::Text&, Access, rz::OsHandle& handle) override {
        handle.Value = 7;
        pos_ = 0;
        return rz::OsResult::Ok;
    }
    int64_t FileSize(rz::OsHandle) override { return static_cast<int64_t>(data_.size()); }
    int32_t Read(rz::OsHandle handle, void* buffer, int32_t size) override {
        if (handle.Value != 7 || size <= 0) {
            std::abort();
        }
        if (pos_ >= failAt_) {
            return -1;
        }
        size_t want = static_cast<size_t>(size);
        switch (pick_ % 5) {
        case 1:
            want = 1;
            break;
        case 2:
            want = (calls_ % 2 == 0) ? 4095 : 2; // pieces that straddle the buffer end
            break;
        case 3:
            want = 1 + (calls_ * 2654435761u + pick_) % 5000;
            break;
        default:
            break;
        }
        ++calls_;
        want = std::min({want, static_cast<size_t>(size), data_.size() - pos_, failAt_ - pos_});
        std::memcpy(buffer, data_.data() + pos_, want);
        pos_ += want;
        return static_cast<int32_t>(want);
    }
    rz::OsResult CreateNew(const rz::Text&, rz::OsHandle&) override { return rz::OsResult::Failed; }
    rz::OsResult Write(rz::OsHandle, const void*, int32_t) override { return rz::OsResult::Failed; }
    rz::OsResult Flush(rz::OsHandle) override { return rz::OsResult::Failed; }
    rz::OsResult CopyPermissions(rz::OsHandle, rz::OsHandle) override {
        return rz::OsResult::Failed;
    }
    rz::OsResult Close(rz::OsHandle& handle) override {
        handle = rz::OsHandle();
        return rz::OsResult::Ok;
    }
    rz::OsResult Replace(const rz::Text&, const rz::Text&, rz::OsHandle& held) override {
        held = rz::OsHandle();
        return rz::OsResult::Failed;
    }
    rz::OsResult Remove(const rz::Text&) override { return rz::OsResult::Failed; }
    rz::OsResult RemoveStale(const rz::Text&) override { return rz::OsResult::Failed; }
    rz::Text ResolveTarget(const rz::Text& path) override { return path; }
    std::vector<rz::Text> ListNames(const rz::Text&, const rz::Text&) override { return {}; }

private:
    std::string_view data_;
    uint32_t pick_;
    size_t pos_ = 0;
    size_t calls_ = 0;
    size_t failAt_ = SIZE_MAX;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    uint32_t pick = 2166136261u;
    for (size_t k = 0; k < size && k < 64; ++k) {
        pick = (pick ^ bytes[k]) * 16777619u;
    }
    pick ^= static_cast<uint32_t>(size);
    MemoryFiles files(data, pick);
    const bool fails = files.FailAt() != SIZE_MAX;
    const Model model = ReadModel(fails ? data.substr(0, files.FailAt()) : data);

    rz::NumberedFiles numbered(files);
    if (numbered.OpenFileForReading(0, u"board") == 0) {
        Violated("open failed", 0);
    }
    rz::LineStore lines;
    size_t count = 0;
    while (!numbered.FileAtEnd(0)) {
        if (count % 3 == 1) {
            // Both forms of the call must cut the same lines.
            lines.push_back(numbered.ReadTextLine(0));
        } else {
            numbered.ReadTextLine(0, lines);
        }
        if (++count > size + 1) {
            Violated("more lines than bytes", count);
        }
    }
    const rz::FileSlot* slot = numbered.Slot(0);
    if (slot == nullptr) {
        Violated("slot closed while reading", count);
    }
    if (lines.size() != model.lines.size()) {
        Violated("line count differs from the model", lines.size());
    }
    for (size_t k = 0; k < lines.size(); ++k) {
        if (lines[k] != std::u16string_view(model.lines[k])) {
            Violated("line differs from the model", k);
        }
    }
    if (slot->ReadFailed != fails) {
        Violated("read failure not remembered", 0);
    }
    if (!fails && slot->Faithful != model.faithful) {
        Violated("write-back verdict differs from the model", 0);
    }
    if (slot->Received.Size() != (fails ? files.FailAt() : size)) {
        Violated("byte count of the loaded content is wrong", 0);
    }
    if (numbered.CloseNumberedFile(0) != rz::OsResult::Ok) {
        Violated("closing a read file failed", 0);
    }
    return 0;
}
