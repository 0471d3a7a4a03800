#include "qt_operator_input.h"

#include <QApplication>
#include <QThread>
#include <QWidget>
#include <QWindow>
#include <QtTest>

namespace {

// Where the window system sends a key: the open popup, else the active
// window, as the operator's model sees them. (Right after a window hides,
// the window system's own focus window may lag a turn of the event loop
// behind the active window.)
QWindow* keyboardWindow() {
    if (QWidget* popup = QApplication::activePopupWidget()) {
        return popup->windowHandle();
    }
    if (QWidget* active = QApplication::activeWindow()) {
        return active->windowHandle();
    }
    return QGuiApplication::focusWindow();
}

void sendKey(QEvent::Type type, Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& text,
             bool autoRepeat) {
    QWindow* window = keyboardWindow();
    if (window == nullptr) {
        return;
    }
    qt_handleKeyEvent(window, type, key, modifiers, text, autoRepeat);
    QCoreApplication::processEvents();
}

// The modifier keys held around a key, pressed in this order.
struct ModifierKey {
    Qt::KeyboardModifier modifier;
    Qt::Key key;
};
constexpr ModifierKey kModifierKeys[] = {{Qt::ShiftModifier, Qt::Key_Shift},
                                         {Qt::ControlModifier, Qt::Key_Control},
                                         {Qt::AltModifier, Qt::Key_Alt}};

// As the X server reports them: a modifier key's press carries the
// modifiers held before it, its release those held until then.
void pressModifiers(Qt::KeyboardModifiers modifiers) {
    Qt::KeyboardModifiers down;
    for (const ModifierKey& m : kModifierKeys) {
        if (modifiers & m.modifier) {
            sendKey(QEvent::KeyPress, m.key, down, {}, false);
            down |= m.modifier;
        }
    }
}

void releaseModifiers(Qt::KeyboardModifiers modifiers) {
    Qt::KeyboardModifiers down = modifiers & ~Qt::KeypadModifier;
    for (int i = int(std::size(kModifierKeys)) - 1; i >= 0; --i) {
        const ModifierKey& m = kModifierKeys[i];
        if (down & m.modifier) {
            sendKey(QEvent::KeyRelease, m.key, down, {}, false);
            down &= ~Qt::KeyboardModifiers(m.modifier);
        }
    }
}

void makeActive(QWidget* widget) {
    QWidget* window = widget->window();
    if (QApplication::activeWindow() != window && QApplication::activePopupWidget() == nullptr) {
        window->activateWindow();
        QCoreApplication::processEvents();
    }
}

} // namespace

void QtOperatorInput::click(QWidget* widget, QPoint at) {
    makeActive(widget);
    QWidget* window = widget->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, widget->mapTo(window, at));
}

void QtOperatorInput::doubleClick(QWidget* widget, QPoint at) {
    makeActive(widget);
    QWidget* window = widget->window();
    QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {}, widget->mapTo(window, at));
}

void QtOperatorInput::tap(const OperatorKey& key) {
    hold(key, 0);
}

void QtOperatorInput::hold(const OperatorKey& key, int heldMs) {
    for (const ModifierKey& m : kModifierKeys) {
        if (key.key == m.key) {
            // A modifier key alone (a tap of Alt gives the menu bar the
            // keyboard).
            sendKey(QEvent::KeyPress, key.key, key.modifiers, {}, false);
            sendKey(QEvent::KeyRelease, key.key, key.modifiers | m.modifier, {}, false);
            return;
        }
    }
    fingerRest(key.key);
    pressModifiers(key.modifiers);
    sendKey(QEvent::KeyPress, key.key, key.modifiers, key.text, false);
    // An X server repeats a held key after its delay (about 250 to 660 ms)
    // at 25 to 30 a second, each repeat a release and a press marked so.
    const int repeats = heldMs > 250 ? (heldMs - 250) / 33 : 0;
    for (int i = 0; i < repeats; ++i) {
        sendKey(QEvent::KeyRelease, key.key, key.modifiers, key.text, true);
        sendKey(QEvent::KeyPress, key.key, key.modifiers, key.text, true);
    }
    sendKey(QEvent::KeyRelease, key.key, key.modifiers, key.text, false);
    releaseModifiers(key.modifiers);
    lastRelease_[key.key].start();
}

void QtOperatorInput::wait(int ms) {
    QTest::qWait(ms);
}

OperatorKey KeyForCharacter(QChar character) {
    OperatorKey key;
    key.text = QString(character);
    const char c = character.toLatin1();
    if (c >= 'a' && c <= 'z') {
        key.key = Qt::Key(Qt::Key_A + (c - 'a'));
    } else if (c >= 'A' && c <= 'Z') {
        key.key = Qt::Key(Qt::Key_A + (c - 'A'));
        key.modifiers = Qt::ShiftModifier;
    } else if (c >= '0' && c <= '9') {
        key.key = Qt::Key(Qt::Key_0 + (c - '0'));
    } else if (c == '-') {
        key.key = Qt::Key_Minus;
    } else if (c == '.') {
        key.key = Qt::Key_Period;
    } else if (c == ',') {
        key.key = Qt::Key_Comma;
    } else if (c == '/') {
        key.key = Qt::Key_Slash;
    } else if (c == ' ') {
        key.key = Qt::Key_Space;
    }
    return key;
}

void QtOperatorInput::fingerRest(Qt::Key key) {
    // A finger that lets a key go needs a moment to press it again; the
    // console tells a held key's repeats by their time stamps.
    const auto released = lastRelease_.find(key);
    if (released != lastRelease_.end() && released->second.elapsed() < 5) {
        QThread::msleep(unsigned(5 - released->second.elapsed()));
    }
}
