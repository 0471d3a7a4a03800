#include "x11_operator_input.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QThread>
#include <QWidget>
#include <QtTest>

namespace {

// The modifier keys held around a key, pressed in this order.
struct ModifierKey {
    Qt::KeyboardModifier modifier;
    const unsigned long& keysym;
};
const ModifierKey kModifierKeys[] = {{Qt::ShiftModifier, xkeys::shiftLeft},
                                     {Qt::ControlModifier, xkeys::controlLeft},
                                     {Qt::AltModifier, xkeys::altLeft}};

unsigned long keysymOf(Qt::Key key) {
    switch (key) {
    case Qt::Key_Space:
        return xkeys::space;
    case Qt::Key_Return:
        return xkeys::ret;
    case Qt::Key_Enter:
        return xkeys::keypadEnter;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return xkeys::tab; // Shift comes with the modifiers
    case Qt::Key_Escape:
        return xkeys::escape;
    case Qt::Key_Backspace:
        return xkeys::backspace;
    case Qt::Key_Up:
        return xkeys::up;
    case Qt::Key_Down:
        return xkeys::down;
    case Qt::Key_Left:
        return xkeys::left;
    case Qt::Key_Right:
        return xkeys::right;
    case Qt::Key_Alt:
        return xkeys::altLeft;
    case Qt::Key_Control:
        return xkeys::controlLeft;
    case Qt::Key_Shift:
        return xkeys::shiftLeft;
    case Qt::Key_F10:
        return xkeys::f10;
    case Qt::Key_Minus:
        return xkeys::minus;
    case Qt::Key_Period:
        return xkeys::period;
    case Qt::Key_Comma:
        return xkeys::comma;
    case Qt::Key_Slash:
        return xkeys::slash;
    default:
        break;
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return xkeys::letterA + (key - Qt::Key_A);
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return xkeys::digit0 + (key - Qt::Key_0);
    }
    return 0;
}

} // namespace

X11OperatorInput::X11OperatorInput(int repeatDelayMs, int repeatsPerSecond) {
    if (!x_.connected()) {
        return;
    }
    x_.setKeyRepeat(repeatDelayMs, 1000 / repeatsPerSecond);
    qApp->installEventFilter(this);
}

X11OperatorInput::~X11OperatorInput() = default;

bool X11OperatorInput::eventFilter(QObject* watched, QEvent* event) {
    // Count each event once, where it enters: at the window it came to.
    if (!watched->isWindowType() || !event->spontaneous()) {
        return false;
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        ++buttonPresses_;
        break;
    case QEvent::MouseButtonRelease:
        ++buttonReleases_;
        break;
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
            ++autoRepeats_;
        }
        break;
    case QEvent::KeyRelease: {
        // The release of the key itself: the modifiers' own may be taken by
        // the menu bar on their way.
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        const bool awaitedTab = awaitedKey_ == Qt::Key_Tab || awaitedKey_ == Qt::Key_Backtab;
        if (!key->isAutoRepeat() && (key->key() == awaitedKey_ || (tab && awaitedTab))) {
            ++keyReleases_;
        }
        break;
    }
    default:
        break;
    }
    return false;
}

void X11OperatorInput::waitFor(const int& counter, int target, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (counter < target && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (counter < target) {
            QThread::usleep(200);
        }
    }
    if (counter < target) {
        ++lost_;
        qWarning("the X server did not deliver %s (%s) within %d ms (focus %s, popup %s)", what_,
                 qPrintable(whatKey_), timeoutMs,
                 QApplication::focusWidget() ? qPrintable(QApplication::focusWidget()->objectName())
                                             : "none",
                 QApplication::activePopupWidget() ? "open" : "none");
    }
    QCoreApplication::processEvents();
}

void X11OperatorInput::pointAt(QWidget* widget, QPoint at) {
    // The server counts physical pixels; Qt's scaling aside, one screen at
    // the origin.
    const qreal ratio = widget->devicePixelRatioF();
    const QPoint global = widget->mapToGlobal(at);
    x_.movePointer(int(global.x() * ratio), int(global.y() * ratio));
}

void X11OperatorInput::click(QWidget* widget, QPoint at) {
    // A click beside an open menu only closes it, and its release may never
    // reach the console: the press is enough then.
    const bool popup = QApplication::activePopupWidget() != nullptr;
    what_ = "a click";
    pointAt(widget, at);
    const int releases = buttonReleases_ + 1;
    const int presses = buttonPresses_ + 1;
    x_.button(true);
    x_.button(false);
    x_.flush();
    if (popup) {
        waitFor(buttonPresses_, presses, 3000);
        QTest::qWait(50);
    } else {
        waitFor(buttonReleases_, releases, 3000);
    }
}

void X11OperatorInput::doubleClick(QWidget* widget, QPoint at) {
    pointAt(widget, at);
    const int releases = buttonReleases_ + 2;
    x_.button(true);
    x_.button(false);
    x_.button(true);
    x_.button(false);
    x_.flush();
    waitFor(buttonReleases_, releases, 3000);
}

bool X11OperatorInput::pressKeys(const OperatorKey& key, bool down) {
    const unsigned long sym = keysymOf(key.key);
    if (sym == 0) {
        return false;
    }
    if (down) {
        for (const ModifierKey& m : kModifierKeys) {
            if ((key.modifiers & m.modifier) && m.keysym != sym) {
                x_.key(m.keysym, true);
            }
        }
        x_.key(sym, true);
    } else {
        x_.key(sym, false);
        for (int i = int(std::size(kModifierKeys)) - 1; i >= 0; --i) {
            const ModifierKey& m = kModifierKeys[i];
            if ((key.modifiers & m.modifier) && m.keysym != sym) {
                x_.key(m.keysym, false);
            }
        }
    }
    x_.flush();
    return true;
}

void X11OperatorInput::tap(const OperatorKey& key) {
    hold(key, 0);
}

void X11OperatorInput::hold(const OperatorKey& key, int heldMs) {
    const int releases = keyReleases_ + 1;
    awaitedKey_ = key.key;
    fingerRest(key.key);
    what_ = "a key release";
    whatKey_ = QStringLiteral("key %1 with modifiers %2")
                   .arg(int(key.key), 0, 16)
                   .arg(int(key.modifiers), 0, 16);
    if (!pressKeys(key, true)) {
        return;
    }
    if (heldMs > 0) {
        // The server repeats the key meanwhile; the console handles each
        // repeat as it comes.
        QTest::qWait(heldMs);
    }
    pressKeys(key, false);
    lastRelease_[key.key].start();
    waitFor(keyReleases_, releases, 3000);
}

bool X11OperatorInput::keptByWindowManager(const OperatorKey& key) const {
    // openbox, as installed: Alt+Tab and Alt+Shift+Tab switch windows,
    // Alt+Space opens the window's own menu, Alt+Escape lowers the window.
    return (key.modifiers & Qt::AltModifier) &&
           (key.key == Qt::Key_Tab || key.key == Qt::Key_Backtab || key.key == Qt::Key_Space ||
            key.key == Qt::Key_Escape);
}

void X11OperatorInput::wait(int ms) {
    QTest::qWait(ms);
}

void X11OperatorInput::fingerRest(Qt::Key key) {
    // A finger that lets a key go needs a moment to press it again; the
    // console tells a held key's repeats by their time stamps.
    const auto released = lastRelease_.find(key);
    if (released != lastRelease_.end() && released->second.elapsed() < 30) {
        QThread::msleep(unsigned(30 - released->second.elapsed()));
    }
}
