#pragma once
// What the console's readings say to assistive technology (screen readers on
// the desktop's accessibility bus): a value label as "Position x: 10000", a
// lamp as "End X: on", the status bar as its current message. The words are
// worked out from the widget's state each time they are asked for, so showing
// a status frame costs nothing more than it did.
//
// The caption of a reading is the widget's accessibleName ("Position x",
// "End X", "Port"); QLabel announces every new text itself only while that
// name is empty, so keeping it set also keeps a stream of frames off the bus.
// AccessibleAnnouncer says when a reading has changed.

#include <status_report.h>

#include <QString>

class Lamp;
class QLabel;
class QObject;
class QStatusBar;
class QWidget;

namespace accessible {

enum class ReadingKind { None, Value, StatusLamp, PortLamp, Messages };

// Each marks a widget so that its accessible interface speaks its reading.
void SpeakValue(QLabel* label);                     // "<caption>: <text>"
void SpeakStatusLamp(Lamp* lamp, StatusLamp which); // "<caption>: on" / "off" / "- - -"
void SpeakPortLamp(Lamp* lamp);                     // "<caption>: closed" / "open" / "receiving"
void SpeakMessages(QStatusBar* bar);                // the current message

ReadingKind KindOf(const QObject* object);

// The reading as it is said now, and its state part alone ("10000", "on",
// "closed"); empty for a widget that was not marked.
QString ReadingOf(const QWidget* widget);
QString StateOf(const QWidget* widget);
// A lamp's colour in words ("red", "green", "yellow", "grey" at rest), for
// operators who do not tell the colours apart; empty for other readings.
QString ColourOf(const QWidget* widget);

} // namespace accessible
