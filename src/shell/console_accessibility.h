#pragma once
// Gives the main window's readings words for assistive technology: the
// status panel's values and lamps, the buffer percentage, the port text, the
// port lamp and the status bar (accessible_reading.h), and announces their
// changes (accessible_announcer.h).

struct MainControls;
class QObject;
class QStatusBar;

void MakeReadingsAccessible(const MainControls& ui, QStatusBar* statusBar, QObject* owner);
