#include "x11_operator_input.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QThread>
#include <QWidget>
#include <QWindow>
#include <QtTest>

#include <xcb/xproto.h>

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

QString nameOf(const QObject* object) {
    return object == nullptr                ? QStringLiteral("none")
           : object->objectName().isEmpty() ? QLatin1String(object->metaObject()->className())
                                            : object->objectName();
}

// The console's window that has X window `id` now, if any does.
const QWindow* liveWindow(unsigned long id) {
    for (const QWindow* window : QGuiApplication::allWindows()) {
        if (window->handle() != nullptr && window->winId() == id) {
            return window;
        }
    }
    return nullptr;
}

} // namespace

X11OperatorInput::X11OperatorInput(int repeatDelayMs, int repeatsPerSecond) {
    if (!x_.connected()) {
        return;
    }
    x_.setKeyRepeat(repeatDelayMs, 1000 / repeatsPerSecond);
    qApp->installEventFilter(this);
    qApp->installNativeEventFilter(this);
    runClock_.start();
}

X11OperatorInput::~X11OperatorInput() = default;

bool X11OperatorInput::eventFilter(QObject* watched, QEvent* event) {
    // Count each event once, where it enters: at the window it came to.
    if (!watched->isWindowType()) {
        return false;
    }
    // Buttons, keys and focus (in the order of their types), and windows
    // shown and hidden.
    const QEvent::Type type = event->type();
    const bool noted = (type >= QEvent::MouseButtonPress && type <= QEvent::FocusOut &&
                        type != QEvent::MouseMove) ||
                       type == QEvent::Show || type == QEvent::Hide;
    const Qt::WindowType kind = static_cast<QWindow*>(watched)->type();
    if (type == QEvent::Show && (kind == Qt::Window || kind == Qt::Dialog)) {
        shown_ = static_cast<QWindow*>(watched);
    }
    if (noted) {
        QString text;
        QDebug(&text).nospace() << (event->spontaneous() ? "delivered to " : "sent to ")
                                << nameOf(watched) << ": " << event;
        note(text);
    }
    if (!event->spontaneous()) {
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

bool X11OperatorInput::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* input = static_cast<const xcb_key_press_event_t*>(message); // buttons alike
    const int type = input->response_type & 0x7f;
    if (type < XCB_KEY_PRESS || type > XCB_FOCUS_OUT ||
        (type > XCB_BUTTON_RELEASE && type < XCB_FOCUS_IN)) {
        return false;
    }
    if (type >= XCB_FOCUS_IN) {
        const auto* focus = static_cast<const xcb_focus_in_event_t*>(message);
        note(QStringLiteral("X sent focus %1 to %2 (mode %3)")
                 .arg(type == XCB_FOCUS_IN ? "in" : "out", xWindowName(focus->event))
                 .arg(focus->mode));
        return false;
    }
    const char* kinds[] = {"key press", "key release", "button press", "button release"};
    note(QStringLiteral("X sent %1 %2 at X time %3 to %4")
             .arg(QLatin1String(kinds[type - XCB_KEY_PRESS]))
             .arg(input->detail)
             .arg(input->time)
             .arg(xWindowName(input->event)));
    // A key that closes a menu is pressed and let go while the menu has the
    // keyboard, so the server sends both to the menu's window. Qt closes the
    // menu as it handles the press and does away with that window; a release
    // it reads only after that (on a busy machine) it drops as addressed to
    // no window of its own. The release did reach the console.
    if (type == XCB_KEY_RELEASE && input->detail == awaitedKeycode_ &&
        liveWindow(input->event) == nullptr && windowNames_.count(input->event) != 0) {
        ++keyReleases_;
        ++releasesToClosedMenus_;
    }
    return false;
}

QString X11OperatorInput::xWindowName(unsigned long id) {
    if (const QWindow* window = liveWindow(id)) {
        return windowNames_[id] = nameOf(window);
    }
    const auto known = windowNames_.find(id);
    return known != windowNames_.end() ? known->second + QStringLiteral(" (closed)")
                                       : QStringLiteral("X window 0x%1").arg(id, 0, 16);
}

void X11OperatorInput::note(const QString& what) {
    const QWidget* popup = QApplication::activePopupWidget();
    journal_.push_back({action_, runClock_.elapsed(),
                        QStringLiteral("%1  [focus %2, active %3]")
                            .arg(what, nameOf(QApplication::focusWidget()),
                                 nameOf(popup ? popup : QApplication::activeWindow()))});
    while (journal_.size() > 400 || journal_.front().action < action_ - 3) {
        journal_.pop_front();
    }
}

void X11OperatorInput::flush() {
    x_.flush();
    note(QStringLiteral("flushed; the server sends keys to ") + xWindowName(x_.inputFocus()));
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
        note(QStringLiteral("gave up"));
        lostWhat_ = QStringLiteral("the X server did not deliver %1 (%2) to the console within "
                                   "%3 ms")
                        .arg(QLatin1String(what_), whatKey_)
                        .arg(timeoutMs);
    }
    QCoreApplication::processEvents();
}

void X11OperatorInput::actionStarts(int number) {
    action_ = number;
    actionStartMs_ = runClock_.elapsed();
    lostBefore_ = lost_;
    // The operator looks before acting: a window just shown or raised has
    // the focus once the window manager gives it (on a busy machine, actions
    // later), and the window Qt calls active is the one the server sends
    // keys to.
    if (const QWindow* asked = liveWindow(x_.activationAsked())) {
        awaitedFocus_ = asked->winId();
    }
    QElapsedTimer waited;
    waited.start();
    while (!focusSettled() && waited.elapsed() < 3000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    if (!focusSettled()) {
        note(QStringLiteral("the keyboard's window did not settle"));
    }
    shown_ = nullptr;
    awaitedFocus_ = 0;
}

bool X11OperatorInput::focusSettled() {
    const unsigned long focus = x_.inputFocus();
    if ((shown_ != nullptr && shown_->isVisible() && shown_->winId() != focus) ||
        (awaitedFocus_ != 0 && liveWindow(awaitedFocus_) != nullptr && awaitedFocus_ != focus)) {
        return false;
    }
    const QWidget* active = QApplication::activeWindow();
    return active != nullptr ? active->windowHandle()->winId() == focus
                             : liveWindow(focus) == nullptr;
}

QString X11OperatorInput::recentEvents() const {
    QString text =
        QStringLiteral("injected and delivered, in ms from the start of action %1:").arg(action_);
    for (const Noted& noted : journal_) {
        text += QStringLiteral("\n  %1 (action %2) %3")
                    .arg(noted.ms - actionStartMs_, 6)
                    .arg(noted.action)
                    .arg(noted.what);
    }
    return text;
}

void X11OperatorInput::pointAt(QWidget* widget, QPoint at) {
    // The server counts physical pixels; Qt's scaling aside, one screen at
    // the origin.
    const qreal ratio = widget->devicePixelRatioF();
    const QPoint global = widget->mapToGlobal(at);
    x_.movePointer(int(global.x() * ratio), int(global.y() * ratio));
    note(QStringLiteral("pointer to %1 at %2,%3").arg(nameOf(widget)).arg(at.x()).arg(at.y()));
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
    note(QStringLiteral("button down and up"));
    flush();
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
    note(QStringLiteral("button down and up, twice"));
    flush();
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
    note(QStringLiteral("key %1 with modifiers %2 %3")
             .arg(int(key.key), 0, 16)
             .arg(int(key.modifiers), 0, 16)
             .arg(down ? "down" : "up"));
    flush();
    return true;
}

void X11OperatorInput::tap(const OperatorKey& key) {
    hold(key, 0);
}

void X11OperatorInput::hold(const OperatorKey& key, int heldMs) {
    const int releases = keyReleases_ + 1;
    awaitedKey_ = key.key;
    awaitedKeycode_ = x_.keycodeOf(keysymOf(key.key));
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
