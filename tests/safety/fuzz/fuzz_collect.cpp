// Fuzz target: collection, sorting and the listed texts, on lines cut from the input.
// Checks what must hold for any input, and, for inputs without any via, the exact set
// of tokens.
#include "core/pipeline.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void Violated(const char* what, const rz::Text& token) {
    std::fprintf(stderr, "collection invariant violated: %s [%s]\n", what,
                 rz::TextToUtf8(token).c_str());
    std::abort();
}

size_t Count(std::u16string_view t, char16_t c) {
    size_t n = 0;
    for (char16_t u : t) {
        n += u == c;
    }
    return n;
}

bool IsPlainRounded(std::u16string_view t) {
    // -?[0-9]*\.[0-9] with at least one character before the point
    size_t k = 0;
    if (k < t.size() && t[k] == u'-') {
        ++k;
    }
    size_t digits = 0;
    while (k < t.size() && t[k] >= u'0' && t[k] <= u'9') {
        ++k;
        ++digits;
    }
    return t.size() == k + 2 && t[k] == u'.' && t[k + 1] >= u'0' && t[k + 1] <= u'9' &&
           (digits > 0 || (k == 1 && t[0] == u'-'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    rz::BoardState state;
    std::set<rz::Text> firstTokens; // from lines without any via marker
    bool anyVia = false;
    size_t at = 0;
    while (at < data.size()) {
        size_t end = data.find('\n', at);
        if (end == std::string_view::npos) {
            end = data.size();
        }
        const rz::Text line = rz::Utf8ToText(data.substr(at, end - at));
        state.BoardLines.push_back(line);
        at = end + 1;
        if (line.find(u"(via") != rz::Text::npos) {
            anyVia = true;
            continue;
        }
        const size_t p = line.find(u"(drill ");
        const size_t e = p == rz::Text::npos ? p : line.find(u')', p);
        if (e != rz::Text::npos) {
            firstTokens.insert(line.substr(p, e - p + 1));
        }
    }
    state.LastLineIndex = static_cast<int32_t>(state.BoardLines.size()) - 1;

    rz::CollectPadDrills(state);
    rz::SortDrillTokens(state);
    const int32_t stored = state.DrillCount < 1 ? 0 : state.DrillCount - 1;
    if (!state.DrillTokens.empty() && !state.DrillTokens[0].empty()) {
        Violated("slot 0 is not empty", state.DrillTokens[0]);
    }
    std::set<rz::Text> seen;
    for (int32_t j = 1; j <= stored; ++j) {
        const rz::Text& token = state.DrillTokens[static_cast<size_t>(j)];
        if (token.rfind(u"(drill ", 0) != 0 || token.back() != u')' || Count(token, u')') != 1) {
            Violated("not a drill token", token);
        }
        if (!seen.insert(token).second) {
            Violated("stored twice", token);
        }
        if (j > 1 && rz::CompareTexts(state.DrillTokens[static_cast<size_t>(j - 1)], token) >= 0) {
            Violated("not sorted", token);
        }
        if (!anyVia && firstTokens.count(token) == 0) {
            Violated("not the first token of any line", token);
        }
    }
    if (!anyVia && seen != firstTokens) {
        Violated("a pad line's token is missing", u"");
    }

    const std::vector<rz::DrillRow> rows = rz::PrepareDrillRows(state);
    if (rows.size() != static_cast<size_t>(stored) ||
        state.DrillCount != (stored == 0 ? -1 : stored)) {
        Violated("row count differs from the token count", u"");
    }
    for (size_t k = 0; k < rows.size(); ++k) {
        const rz::Text& token = state.DrillTokens[k + 1];
        const rz::DrillRow& row = rows[k];
        if (row.Before != rz::DrillValueText(token) || u"(drill " + row.Before + u")" != token) {
            Violated("before text is not the token's value", token);
        }
        if (state.NewDrillTokens[k + 1] != u"(drill " + row.After + u")") {
            Violated("new token does not match the after text", token);
        }
        // The replacement must not change the line's structure: no ")" that would
        // end the token early, as many "(" as before.
        if (Count(row.After, u')') != 0 || Count(row.After, u'(') != Count(row.Before, u'(')) {
            Violated("after text changes the parentheses", token);
        }
        if (row.After != row.Before) {
            // Rounding again changes nothing: a second run lists the same text.
            if (rz::ListedDrillText(row.After) != row.After) {
                Violated("rounding the after text again changes it", token);
            }
            const float value = rz::ParseFloat32(row.Before);
            if (row.After == rz::RoundedDrillText(row.Before) && value > -1e6f && value < 1e6f &&
                !IsPlainRounded(row.After)) {
                Violated("a plain size is not written with one decimal", token);
            }
            if (row.After.find(u"Inf") != rz::Text::npos ||
                row.After.find(u"NaN") != rz::Text::npos ||
                row.After.find(u"Na.N") != rz::Text::npos) {
                Violated("a size turned into a text that is no number", token);
            }
        }
    }
    return 0;
}
