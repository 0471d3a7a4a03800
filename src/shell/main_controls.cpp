#include "main_areas.h"

void BuildMainControls(QWidget* form, MainControls& ui) {
    BuildDriveSetupArea(form, ui);
    BuildStatusPanelArea(form, ui);
    BuildPortStripArea(form, ui);
    BuildReferenceGridArea(form, ui);
    BuildCommandFramesArea(form, ui);
    BuildHistoryArea(form, ui);
}
