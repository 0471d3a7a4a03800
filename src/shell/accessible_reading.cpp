#include "accessible_reading.h"

#include "accessible_interface.h"
#include "lamp.h"

#include <QLabel>
#include <QStatusBar>

namespace accessible {
namespace {

// Dynamic properties rather than subclasses: the console's labels stay
// plain QLabels, and the interface factory needs nothing but the widget.
constexpr const char* kKindProperty = "accessibleReading";
constexpr const char* kStatusLampProperty = "accessibleStatusLamp";

const QString kNoReading = QStringLiteral("- - -");

void mark(QWidget* widget, ReadingKind kind) {
    widget->setProperty(kKindProperty, static_cast<int>(kind));
    UseReadingInterface(widget);
}

QString statusLampState(const Lamp& lamp) {
    if (!lamp.hasColour()) {
        return kNoReading; // no status frame yet
    }
    const auto which = static_cast<StatusLamp>(lamp.property(kStatusLampProperty).toInt());
    // Whatever the colour, the words follow the bit the controller reported.
    return lamp.colourValue() == static_cast<std::uint32_t>(SetBitColour(which))
               ? QStringLiteral("on")
               : QStringLiteral("off");
}

QString portLampState(const Lamp& lamp) {
    if (lamp.hasColour()) {
        switch (static_cast<LampColour>(lamp.colourValue())) {
        case LampColour::Red:
            return QStringLiteral("closed");
        case LampColour::Yellow:
            return QStringLiteral("open");
        case LampColour::Green:
            return QStringLiteral("receiving");
        }
    }
    return kNoReading;
}

} // namespace

ReadingKind KindOf(const QObject* object) {
    return static_cast<ReadingKind>(object->property(kKindProperty).toInt());
}

void SpeakValue(QLabel* label) {
    mark(label, ReadingKind::Value);
}

void SpeakStatusLamp(Lamp* lamp, StatusLamp which) {
    lamp->setProperty(kStatusLampProperty, static_cast<int>(which));
    mark(lamp, ReadingKind::StatusLamp);
}

void SpeakPortLamp(Lamp* lamp) {
    mark(lamp, ReadingKind::PortLamp);
}

void SpeakMessages(QStatusBar* bar) {
    mark(bar, ReadingKind::Messages);
}

QString StateOf(const QWidget* widget) {
    switch (KindOf(widget)) {
    case ReadingKind::None:
        break;
    case ReadingKind::Value:
        // The percentage is shown as " 50 %": the blank is layout, not speech.
        return static_cast<const QLabel*>(widget)->text().trimmed();
    case ReadingKind::StatusLamp:
        return statusLampState(*static_cast<const Lamp*>(widget));
    case ReadingKind::PortLamp:
        return portLampState(*static_cast<const Lamp*>(widget));
    case ReadingKind::Messages:
        return static_cast<const QStatusBar*>(widget)->currentMessage();
    }
    return {};
}

QString ReadingOf(const QWidget* widget) {
    const ReadingKind kind = KindOf(widget);
    if (kind == ReadingKind::None || kind == ReadingKind::Messages) {
        return StateOf(widget); // a message says itself
    }
    return widget->accessibleName() + QStringLiteral(": ") + StateOf(widget);
}

QString ColourOf(const QWidget* widget) {
    const ReadingKind kind = KindOf(widget);
    if (kind != ReadingKind::StatusLamp && kind != ReadingKind::PortLamp) {
        return {};
    }
    const auto* lamp = static_cast<const Lamp*>(widget);
    if (!lamp->hasColour()) {
        return QStringLiteral("grey");
    }
    switch (static_cast<LampColour>(lamp->colourValue())) {
    case LampColour::Red:
        return QStringLiteral("red");
    case LampColour::Green:
        return QStringLiteral("green");
    case LampColour::Yellow:
        return QStringLiteral("yellow");
    }
    return lamp->colour().name();
}

} // namespace accessible
