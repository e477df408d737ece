// Walking the lists of a KiCad file: keywords, the atoms of a list's head, its child
// lists. Strings are skipped as the board's syntax says (core/board_syntax.hpp).
#pragma once

#include "core/board_reader.hpp"
#include "core/board_syntax.hpp"

#include <algorithm>
#include <charconv>
#include <span>
#include <string_view>

namespace rz {

// The first atoms of a list's head (a header holds a handful; more are not looked at).
class Atoms {
public:
    static constexpr size_t kKept = 8;
    void clear() { count_ = 0; }
    void push_back(ByteSpan atom) {
        if (count_ < kKept) {
            spans_[count_++] = atom;
        }
    }
    bool empty() const { return count_ == 0; }
    size_t size() const { return count_; }
    ByteSpan operator[](size_t k) const { return spans_[k]; }
    const ByteSpan* begin() const { return spans_; }
    const ByteSpan* end() const { return spans_ + count_; }

private:
    ByteSpan spans_[kKept];
    size_t count_ = 0;
};

class ListWalker {
public:
    explicit ListWalker(std::string_view all) : all_(all) {}

    std::string_view Text(ByteSpan span) const { return SpanText(all_, span); }
    // The word behind the "(" at `open`: "pad" for "(pad 1 ...".
    std::string_view Keyword(size_t open) const;
    // The atoms between a list's keyword and its first child or its end; gives the
    // position where they stop.
    size_t HeadAtoms(size_t open, Atoms& atoms) const;

    // Calls each(open) for the child lists from `from` on whose keyword begins with one
    // of `wanted`; each gives the child's ")". The others are stepped over in the scan,
    // without a call: a footprint is mostly drawing.
    // Gives the ")" that ends the list, or the last position when it never ends.
    template <class Each>
    size_t Children(size_t from, std::span<const std::string_view> wanted, Each&& each) {
        for (size_t k = from;;) {
            k = NextChild(k, wanted);
            if (k >= all_.size()) {
                return all_.empty() ? 0 : all_.size() - 1;
            }
            if (all_[k] == ')') {
                return k;
            }
            k = each(k) + 1;
        }
    }
    // The "(" of the next wanted child from `from` on, the ")" that ends the list, or the
    // end of all when it never ends.
    size_t NextChild(size_t from, std::span<const std::string_view> wanted) const;

    // The ")" that closes the list at `open`; the last position when it never closes.
    size_t Skip(size_t open) const {
        const size_t close = NextChild(open + 1, {});
        return close < all_.size() ? close : (all_.empty() ? 0 : all_.size() - 1);
    }

    // An atom's number; 0 when it is none.
    template <class Number> Number NumberOf(ByteSpan atom) const {
        Number value = 0;
        const std::string_view t = Text(atom);
        std::from_chars(t.data(), t.data() + t.size(), value);
        return value;
    }

    // The atoms of a child such as "(size 1.6 1.6)", and its ")".
    size_t Values(size_t open, Atoms& atoms) const {
        const size_t head = HeadAtoms(open, atoms);
        return head < all_.size() && all_[head] == ')' ? head : Skip(open);
    }

    bool HasWord(const Atoms& atoms, size_t from, std::string_view word) const {
        return std::any_of(atoms.begin() + std::min(from, atoms.size()), atoms.end(),
                           [&](ByteSpan a) { return Text(a) == word; });
    }

protected:
    std::string_view all_;
};

} // namespace rz
