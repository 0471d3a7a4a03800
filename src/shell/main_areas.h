#pragma once
// One builder per area of the main window; BuildMainControls calls them in
// tab order (top row left to right, then the middle row, then the history).

#include "main_controls.h"

void BuildDriveSetupArea(QWidget* form, MainControls& ui);
void BuildStatusPanelArea(QWidget* form, MainControls& ui);
void BuildPortStripArea(QWidget* form, MainControls& ui);
void BuildReferenceGridArea(QWidget* form, MainControls& ui);
void BuildCommandFramesArea(QWidget* form, MainControls& ui);
void BuildHistoryArea(QWidget* form, MainControls& ui);
