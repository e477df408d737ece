// The report of a run in the three forms the command line prints: text for a person, JSON
// and CSV for programs. All are views of the same decided holes.
#pragma once

#include "core/board_reader.hpp"
#include "core/drill_decisions.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace rz {

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
