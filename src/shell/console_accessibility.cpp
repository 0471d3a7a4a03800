#include "console_accessibility.h"

#include "accessible_announcer.h"
#include "accessible_reading.h"
#include "lamp.h"
#include "main_controls.h"

#include <QLabel>
#include <QStatusBar>

void MakeReadingsAccessible(const MainControls& ui, QStatusBar* statusBar, QObject* owner) {
    auto* announcer = new AccessibleAnnouncer(owner);
    announcer->setObjectName("accessibleAnnouncer");

    for (QLabel* value :
         {ui.Label_posx, ui.Label_posy, ui.Label_posz, ui.Label_posc, ui.Label_mode,
          ui.Label_errcode, ui.Label_framectr, ui.label_bufferfill_prozent, ui.Label_Com}) {
        accessible::SpeakValue(value);
        announcer->watch(value);
    }

    const std::pair<Lamp*, StatusLamp> lamps[] = {
        {ui.Label_emergency, StatusLamp::Emergency}, {ui.Label_endx, StatusLamp::EndX},
        {ui.Label_endy, StatusLamp::EndY},           {ui.Label_endz, StatusLamp::EndZ},
        {ui.Label_endc, StatusLamp::EndC},           {ui.Label_boost, StatusLamp::Boost},
        {ui.Label_sleep, StatusLamp::Sleep},         {ui.Label_cool, StatusLamp::Cooling},
        {ui.Label_spindel, StatusLamp::Spindle},
    };
    for (const auto& [lamp, which] : lamps) {
        accessible::SpeakStatusLamp(lamp, which);
        announcer->watch(lamp);
    }

    accessible::SpeakPortLamp(ui.Label3);
    announcer->watch(ui.Label3);

    // QStatusBar announces each new message itself (a NameChanged event while
    // a client listens); the message is the reading's name as well.
    accessible::SpeakMessages(statusBar);
}
