// Fuzz target: collection, sorting and the listed texts, on lines cut from the input.
// What must hold for any input, and for inputs without a via the exact set of tokens.
#include "support.hpp"

#include <algorithm>
#include <cstdint>
#include <regex>
#include <set>
#include <string_view>

using rzsafe::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    rz::BoardState state;
    const auto Count = [](const rz::Text& t, char16_t c) {
        return std::count(t.begin(), t.end(), c);
    };
    std::set<rz::Text> firstTokens; // of each line; all there is to collect without vias
    bool anyVia = false;
    for (size_t at = 0; at < data.size();) {
        const size_t end = std::min(data.find('\n', at), data.size());
        const rz::Text line = rz::Utf8ToText(data.substr(at, end - at));
        state.BoardLines.push_back(line);
        at = end + 1;
        anyVia = anyVia || line.find(u"(via") != rz::Text::npos;
        const size_t p = line.find(u"(drill "), e = p == rz::Text::npos ? p : line.find(u')', p);
        if (e != rz::Text::npos) {
            firstTokens.insert(line.substr(p, e - p + 1));
        }
    }
    state.LastLineIndex = static_cast<int32_t>(state.BoardLines.size()) - 1;
    rz::CollectPadDrills(state);
    rz::SortDrillTokens(state);
    const int32_t stored = std::max(state.DrillCount - 1, 0);
    const auto tokens = state.DrillTokens.begin();
    for (int32_t j = 1; j <= stored; ++j) {
        const rz::Text& token = tokens[j];
        Require(token.rfind(u"(drill ", 0) == 0 && token.back() == u')' && Count(token, u')') == 1,
                "not a drill token", token);
        Require(j == 1 || rz::CompareTexts(tokens[j - 1], token) < 0, "unsorted or twice", token);
    }
    Require(anyVia || std::set<rz::Text>(tokens + 1, tokens + 1 + stored) == firstTokens,
            "the tokens are not those of the pad lines");

    const std::vector<rz::DrillRow> rows = rz::PrepareDrillRows(state);
    Require(rows.size() == static_cast<size_t>(stored) &&
                state.DrillCount == (stored ? stored : -1),
            "row count differs from the token count");
    static const std::regex oneDecimal("-?[0-9]+\\.[0-9]|-\\.[0-9]");
    for (size_t k = 0; k < rows.size(); ++k) {
        const rz::Text& token = tokens[static_cast<long>(k) + 1];
        const rz::DrillRow& row = rows[k];
        Require(row.Before == rz::DrillValueText(token) && u"(drill " + row.Before + u")" == token,
                "before text is not the token's value", token);
        Require(state.NewDrillTokens[k + 1] == u"(drill " + row.After + u")",
                "new token does not match the after text", token);
        // The replacement keeps the line's structure: no ")" to end the token early.
        Require(Count(row.After, u')') == 0 && Count(row.After, u'(') == Count(row.Before, u'('),
                "after text changes the parentheses", token);
        if (row.After == row.Before) {
            continue;
        }
        Require(rz::ListedDrillText(row.After) == row.After, "rounding twice changes it", token);
        const float value = rz::ParseFloat32(row.Before);
        Require(row.After != rz::RoundedDrillText(row.Before) || !(value > -1e6f && value < 1e6f) ||
                    std::regex_match(rz::TextToUtf8(row.After), oneDecimal),
                "a plain size is not written with one decimal", token);
        for (const char16_t* word : {u"Inf", u"NaN", u"Na.N"}) {
            Require(row.After.find(word) == rz::Text::npos, "a size turned into no number", token);
        }
    }
    return 0;
}
