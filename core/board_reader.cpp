#include "core/board_reader.hpp"

#include "core/board_lists.hpp"
#include "core/board_syntax.hpp"
#include "core/drill_lines.hpp"
#include "core/large_buffer.hpp"

#include <algorithm>

namespace rz {

namespace {

PadType TypeOf(std::string_view word) {
    if (word == "thru_hole") {
        return PadType::ThruHole;
    }
    if (word == "np_thru_hole") {
        return PadType::NpThruHole;
    }
    if (word == "smd") {
        return PadType::Smd;
    }
    return word == "connect" ? PadType::Connect : PadType::Other;
}

PadShape ShapeOf(std::string_view word) {
    static constexpr std::pair<std::string_view, PadShape> kShapes[] = {
        {"circle", PadShape::Circle},       {"oval", PadShape::Oval},
        {"rect", PadShape::Rect},           {"roundrect", PadShape::RoundRect},
        {"trapezoid", PadShape::Trapezoid}, {"custom", PadShape::Custom},
    };
    for (const auto& [name, shape] : kShapes) {
        if (word == name) {
            return shape;
        }
    }
    return PadShape::Other;
}

// The lists each reader looks at; the rest of a list is stepped over unread.
constexpr std::string_view kBoardItems[] = {"footprint", "module", "via", "version"};
constexpr std::string_view kFootprintItems[] = {"pad", "locked", "version", "fp_text", "property"};
constexpr std::string_view kCopperItems[] = {"size", "roundrect_rratio", "offset", "shape",
                                             "options"};
constexpr std::string_view kPadItems[] = {"drill",  "locked",           "padstack", "size",
                                          "offset", "roundrect_rratio", "shape",    "options"};
constexpr std::string_view kViaItems[] = {"drill", "locked", "padstack", "size"};
constexpr std::string_view kDrillItems[] = {"offset"};
constexpr std::string_view kOptionItems[] = {"anchor"};
constexpr std::string_view kPadstackItems[] = {"layer"};

// One pad's or padstack layer's copper while it is read; the anchor and the offset are
// settled once the whole list is known.
struct CopperDraft {
    CopperShape Copper;
    PadShape Anchor = PadShape::Rect;
    bool OwnOffset = false;
    bool OwnRatio = false;

    CopperShape Settled(float offsetX, float offsetY) const {
        CopperShape c = Copper;
        if (c.Shape == PadShape::Custom) {
            c.Shape = Anchor == PadShape::Circle ? PadShape::Circle : PadShape::Rect;
        }
        if (!OwnOffset) {
            c.OffsetX = offsetX;
            c.OffsetY = offsetY;
        }
        if (!OwnRatio) {
            c.RoundRatio = 0.25; // what KiCad takes when a roundrect names none
        }
        return c;
    }
};

class Reader : private ListWalker {
public:
    explicit Reader(std::string_view all) : ListWalker(all) {}

    BoardRecords Read() {
        // Room for a hole every 512 bytes, more than the densest real board has; pages
        // that stay unused are never touched, and those used come as large pages.
        out_.Holes.reserve(all_.size() / 512);
        AdviseLargeBuffer(out_.Holes.data(), out_.Holes.capacity() * sizeof(HoleRecord));
        for (size_t k = 0; k < all_.size();) {
            if (all_[k] == '"') {
                k = SkipString(all_, k);
            } else if (all_[k] == '(') {
                k = TopLevel(k) + 1;
            } else {
                ++k;
            }
        }
        return std::move(out_);
    }

private:
    // "(locked yes)", "(locked)": locked; "(locked no)": not.
    size_t LockedChild(size_t open, bool& locked) {
        Atoms atoms;
        const size_t close = Values(open, atoms);
        locked = atoms.empty() || Text(atoms[0]) != "no";
        return close;
    }

    size_t Version(size_t open) {
        Atoms atoms;
        const size_t close = Values(open, atoms);
        if (out_.Version == 0 && !atoms.empty()) {
            out_.Version = NumberOf<int64_t>(atoms[0]);
        }
        return close;
    }

    size_t TopLevel(size_t open) {
        const std::string_view keyword = Keyword(open);
        if (keyword == "footprint" || keyword == "module") {
            return Footprint(open);
        }
        if (keyword != "kicad_pcb") {
            return Skip(open);
        }
        Atoms atoms;
        return Children(HeadAtoms(open, atoms), kBoardItems, [&](size_t child) {
            const std::string_view k = Keyword(child);
            if (k == "footprint" || k == "module") {
                return Footprint(child);
            }
            if (k == "via") {
                return Via(child);
            }
            return k == "version" ? Version(child) : Skip(child);
        });
    }

    size_t Footprint(size_t open);
    size_t Pad(size_t open, int32_t footprint);
    size_t Via(size_t open);
    size_t Drill(size_t open, HoleRecord& hole, CopperDraft& copper);
    size_t CopperChild(size_t open, std::string_view keyword, CopperDraft& copper);
    size_t Padstack(size_t open, std::vector<CopperDraft>& layers);
    // The items of a pad or a via after its head: its drill, lock and copper.
    size_t HoleItems(size_t head, std::span<const std::string_view> items, HoleRecord& hole,
                     CopperDraft& copper, std::vector<CopperDraft>& layers);
    void SetToken(HoleRecord& hole, size_t close);

    BoardRecords out_;
};

size_t Reader::Footprint(size_t open) {
    Atoms atoms;
    const size_t head = HeadAtoms(open, atoms);
    const auto index = static_cast<int32_t>(out_.Footprints.size());
    FootprintRecord& added = out_.Footprints.emplace_back();
    added.Name = atoms.empty() ? ByteSpan{} : atoms[0];
    added.Locked = HasWord(atoms, 1, "locked");
    return Children(head, kFootprintItems, [&](size_t child) {
        FootprintRecord& fp = out_.Footprints[static_cast<size_t>(index)];
        const std::string_view k = Keyword(child);
        if (k == "pad") {
            return Pad(child, index);
        }
        if (k == "locked") {
            return LockedChild(child, fp.Locked);
        }
        if (k == "version") {
            return Version(child); // a footprint file's own header
        }
        if (k != "fp_text" && k != "property") {
            return Skip(child);
        }
        // KiCad 4-7: (fp_text reference R1 ...); KiCad 8-10: (property "Reference" "R1" ...)
        HeadAtoms(child, atoms);
        const std::string_view label = k == "fp_text" ? "reference" : "Reference";
        if (fp.Reference.Length == 0 && atoms.size() >= 2 && AtomText(all_, atoms[0]) == label) {
            fp.Reference = atoms[1];
        }
        return Skip(child);
    });
}

size_t Reader::CopperChild(size_t open, std::string_view keyword, CopperDraft& copper) {
    Atoms atoms;
    if (keyword == "size" || keyword == "roundrect_rratio" || keyword == "offset") {
        const size_t close = Values(open, atoms);
        const float first = atoms.empty() ? 0 : NumberOf<float>(atoms[0]);
        const float second = atoms.size() > 1 ? NumberOf<float>(atoms[1]) : first;
        if (keyword == "size") {
            copper.Copper.SizeX = first;
            copper.Copper.SizeY = second;
        } else if (keyword == "offset") {
            copper.Copper.OffsetX = first;
            copper.Copper.OffsetY = atoms.size() > 1 ? second : 0;
            copper.OwnOffset = true;
        } else {
            copper.Copper.RoundRatio = first;
            copper.OwnRatio = true;
        }
        return close;
    }
    if (keyword == "shape") {
        const size_t close = Values(open, atoms);
        copper.Copper.Shape = atoms.empty() ? PadShape::Other : ShapeOf(Text(atoms[0]));
        return close;
    }
    if (keyword != "options") {
        return Skip(open);
    }
    return Children(HeadAtoms(open, atoms), kOptionItems, [&](size_t child) {
        if (Keyword(child) != "anchor") {
            return Skip(child);
        }
        const size_t close = Values(child, atoms);
        copper.Anchor = atoms.empty() ? PadShape::Rect : ShapeOf(Text(atoms[0]));
        return close;
    });
}

size_t Reader::Padstack(size_t open, std::vector<CopperDraft>& layers) {
    Atoms atoms;
    return Children(HeadAtoms(open, atoms), kPadstackItems, [&](size_t child) {
        if (Keyword(child) != "layer") {
            return Skip(child);
        }
        CopperDraft& layer = layers.emplace_back();
        return Children(HeadAtoms(child, atoms), kCopperItems,
                        [&](size_t item) { return CopperChild(item, Keyword(item), layer); });
    });
}

size_t Reader::HoleItems(size_t head, std::span<const std::string_view> items, HoleRecord& hole,
                         CopperDraft& copper, std::vector<CopperDraft>& layers) {
    return Children(head, items, [&](size_t child) {
        const std::string_view k = Keyword(child);
        if (k == "drill") {
            return Drill(child, hole, copper);
        }
        if (k == "locked") {
            return LockedChild(child, hole.Locked);
        }
        return k == "padstack" ? Padstack(child, layers) : CopperChild(child, k, copper);
    });
}

size_t Reader::Pad(size_t open, int32_t footprint) {
    Atoms atoms;
    const size_t head = HeadAtoms(open, atoms);
    HoleRecord hole;
    hole.Footprint = footprint;
    hole.Number = atoms.empty() ? ByteSpan{} : atoms[0];
    hole.Type = atoms.size() > 1 ? TypeOf(Text(atoms[1])) : PadType::Other;
    hole.Locked = HasWord(atoms, 3, "locked");
    CopperDraft copper;
    copper.Copper.Shape = atoms.size() > 2 ? ShapeOf(Text(atoms[2])) : PadShape::Other;
    std::vector<CopperDraft> layers;
    const size_t close = HoleItems(head, kPadItems, hole, copper, layers);
    if (hole.SizeCount > 0) {
        const CopperShape front = copper.Settled(0, 0);
        hole.Copper = front;
        hole.FirstLayer = static_cast<uint32_t>(out_.LayerCopper.size());
        hole.Layers = static_cast<uint32_t>(layers.size());
        for (const CopperDraft& layer : layers) {
            out_.LayerCopper.push_back(layer.Settled(front.OffsetX, front.OffsetY));
        }
        out_.Holes.push_back(hole);
    }
    return close;
}

size_t Reader::Via(size_t open) {
    Atoms atoms;
    const size_t head = HeadAtoms(open, atoms);
    HoleRecord hole;
    hole.Via = true;
    hole.Locked = HasWord(atoms, 0, "locked");
    CopperDraft copper;
    std::vector<CopperDraft> layers;
    const size_t close = HoleItems(head, kViaItems, hole, copper, layers);
    if (hole.SizeCount > 0) {
        // A via is round: its one size is its diameter, on every layer.
        const auto circle = [](const CopperDraft& d) {
            CopperShape c;
            c.Shape = PadShape::Circle;
            c.SizeX = c.SizeY = d.Copper.SizeX;
            return c;
        };
        hole.Copper = circle(copper);
        hole.FirstLayer = static_cast<uint32_t>(out_.LayerCopper.size());
        for (const CopperDraft& layer : layers) {
            if (layer.Copper.SizeX > 0) {
                out_.LayerCopper.push_back(circle(layer));
                ++hole.Layers;
            }
        }
        out_.Holes.push_back(hole);
    }
    return close;
}

size_t Reader::Drill(size_t open, HoleRecord& hole, CopperDraft& copper) {
    // A damaged pad may hold a second drill list: it stands on its own, with nothing
    // left over from the first.
    hole.Oval = false;
    hole.TokenLength = 0;
    hole.JoinedToken = -1;
    Atoms atoms;
    const size_t head = HeadAtoms(open, atoms);
    size_t sizes = 0;
    for (size_t k = 0; k < atoms.size(); ++k) {
        if (k == 0 && Text(atoms[k]) == "oval") {
            hole.Oval = true;
        } else if (sizes < 2) {
            hole.Sizes[sizes++] = atoms[k];
        }
    }
    hole.SizeCount = static_cast<uint8_t>(sizes);
    hole.Open = open;
    const size_t close = Children(head, kDrillItems, [&](size_t child) {
        const std::string_view k = Keyword(child);
        return k == "offset" ? CopperChild(child, k, copper) : Skip(child);
    });
    if (sizes > 0) {
        SetToken(hole, close);
    }
    return close;
}

void Reader::SetToken(HoleRecord& hole, size_t close) {
    const size_t open = hole.Open;
    if (all_.substr(open, 7) != "(drill ") {
        return;
    }
    // Both searches stop at the first ")": on a board written as one line, searching for
    // its line's end from every drill would make the pass quadratic.
    const size_t paren = all_.find(')', open);
    if (paren == std::string_view::npos) {
        return;
    }
    if (all_.substr(open, paren - open).find('\n') == std::string_view::npos) {
        // A token longer than its field can hold is left without one: never rewritten.
        if (paren + 1 - open <= UINT32_MAX) {
            hole.TokenLength = static_cast<uint32_t>(paren + 1 - open);
        }
        return;
    }
    // Over several lines: each line end with the indentation behind it reads as one
    // blank, and the token ends at its first ")", as on one line. A list that never
    // closes has no token.
    if (close >= all_.size() || all_[close] != ')') {
        return;
    }
    const size_t tokenEnd = JoinedTokenEnd(all_, open);
    if (tokenEnd == std::string_view::npos) {
        return;
    }
    std::string joined = JoinLines(all_.substr(open, tokenEnd - open));
    hole.JoinedToken = static_cast<int32_t>(out_.JoinedTokens.size());
    out_.JoinedTokens.push_back(std::move(joined));
}

} // namespace

std::string_view BoardRecords::TokenOf(std::string_view all, const HoleRecord& hole) const {
    if (hole.JoinedToken >= 0) {
        return JoinedTokens[static_cast<size_t>(hole.JoinedToken)];
    }
    return all.substr(hole.Open, hole.TokenLength);
}

BoardRecords ReadBoard(std::string_view all) {
    return Reader(all).Read();
}

FileKind KindOfFile(std::string_view all) {
    const size_t open = all.find_first_not_of(" \t\r\n");
    if (open == std::string_view::npos || all[open] != '(') {
        return FileKind::Other;
    }
    const size_t word = open + 1;
    const size_t end = std::min(all.find_first_of(" \t\r\n()", word), all.size());
    const std::string_view keyword = all.substr(word, end - word);
    const bool board = keyword == "kicad_pcb";
    if (!board && keyword != "footprint" && keyword != "module") {
        return FileKind::Other;
    }
    if (!ListCloses(all, open)) {
        return FileKind::Unclosed;
    }
    return board ? FileKind::Board : FileKind::Footprint;
}

std::string AtomText(std::string_view all, ByteSpan atom) {
    std::string_view t = SpanText(all, atom);
    if (t.empty() || t.front() != '"') {
        return std::string(t);
    }
    t.remove_prefix(1);
    if (!t.empty() && t.back() == '"') {
        t.remove_suffix(1);
    }
    std::string out;
    for (size_t k = 0; k < t.size(); ++k) {
        if (t[k] == '\\' && k + 1 < t.size()) {
            ++k;
            out.push_back(t[k] == 'n' ? '\n' : t[k]);
        } else {
            out.push_back(t[k]);
        }
    }
    return out;
}

} // namespace rz
