// What a board (.kicad_pcb) or footprint file (.kicad_mod) says about each of its
// holes, read in one linear pass over the loaded lines.
//
// KiCad 4 to 10 are read alike: footprints as "(module" or "(footprint", their
// reference as "(fp_text reference R1" or "(property "Reference" "R1"", locks as a bare
// "locked" in a header or a "(locked yes)" child. Lists are tracked outside quoted
// strings only (core/board_syntax.hpp), so a "(pad" or "(drill" inside a text is text.
// Names and numbers are kept as positions in the loaded bytes, not copied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rz {

// A piece of the loaded bytes (LineStore::All()): where it starts and how long it is.
struct ByteSpan {
    size_t At = 0;
    size_t Length = 0;
};

enum class PadType : uint8_t { Other, ThruHole, NpThruHole, Smd, Connect };
enum class PadShape : uint8_t { Other, Circle, Oval, Rect, RoundRect, Trapezoid, Custom };

// The copper around a hole on one layer, in the pad's own frame (so the pad's rotation
// does not matter). A custom pad is kept as its anchor's shape. Millimetres in floats:
// the copper is only measured for warnings, and a large board has many holes.
struct CopperShape {
    PadShape Shape = PadShape::Other;
    float SizeX = 0;
    float SizeY = 0;
    float RoundRatio = 0; // roundrect: corner radius over the smaller size
    float OffsetX = 0;    // from the hole's centre to the copper's centre
    float OffsetY = 0;
};

struct FootprintRecord {
    ByteSpan Name;      // the first atom after "(module" / "(footprint", as written
    ByteSpan Reference; // as written; empty when the footprint names none
    bool Locked = false;
};

struct HoleRecord {
    // The drill list: "(drill [oval] W [H] [(offset X Y)])".
    size_t Open = 0; // its "("
    ByteSpan Number; // the pad's number atom, as written (a via has none)
    ByteSpan Sizes[2];
    // The copper of the pad's first layer (a via: its size as a circle), and those of
    // further padstack layers: LayerCopper[FirstLayer .. FirstLayer + Layers).
    CopperShape Copper;
    int32_t Footprint = -1; // index into BoardRecords::Footprints; -1 for a via
    uint32_t FirstLayer = 0;
    uint32_t Layers = 0;
    // The window's token for this drill: the TokenLength bytes from Open, "(drill " to
    // the first ")" on its line; for a list that goes on over later lines, its joined
    // one-line form, JoinedTokens[JoinedToken]. Neither when the list never closes or
    // does not begin with "(drill ": such a drill is never listed nor rewritten.
    uint32_t TokenLength = 0;
    int32_t JoinedToken = -1;
    PadType Type = PadType::Other;
    bool Via = false;
    bool Locked = false; // the pad's or the via's own lock
    bool Oval = false;
    uint8_t SizeCount = 0; // 1 or 2
};

struct BoardRecords {
    int64_t Version = 0; // "(version 20241229)"; 0 when there is none
    std::vector<FootprintRecord> Footprints;
    std::vector<HoleRecord> Holes; // in file order
    std::vector<CopperShape> LayerCopper;
    std::vector<std::string> JoinedTokens;

    std::string_view TokenOf(std::string_view all, const HoleRecord& hole) const;
};

// Reads the holes of `all` (lines each followed by "\n"). Only holes are recorded: a pad
// without a drill, or "(drill (offset X Y))" on a pad without a hole, gives none.
BoardRecords ReadBoard(std::string_view all);

// What a file holds, judged by its first list: a board, a footprint, something else, or
// a board or footprint whose first list never closes (cut off, or broken by hand).
enum class FileKind : uint8_t { Board, Footprint, Other, Unclosed };
FileKind KindOfFile(std::string_view all);

// An atom's text: a quoted atom without its quotes and with its escapes resolved.
std::string AtomText(std::string_view all, ByteSpan atom);
inline std::string_view SpanText(std::string_view all, ByteSpan span) {
    return all.substr(span.At, span.Length);
}

} // namespace rz
