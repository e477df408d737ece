#include "app/cli/report_forms.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <map>

namespace rz {

using Json = nlohmann::ordered_json;

Json SizesJson(std::string_view value) {
    std::vector<Decimal> sizes;
    bool oval = false;
    size_t at = 0;
    while (at < value.size()) {
        const size_t end = std::min(value.find_first_of(" \t", at), value.size());
        const std::string_view word = value.substr(at, end - at);
        at = end + 1;
        if (word.empty()) {
            continue;
        }
        if (word.starts_with("(")) {
            break; // "(offset"
        }
        const std::optional<Decimal> size = Decimal::Parse(word);
        if (word == "oval" && sizes.empty() && !oval) {
            oval = true;
        } else if (!size) {
            return std::string(value);
        } else {
            sizes.push_back(*size);
        }
    }
    if (sizes.size() == 1 && !oval) {
        return sizes[0].ToDouble();
    }
    if (sizes.size() == 2 && oval) {
        return Json::array({sizes[0].ToDouble(), sizes[1].ToDouble()});
    }
    return std::string(value);
}

Json ToolsJson(const std::vector<Decimal>& tools) {
    Json out = Json::array();
    for (const Decimal tool : tools) {
        out.push_back(tool.ToDouble());
    }
    return out;
}

std::string ToolsText(const std::vector<Decimal>& tools) {
    std::string out;
    for (const Decimal tool : tools) {
        out += " " + tool.ToText();
    }
    return out;
}

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string out = "\"";
    for (const char c : text) {
        out += c == '"' ? "\"\"" : std::string(1, c);
    }
    return out + "\"";
}

namespace {

double Micrometres(double mm) {
    return std::round(mm * 1000) / 1000;
}

std::string_view KeptText(KeptReason reason) {
    switch (reason) {
    case KeptReason::Pattern:
        return "passt zu --keep";
    case KeptReason::NonPlated:
        return "nicht durchkontaktiert, --plated-only";
    case KeptReason::Locked:
        return "gesperrt, --keep-locked";
    case KeptReason::ViaKept:
        return "--vias keep";
    case KeptReason::BeyondTable:
        return "außerhalb der Bohrertabelle";
    case KeptReason::MaxChange:
        return "würde sich weiter als --max-change ändern";
    case KeptReason::NotANumber:
        return "keine Form, deren Maße gerundet werden";
    case KeptReason::None:
        break;
    }
    return "";
}

struct KeptCount {
    int32_t Pads = 0;
    int32_t Vias = 0;
};

// The holes of each row that are left alone where the rule would change them or cannot
// reach its target, by reason.
std::map<std::pair<int32_t, KeptReason>, KeptCount> KeptHoles(const ReportView& view) {
    std::map<std::pair<int32_t, KeptReason>, KeptCount> kept;
    const DrillReport& report = view.Report;
    for (size_t i = 0; i < report.Holes.size(); ++i) {
        const HoleDecision& d = report.Holes[i];
        if (d.Kept == KeptReason::None || d.Row < 0 || d.Token < 0) {
            continue;
        }
        const DrillToken& token = report.Tokens[static_cast<size_t>(d.Token)];
        if (token.Changes || token.Reason != KeptReason::None) {
            KeptCount& count = kept[{d.Row, d.Kept}];
            ++(view.Records.Holes[i].Via ? count.Vias : count.Pads);
        }
    }
    return kept;
}

std::string Counted(int32_t n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string Details(const ReportView& view) {
    const DrillReport& report = view.Report;
    std::string out;
    const auto kept = KeptHoles(view);
    std::string keptLines;
    for (const size_t r : view.Rows) {
        for (auto it = kept.lower_bound({static_cast<int32_t>(r), KeptReason::None});
             it != kept.end() && it->first.first == static_cast<int32_t>(r); ++it) {
            const KeptCount& n = it->second;
            std::string holes = n.Pads > 0 ? Counted(n.Pads, "Pad", "Pads") : "";
            if (n.Vias > 0) {
                holes += (holes.empty() ? "" : ", ") + Counted(n.Vias, "Via", "Vias");
            }
            keptLines += "  " + report.Rows[r].Before + ": " + holes + " belassen (" +
                         std::string(KeptText(it->first.second)) + ")\n";
        }
    }
    if (!keptLines.empty()) {
        out += "\nBelassen:\n" + keptLines;
    }
    if (!report.Warnings.empty()) {
        out += "\nWarnungen:\n";
        for (const DrillWarning& w : report.Warnings) {
            out += "  " + w.Message + "\n";
        }
    }
    out += "\nBohrwerkzeuge: " + std::to_string(report.ToolsBefore.size()) + " vorher, " +
           std::to_string(report.ToolsAfter.size()) + " nachher\n";
    out += "  vorher: " + ToolsText(report.ToolsBefore) + "\n";
    out += "  nachher:" + ToolsText(report.ToolsAfter) + "\n";
    return out;
}

} // namespace

std::string Joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) {
        out += (out.empty() ? "" : " ") + name;
    }
    return out;
}

std::string TextReport(const ReportView& view, bool details) {
    std::string out;
    for (const size_t r : view.Rows) {
        out += view.Report.Rows[r].Before + "\t" + view.Report.Rows[r].After + "\n";
    }
    if (!details) {
        return out;
    }
    // A blank line between the rows and what follows, not above a report without rows.
    const std::string more = Details(view);
    return out + (out.empty() ? more.substr(1) : more);
}

std::string JsonReport(const ReportView& view) {
    const DrillReport& report = view.Report;
    Json rows = Json::array();
    for (const size_t r : view.Rows) {
        const ReportRow& row = report.Rows[r];
        const std::string_view kept = KeptReasonName(row.Kept);
        rows.push_back({{"drill", row.Before},
                        {"before", SizesJson(row.Before)},
                        {"after", SizesJson(row.After)},
                        {"pads", row.Pads},
                        {"plated", row.Plated},
                        {"non_plated", row.NonPlated},
                        {"references", row.References},
                        {"vias_following", row.ViasFollowing},
                        {"kept", kept.empty() ? Json() : Json(kept)}});
    }
    Json vias = Json::array();
    for (const ViaDrill& via : report.Vias) {
        vias.push_back({{"drill", SizesJson(via.Drill)}, {"count", via.Count}});
    }
    Json warnings = Json::array();
    for (const DrillWarning& w : report.Warnings) {
        Json warning = {{"reference", w.Reference},
                        {"pad", w.Pad},
                        {"kind", WarningKindName(w.Kind)},
                        {"before", SizesJson(w.Before)},
                        {"after", SizesJson(w.After)},
                        {"ring_before", Micrometres(w.RingBefore)},
                        {"ring_after", Micrometres(w.RingAfter)},
                        {"count", w.Count},
                        {"message", w.Message}};
        warnings.push_back(std::move(warning));
    }
    const Json out = {
        {"file", std::string(view.File)},
        {"kicad_version", report.KicadVersion > 0 ? Json(report.KicadVersion) : Json()},
        {"rows", std::move(rows)},
        {"vias", std::move(vias)},
        {"tools_before", ToolsJson(report.ToolsBefore)},
        {"tools_after", ToolsJson(report.ToolsAfter)},
        {"warnings", std::move(warnings)}};
    // Texts from a board that are not valid UTF-8 are written with U+FFFD, never refused.
    return out.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string CsvHeader(bool fileColumn) {
    return std::string(fileColumn ? "file," : "") +
           "before,after,pads,plated,non_plated,references,vias_following,kept\n";
}

std::string CsvReport(const ReportView& view, bool fileColumn) {
    std::string out = fileColumn ? std::string() : CsvHeader(false);
    const std::string file = fileColumn ? CsvField(view.File) + "," : std::string();
    for (const size_t r : view.Rows) {
        const ReportRow& row = view.Report.Rows[r];
        out += file + CsvField(row.Before) + "," + CsvField(row.After) + "," +
               std::to_string(row.Pads) + "," + std::to_string(row.Plated) + "," +
               std::to_string(row.NonPlated) + "," + CsvField(Joined(row.References)) + "," +
               std::to_string(row.ViasFollowing) + "," + std::string(KeptReasonName(row.Kept)) +
               "\n";
    }
    return out;
}

} // namespace rz
