// The steps of one run between the chosen path and the rewritten board, in the
// order the run sequence calls them. Each step reads and writes the BoardState.
#pragma once

#include "core/board_state.hpp"
#include "core/dialogs.hpp"
#include "core/drill_edits.hpp"
#include "core/drill_rule.hpp"
#include "core/os_file.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace rz {

// Asks for the board file through dialogs.ChooseOpenFile, reads it into
// state.BoardLines and returns the index of the last line stored (-1 for none).
// On failure it shows "Datei ist nicht vorhanden" through dialogs.ShowMessage.
// The caller stores the result in state.LastLineIndex. The dialog offers givenBoard,
// the full path of a board the program was started with, or else "test.kicad_pcb".
int32_t LoadBoardFile(BoardState& state, Dialogs& dialogs, const Text& givenBoard = Text());
// The same on a given file system (tests put a failing one in between).
int32_t LoadBoardFile(BoardState& state, Dialogs& dialogs, OsFiles& os,
                      const Text& givenBoard = Text());

// Fills state.DrillTokens with the distinct pad drill tokens (vias left out).
void CollectPadDrills(BoardState& state);
void AddDistinctDrill(BoardState& state);
// Sorts DrillTokens slots 0..DrillCount-1 (the run sequence's sort step).
void SortDrillTokens(BoardState& state);

// The value text of a drill token: "0.762" for "(drill 0.762)".
Text DrillValueText(const Text& token);
// A value text rounded to 0.1 mm: "0.8" for "0.762".
Text RoundedDrillText(const Text& valueText);
// What is listed and written for a value text under a rule (the window passes its own).
// One number, "oval W H", and either followed by " (offset ...": only the size numbers
// change, every other character is kept. Any other form, or sizes the rule cannot
// round (for the window: a tenfold beyond the float range): unchanged.
Text ListedDrillText(const Text& valueText, const SizeRule& rule = WindowSizeRule());
// The same with the sizes found, their new texts and the rule's verdict.
struct ListedDrill {
    Text After;
    SizeVerdict Verdict = SizeVerdict::Rounded;
    bool Oval = false;
    std::vector<Text> Sizes;    // the size numbers as written
    std::vector<Text> NewSizes; // what each becomes (as written when not rounded)
};
ListedDrill ListDrill(const Text& valueText, const SizeRule& rule);

// One row of the two lists the main window shows.
struct DrillRow {
    Text Before; // the value as found
    Text After;  // the value as it will be written
};

// Lowers DrillCount by one (it becomes the index of the last token), fills
// NewDrillTokens and returns the rows, row k belonging to token slot k + 1.
// The main window calls this once it is open.
std::vector<DrillRow> PrepareDrillRows(BoardState& state);

enum class ApplyOutcome {
    Written, // the board now holds the new content
    Refused, // nothing was written: the loaded content cannot be written back safely
    Failed,  // the rewrite failed; the board on disk is unchanged
};

// Rewrites the board file with the new drill tokens. On Refused and Failed the user
// has been told why through dialogs.ShowMessage (title "Information").
ApplyOutcome ApplyNewDrills(BoardState& state, Dialogs& dialogs);
ApplyOutcome ApplyNewDrills(BoardState& state, Dialogs& dialogs, OsFiles& os);

// What a rewrite writes and where: the loaded lines with the edits, each followed by the
// chosen line end, in place of the board or, with Output, in place of that file (created
// when it does not exist), the board left as it is.
struct RewriteOrder {
    std::span<const ByteEdit> Edits;
    LineEnds Ends = LineEnds::CrLf;
    Text Output;
    // KiCad 7 and later leave "~NAME.lck" beside a board they have open; a later save
    // there would silently put the old drills back. Then nothing is written.
    bool RefuseWhenOpenInKicad = false;
};

// The same steps as ApplyNewDrills, for any edits; what goes wrong is told likewise.
ApplyOutcome ApplyEdits(const BoardState& state, const RewriteOrder& order, Dialogs& dialogs);
ApplyOutcome ApplyEdits(const BoardState& state, const RewriteOrder& order, Dialogs& dialogs,
                        OsFiles& os);

// The temporary file names of a rewrite of the board `boardName` begin with this.
// Leftovers with it (and ending in ".tmp") are removed by the next rewrite.
Text TemporaryPrefix(const Text& boardName);

} // namespace rz
