// The report of a run in the three forms the command line prints: text for a person, JSON
// and CSV for programs. All are views of the same decided holes.
#pragma once

#include "core/board_reader.hpp"
#include "core/drill_decisions.hpp"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace rz {

// The sizes of a value text as JSON numbers in mm: one number for a round hole, [W, H]
// for "oval W H"; an offset behind them is left out. A form that is not sizes stays the
// text the board has.
nlohmann::ordered_json SizesJson(std::string_view value);
// Sizes as JSON numbers, and as text: " 0.3 0.8".
nlohmann::ordered_json ToolsJson(const std::vector<Decimal>& tools);
std::string ToolsText(const std::vector<Decimal>& tools);
// A CSV field, quoted when it holds a separator, a quote or a line end.
std::string CsvField(std::string_view text);
// References as one text, separated by blanks: "R1 R2".
std::string Joined(const std::vector<std::string>& names);

struct ReportView {
    std::string_view File; // as given, UTF-8
    const BoardRecords& Records;
    const DrillReport& Report;
    std::vector<size_t> Rows; // which rows of Report to show, in order
};

// The rows as "before TAB after" lines; with `details`, then the holes left alone, the
// warnings and the drill tools before and after.
std::string TextReport(const ReportView& view, bool details);
// One object: file, kicad_version, rows, vias, tools_before, tools_after, warnings.
std::string JsonReport(const ReportView& view);
// The rows with the columns of the JSON rows. One board's come under a header line; with
// `fileColumn` (a report of many files) each row begins with the file and has no header.
std::string CsvReport(const ReportView& view, bool fileColumn = false);
std::string CsvHeader(bool fileColumn);

} // namespace rz
