// The hole engine on real files: without options it must list the window's rows and
// write the window's bytes, board by board; and what it reads of each hole must be
// what the file says.
#include "core/board_reader.hpp"
#include "core/drill_decisions.hpp"
#include "core/drill_plan.hpp"
#include "support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

namespace fs = std::filesystem;
using rztest::ReadBytes;
using rztest::ScratchDir;

// Every board and footprint file under the test data, and under the folder named by
// REZURUDEV_EXTRA_BOARDS (a whole library for a longer run).
std::vector<fs::path> RealFiles() {
    std::vector<fs::path> files;
    std::vector<fs::path> roots = {fs::path(REZURUDEV_TEST_DATA)};
    if (const char* extra = std::getenv("REZURUDEV_EXTRA_BOARDS"); extra != nullptr) {
        roots.emplace_back(extra);
    }
    for (const fs::path& root : roots) {
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            const fs::path ext = entry.path().extension();
            if (ext == ".kicad_pcb" || ext == ".kicad_mod") {
                files.push_back(entry.path());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(EngineRealBoards, WithoutOptionsTheWindowsRowsAndBytes) {
    const std::vector<fs::path> files = RealFiles();
    ASSERT_GE(files.size(), 10u);
    size_t rowsSeen = 0;
    size_t toolsSaved = 0;
    for (const fs::path& source : files) {
        SCOPED_TRACE(source.string());
        ScratchDir dir;
        const fs::path copy = dir / "b.kicad_pcb";
        fs::copy_file(source, copy);
        fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
        rztest::Session window(copy);
        const std::vector<rz::DrillRow>& windowRows = window.Rows;
        const rz::LineStore& lines = window.State.BoardLines;
        const std::string_view all = lines.All();
        const rz::BoardRecords records = rz::ReadBoard(all);
        const rz::DrillReport report = rz::DecideDrills(all, records, rz::DrillOptions());

        EXPECT_EQ(report.Rows.size(), windowRows.size());
        for (size_t r = 0; r < std::min(windowRows.size(), report.Rows.size()); ++r) {
            EXPECT_EQ(rz::Utf8ToText(report.Rows[r].Before), windowRows[r].Before);
            EXPECT_EQ(rz::Utf8ToText(report.Rows[r].After), windowRows[r].After);
        }
        rowsSeen += windowRows.size();

        // A plan, carried out by `apply` with its table: every hole gets the plan's sizes,
        // no ring is thinned, and no tool is added.
        const rz::BoardRecords whole = rz::ReadBoard(all);
        const rz::PlanFile project[] = {{all, &whole}};
        const rz::DrillPlan plan = rz::PlanDrills(project, rz::PlanDefaults());
        const rz::PlanCheck check = rz::CheckPlanByApply(project, rz::PlanDefaults(), plan);
        EXPECT_TRUE(check.Misses.empty() && check.Warnings.empty());
        EXPECT_EQ(check.ToolsAfter, plan.ToolsAfter);
        EXPECT_LE(plan.ToolsAfter.size(), plan.ToolsBefore.size());
        toolsSaved += plan.ToolsBefore.size() - plan.ToolsAfter.size();

        std::string written;
        std::string kept;
        const auto into = [](std::string& out) {
            return [&out](std::string_view piece) { return out.append(piece), true; };
        };
        ASSERT_TRUE(rz::WriteEditedLines(lines, lines.size(), report.Edits, into(written)));
        ASSERT_EQ(window.Apply(), rz::ApplyOutcome::Written);
        EXPECT_TRUE(ReadBytes(copy) == written) << "the bytes differ";
        // Each line with its own end: the file (written with LF, so the loaded bytes are its
        // own) with nothing but the edited numbers changed.
        std::string edited = ReadBytes(source);
        for (auto e = report.Edits.rbegin(); e != report.Edits.rend(); ++e) {
            edited.replace(e->At, e->Length, e->Replacement);
        }
        ASSERT_TRUE(rz::WriteEditedLines(lines, lines.size(), report.Edits, into(kept),
                                         rz::LineEnds::Keep));
        EXPECT_TRUE(kept == edited) << "more than the numbers changed";
    }
    EXPECT_GE(rowsSeen, 40u);
    EXPECT_GE(toolsSaved, 10u);
}

} // namespace
