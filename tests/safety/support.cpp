#include "support.hpp"

#include <cstdio>

namespace rzsafe {

namespace {

std::string Mm(int n, bool tenths) {
    char b[32];
    const int t = (n + 50) / 100;
    tenths ? std::snprintf(b, sizeof b, "%d.%d", t / 10, t % 10)
           : std::snprintf(b, sizeof b, "%d.%03d", n / 1000, n % 1000);
    return b;
}

} // namespace

Board GenerateBoard(size_t bytes, size_t drills) {
    // Pad sizes in micrometres, none within 0.002 of a half step (32-bit rounding would
    // make the expected text ambiguous); 0.254 is kept for vias only.
    std::vector<int> v;
    for (int n = 500; v.size() < drills; ++n) {
        if ((n % 100 < 48 || n % 100 > 52) && n != 254) {
            v.push_back(n);
        }
    }
    Board b;
    const auto line = [&](const std::string& orig, const std::string& exp = {}) {
        b.original += orig;
        b.expected += exp.empty() ? orig : exp;
        ++b.lines; // all three line ends come back as CR LF
        b.original += b.lines % 97 == 0 ? "\r\n" : b.lines % 1013 == 0 ? "\r" : "\n";
        b.expected += "\r\n";
    };
    const auto drill = [&](const std::string& head, int n, const std::string& tail) {
        line(head + "(drill " + Mm(n, false) + ")" + tail,
             head + "(drill " + Mm(n, true) + ")" + tail);
    };
    line("(kicad_pcb (version 20240108) (generator \"pcbnew\")");
    // A via marker inside a quoted text.
    line(" (title_block (comment 1 \"Grüße, Ω, µ, 測試, 😀 – \\\"quoted (via\\\" text\"))");
    for (size_t fp = 1, pad = 0; b.original.size() < bytes || pad < v.size(); ++fp) {
        line(" (footprint \"Rz:R_" + std::to_string(fp) + "\" (at " + std::to_string(fp % 200) +
             " 7)");
        for (int k = 1; k <= 2; ++k) {
            drill("  (pad \"" + std::to_string(k) + "\" thru_hole circle (size 1.6 1.6) ",
                  v[pad++ % v.size()], " (layers \"*.Cu\" \"*.Mask\"))");
        }
        line("\t\t(pad \"3\" thru_hole circle"); // the current layout: drill on its own line
        drill("\t\t\t", v[pad++ % v.size()], "");
        line("\t\t)");
        if (fp % 5 == 1) {
            line("  (pad \"4\" oval (drill oval 1.02 2.03))",
                 "  (pad \"4\" oval (drill oval 1.0 2.0))");
            line("  (pad \"5\" (drill 0.75 (offset 0 0.4)) (layers \"*.Cu\"))",
                 "  (pad \"5\" (drill 0.8 (offset 0 0.4)) (layers \"*.Cu\"))");
        }
        line(" )");
        // A via-only size, in both layouts, is neither listed nor changed; a via of a pad's
        // size is changed with it.
        for (const char* s :
             {" (via (at 1 1) (drill 0.254))", "\t(via", "\t\t(drill 0.254)", "\t)"}) {
            line(s);
        }
        drill(" (via (at 1 1) (size 0.8) ", v[0], " (net 1))");
    }
    line(")");
    b.distinct = v.size();
    return b;
}

} // namespace rzsafe
