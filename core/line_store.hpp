// The lines of a board file, kept back to back in one UTF-16 buffer.
//
// A board of 100 MB has millions of short lines; one string object per line would
// cost several times the file in memory. Here a line costs its code units plus one
// offset, and the buffer can be sized once from the file size.
#pragma once

#include "text/text.hpp"

#include <cstddef>
#include <string_view>
#include <vector>

namespace rz {

class LineStore {
public:
    size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }

    // Line i without its line end; valid until the store is next changed.
    std::u16string_view operator[](size_t i) const {
        const size_t begin = i == 0 ? 0 : ends_[i - 1];
        return std::u16string_view(units_).substr(begin, ends_[i] - begin);
    }

    void clear() {
        units_.clear();
        ends_.clear();
    }

    // Room for `units` code units in all, so that loading does not copy the buffer
    // while it grows.
    void reserve(size_t units) { units_.reserve(units); }

    void push_back(std::u16string_view line) {
        units_.append(line);
        EndLine();
    }

    // Building a line in place: append its pieces, then end it.
    void AppendUnits(std::u16string_view units) { units_.append(units); }
    void AppendAscii(std::string_view bytes) {
        const size_t at = units_.size();
        units_.resize(at + bytes.size());
        char16_t* out = units_.data() + at;
        for (const char byte : bytes) {
            *out++ = static_cast<char16_t>(static_cast<unsigned char>(byte));
        }
    }
    void EndLine() { ends_.push_back(units_.size()); }

    // Code units held by all lines (what the buffer holds).
    size_t UnitCount() const { return units_.size(); }

private:
    std::u16string units_;
    std::vector<size_t> ends_;
};

} // namespace rz
