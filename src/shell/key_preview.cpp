#include "key_preview.h"

#include "main_frm.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QWindow>

#include <utility>

namespace {

KeyKind kindOf(const QKeyEvent& key) {
    switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return KeyKind::Enter;
    case Qt::Key_Space:
        return KeyKind::Space;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return KeyKind::Tab;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
        return KeyKind::Arrow;
    default:
        return key.text().size() == 1 ? KeyKind::Character : KeyKind::Other;
    }
}

} // namespace

KeyPreview::KeyPreview(Main_frm* window) : QObject(window), window_(window) {
    qApp->installEventFilter(this);
}

bool KeyPreview::isTextInput(const QWidget* widget) {
    if (widget == nullptr) {
        return false;
    }
    if (qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
        qobject_cast<const QPlainTextEdit*>(widget) ||
        qobject_cast<const QAbstractSpinBox*>(widget)) {
        return true;
    }
    const auto* combo = qobject_cast<const QComboBox*>(widget);
    return combo != nullptr && combo->isEditable();
}

bool KeyPreview::inWindow(const QObject* watched) const {
    const auto* widget = qobject_cast<const QWidget*>(watched);
    return widget != nullptr && widget->window() == window_;
}

bool KeyPreview::repeatedWithoutMark(const QKeyEvent& key) const {
    // The X server repeats a held key as a release and a press with one time
    // stamp; Qt marks the pair as a repeat when it finds both waiting, but
    // not when the press arrives a moment after the release. No finger
    // presses a key again within two milliseconds of letting it go. (An
    // event made without a time stamp is never taken for a repeat.)
    return !key.isAutoRepeat() && lastRelease_.time != 0 && lastRelease_.key == key.key() &&
           lastRelease_.scanCode == key.nativeScanCode() && key.timestamp() >= lastRelease_.time &&
           key.timestamp() - lastRelease_.time <= 2;
}

KeyFacts KeyPreview::factsOf(QWidget* focus, const QKeyEvent& key) const {
    KeyFacts facts;
    facts.kind = kindOf(key);
    facts.autoRepeat = key.isAutoRepeat() || repeatedWithoutMark(key);
    facts.ctrlOrAlt = (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) != 0;
    facts.anyModifier = (key.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier;
    if (qobject_cast<QMenuBar*>(focus) != nullptr) {
        facts.focus = FocusKind::MenuBar;
    } else if (isTextInput(focus)) {
        facts.focus = FocusKind::TextBox;
    } else if (qobject_cast<QPushButton*>(focus) != nullptr) {
        facts.focus = FocusKind::PushButton;
    } else if (qobject_cast<QAbstractButton*>(focus) != nullptr) {
        facts.focus = FocusKind::Choice;
    }
    facts.focusReachedByTab = focus != nullptr && focus == tabbedTo_.data();
    return facts;
}

bool KeyPreview::eventFilter(QObject* watched, QEvent* event) {
    // A held key's repeat is a release and a press with nothing between:
    // any other press, anywhere, means the next press is a new one.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress) &&
        lastRelease_.time != 0) {
        const auto* key =
            event->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(event) : nullptr;
        if (key == nullptr || key->key() != lastRelease_.key) {
            lastRelease_ = {};
        }
    }
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // While the menu bar has the keyboard, a key is the menu's even where
        // a shortcut would take it.
        if (qobject_cast<QMenuBar*>(watched) != nullptr && inWindow(watched) &&
            QApplication::focusWidget() == watched) {
            event->accept();
            return false;
        }
        // One press, one action: a held key's repeats (those Qt did not
        // mark included) fire none of the window's shortcuts, from whichever
        // of the console's windows, and go nowhere else either.
        const auto& key = *static_cast<QKeyEvent*>(event);
        if ((key.isAutoRepeat() || repeatedWithoutMark(key)) && isShortcut(key)) {
            event->accept();
            heldShortcut_ = key.key();
            return true; // answered here, before a control can answer otherwise
        }
        return false;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        if (event->type() == QEvent::KeyPress && heldShortcut_ != 0 &&
            std::exchange(heldShortcut_, 0) == static_cast<QKeyEvent*>(event)->key()) {
            lastRelease_ = {};
            return true;
        }
        if (!inWindow(watched)) {
            return false;
        }
        // A key event travels up the parent chain when a control ignores it
        // and passes this filter at each step; act only at its first stop.
        QWidget* focus = QApplication::focusWidget();
        if (watched != (focus != nullptr ? static_cast<QWidget*>(focus) : window_)) {
            return false;
        }
        const auto& key = *static_cast<QKeyEvent*>(event);
        if (event->type() == QEvent::KeyPress) {
            const bool swallow = keyPress(focus, key);
            lastRelease_ = {};
            return swallow;
        }
        const bool swallow = SwallowKeyRelease(factsOf(focus, key));
        // A focus that moves after Tab is let go (a button disabled under
        // it) was not moved by the operator.
        lastKeyWasTab_ = false;
        if (!key.isAutoRepeat()) {
            lastRelease_ = {key.key(), key.nativeScanCode(), key.timestamp()};
        }
        return swallow;
    }
    case QEvent::FocusIn: {
        auto* button = qobject_cast<QAbstractButton*>(watched);
        if (button != nullptr && button == tabbedTo_) {
            // Back from another window or from the menu bar's keyboard mode:
            // still where Tab put it, and the focus frame shows it.
            return false;
        }
        if (!inWindow(watched) || qobject_cast<QMenuBar*>(watched) != nullptr) {
            return false; // the menu bar borrows the keyboard and gives it back
        }
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        const bool byTab = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason;
        tabbedTo_ = (byTab && lastKeyWasTab_) ? button : nullptr;
        if (button != nullptr && tabbedTo_ == nullptr) {
            hideFocusFrame(); // a button that Enter or Space will not press
        }
        return false;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // The mouse ends keyboard navigation, wherever it is pressed.
        tabbedTo_ = nullptr;
        lastKeyWasTab_ = false;
        hideFocusFrame();
        return false;
    default:
        return false;
    }
}

bool KeyPreview::keyPress(QWidget* focus, const QKeyEvent& key) {
    const KeyFacts facts = factsOf(focus, key);
    // Tab moves the focus on purpose, from the menu bar too; held with Ctrl
    // or Alt it moves none.
    lastKeyWasTab_ = facts.kind == KeyKind::Tab && !facts.ctrlOrAlt;
    const KeyDecision decision = DecideKeyPress(facts);
    switch (decision.enter) {
    case EnterAction::PressFocusedButton: {
        auto* button = qobject_cast<QPushButton*>(focus);
        if (button->isEnabled()) {
            button->click();
        }
        break;
    }
    case EnterAction::PressDefaultButton:
        pressDefaultButton();
        break;
    case EnterAction::None:
        break;
    }
    if (decision.toKeyboardTable) {
        const QString text = key.text();
        if (text.size() == 1) {
            window_->Form_KeyPress(static_cast<std::int16_t>(text.at(0).unicode()));
        }
    }
    return decision.swallow;
}

bool KeyPreview::isShortcut(const QKeyEvent& key) const {
    const QKeySequence pressed(key.keyCombination());
    for (const QAction* action : window_->findChildren<QAction*>()) {
        if (action->isEnabled() && action->shortcuts().contains(pressed)) {
            return true;
        }
    }
    return false;
}

void KeyPreview::hideFocusFrame() {
    // Qt draws the focus frame while the window is in keyboard navigation;
    // the frame shows only on the button the keys act on.
    if (window_->testAttribute(Qt::WA_KeyboardFocusChange)) {
        window_->setAttribute(Qt::WA_KeyboardFocusChange, false);
        if (QWidget* focus = window_->focusWidget()) {
            focus->update();
        }
    }
}

void KeyPreview::pressDefaultButton() {
    for (QPushButton* candidate : window_->findChildren<QPushButton*>()) {
        if (candidate->isDefault() && candidate->isEnabled() && candidate->isVisible()) {
            candidate->click();
            return;
        }
    }
}
