#include "core/board_lists.hpp"

namespace rz {

namespace {

bool IsDelimiter(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '(' || c == ')' || c == '"';
}

} // namespace

std::string_view ListWalker::Keyword(size_t open) const {
    size_t k = open + 1;
    while (k < all_.size() && !IsDelimiter(all_[k])) {
        ++k;
    }
    return all_.substr(open + 1, k - open - 1);
}

size_t ListWalker::HeadAtoms(size_t open, Atoms& atoms) const {
    atoms.clear();
    size_t k = open + 1 + Keyword(open).size();
    while (k < all_.size()) {
        const char c = all_[k];
        if (c == '(' || c == ')') {
            break;
        }
        if (c == '"') {
            const size_t end = SkipString(all_, k);
            atoms.push_back({k, end - k});
            k = end;
        } else if (IsDelimiter(c)) {
            ++k;
        } else {
            const size_t begin = k;
            while (k < all_.size() && !IsDelimiter(all_[k])) {
                ++k;
            }
            atoms.push_back({begin, k - begin});
        }
    }
    return k;
}

} // namespace rz
