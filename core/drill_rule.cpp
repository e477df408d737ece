#include "core/drill_rule.hpp"

#include <algorithm>

namespace rz {

namespace {

std::string_view Trimmed(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

const char* const kEntryHint = "erwartet wird ein Durchmesser in mm über 0 mit Punkt als "
                               "Dezimaltrennzeichen, z. B. 0.8";

std::string BadEntry(std::string_view entry, int line) {
    std::string where = line > 0 ? "Zeile " + std::to_string(line) + ": " : std::string();
    return where + "ungültiger Eintrag „" + std::string(entry) + "“ (" + kEntryHint + ")";
}

std::vector<Decimal> Ordered(std::vector<Decimal> sizes) {
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return sizes;
}

} // namespace

SizeVerdict DecimalSizeRule::NewSizes(bool oval, std::span<const Text> sizes,
                                      std::span<Text> out) const {
    std::vector<Decimal> before;
    for (const Text& size : sizes) {
        const std::optional<Decimal> value = Decimal::Parse(TextToUtf8(size));
        if (!value || !value->IsPositive()) {
            return SizeVerdict::NotANumber;
        }
        before.push_back(*value);
    }
    const bool slot = oval && before.size() == 2;
    const size_t width = slot && before[1] < before[0] ? 1 : 0;
    std::vector<Decimal> after(before.size());
    for (size_t k = 0; k < before.size(); ++k) {
        if (slot && k != width) {
            continue; // the length follows its new width, below
        }
        const bool toTable = !options_.Table.empty();
        const std::optional<Decimal> size =
            toTable ? FromTable(before[k]) : before[k].RoundTo(options_.Grid, options_.Mode);
        if (!size) {
            return toTable ? SizeVerdict::BeyondTable : SizeVerdict::NotANumber;
        }
        after[k] = *size;
    }
    if (slot) {
        const std::optional<Decimal> length =
            SlotLengthAfter(before[1 - width], after[width], options_);
        if (!length) {
            return SizeVerdict::NotANumber;
        }
        after[1 - width] = *length;
    }
    for (size_t k = 0; k < before.size(); ++k) {
        out[k] = after[k] == before[k] ? sizes[k] : Utf8ToText(after[k].ToText());
    }
    return SizeVerdict::Rounded;
}

std::optional<Decimal> SlotLengthAfter(Decimal length, Decimal widthAfter,
                                       const RoundingOptions& options) {
    // Comparing with the length as written keeps a second run from moving a slot that
    // became round to the grid after all.
    if (length <= widthAfter) {
        return widthAfter;
    }
    const std::optional<Decimal> onGrid = length.RoundTo(options.Grid, options.Mode);
    return onGrid ? std::optional<Decimal>(std::max(*onGrid, widthAfter)) : std::nullopt;
}

std::optional<Decimal> DecimalSizeRule::FromTable(Decimal size) const {
    const std::vector<Decimal>& t = options_.Table;
    const auto above = std::lower_bound(t.begin(), t.end(), size); // first >= size
    switch (options_.Mode) {
    case RoundMode::Up:
        return above == t.end() ? std::nullopt : std::optional<Decimal>(*above);
    case RoundMode::Down:
        if (above != t.end() && *above == size) {
            return size;
        }
        return above == t.begin() ? std::nullopt : std::optional<Decimal>(*(above - 1));
    case RoundMode::Nearest:
        break;
    }
    // Nearest: only between the table's ends; a tie goes to the larger size.
    if (above == t.end() || (*above != size && above == t.begin())) {
        return std::nullopt;
    }
    if (*above == size) {
        return size;
    }
    const Decimal lower = *(above - 1);
    const Decimal up = above->Minus(size).value_or(Decimal());
    const Decimal down = size.Minus(lower).value_or(Decimal());
    return up <= down ? *above : lower;
}

bool IsWindowRounding(const RoundingOptions& options) {
    return options.Mode == RoundMode::Nearest && options.Grid == RoundingOptions().Grid &&
           options.Table.empty();
}

std::optional<Decimal> ParseMillimetres(std::string_view text) {
    text = Trimmed(text);
    if (text.size() >= 2 && text.substr(text.size() - 2) == "mm") {
        text = Trimmed(text.substr(0, text.size() - 2));
    }
    const std::optional<Decimal> value = Decimal::Parse(text);
    return value && value->IsPositive() ? value : std::nullopt;
}

std::optional<std::vector<Decimal>> ParseDrillList(std::string_view list, std::string& error) {
    std::vector<Decimal> sizes;
    for (size_t from = 0; from <= list.size();) {
        const size_t comma = std::min(list.find(',', from), list.size());
        const std::string_view entry = Trimmed(list.substr(from, comma - from));
        const std::optional<Decimal> size = ParseMillimetres(entry);
        if (!size) {
            error = BadEntry(entry, 0);
            return std::nullopt;
        }
        sizes.push_back(*size);
        from = comma + 1;
    }
    return Ordered(std::move(sizes));
}

std::optional<std::vector<Decimal>> ParseDrillFile(std::string_view content, std::string& error) {
    if (content.substr(0, 3) == "\xEF\xBB\xBF") {
        content.remove_prefix(3); // a byte-order mark some editors write
    }
    std::vector<Decimal> sizes;
    int line = 0;
    for (size_t from = 0; from < content.size();) {
        const size_t end = std::min(content.find('\n', from), content.size());
        const std::string_view entry = Trimmed(content.substr(from, end - from));
        from = end + 1;
        ++line;
        if (entry.empty() || entry.front() == '#') {
            continue;
        }
        // "0,8" is a German 0.8, not two sizes: refused rather than guessed.
        const std::optional<Decimal> size = ParseMillimetres(entry);
        if (!size) {
            error = BadEntry(entry, line);
            return std::nullopt;
        }
        sizes.push_back(*size);
    }
    if (sizes.empty()) {
        error = "Die Bohrertabelle enthält keinen Durchmesser.";
        return std::nullopt;
    }
    return Ordered(std::move(sizes));
}

} // namespace rz
