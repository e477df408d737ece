#include "ui/main_window.hpp"

#include "core/pipeline.hpp"
#include "ui/window_layer.hpp"

#include <vector>

namespace rz {

bool BuildMainWindow(BoardState& state) {
    if (OpenTopLevelWindow(MainWindow, 0, 0, 240, 470, u"Rezurudev V1.1", MainWindowFlags) ==
        nullptr) {
        return false;
    }
    // Creation order is also the tab order: BeforeList, AfterList, ApplyButton, CancelButton.
    CreateTextLabel(BeforeLabel, 30, 10, 70, 20, u" Vorher");
    CreateTextLabel(AfterLabel, 150, 10, 60, 20, u" Nachher");
    CreateListControl(BeforeList, 10, 30, 100, 350);

    const std::vector<DrillRow> rows = PrepareDrillRows(state);
    for (const DrillRow& row : rows) {
        AddListItem(BeforeList, -1, row.Before);
    }
    CreateListControl(AfterList, 120, 30, 110, 350);
    for (const DrillRow& row : rows) {
        AddListItem(AfterList, -1, row.After);
    }

    CreatePushButton(ApplyButton, 10, 390, 220, 30, u"Neue Rezurudev Übernehmen");
    CreatePushButton(CancelButton, 10, 430, 220, 30, u"Keine Übernahme, Abbruch");
    return true;
}

} // namespace rz
