#include "key_preview.h"

#include "main_frm.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>

namespace {

bool isEnter(const QKeyEvent& key) {
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

bool isTab(const QKeyEvent& key) {
    return key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab;
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

bool KeyPreview::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
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
            return keyPress(focus, key);
        }
        // A push button clicks on the release of Space (and of Enter when it
        // is a default button): the press was not its, so neither is this.
        return (key.key() == Qt::Key_Space || isEnter(key)) &&
               qobject_cast<QPushButton*>(focus) != nullptr;
    }
    case QEvent::FocusIn: {
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button != nullptr && button == tabbedTo_) {
            return false; // back from another window: still where Tab put it
        }
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        const bool byTab = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason;
        if (inWindow(watched)) {
            tabbedTo_ = (byTab && lastKeyWasTab_) ? button : nullptr;
        }
        return false;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (inWindow(watched)) {
            tabbedTo_ = nullptr; // the mouse ends keyboard navigation
            lastKeyWasTab_ = false;
        }
        return false;
    default:
        return false;
    }
}

bool KeyPreview::keyPress(QWidget* focus, const QKeyEvent& key) {
    lastKeyWasTab_ = isTab(key);
    if (isEnter(key)) {
        if ((key.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
            return true;
        }
        return pressEnter(focus);
    }

    const bool onPushButton = qobject_cast<QPushButton*>(focus) != nullptr;
    if (isTextInput(focus) || (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        return key.key() == Qt::Key_Space && onPushButton;
    }
    const QString text = key.text();
    if (text.size() == 1) {
        window_->Form_KeyPress(static_cast<std::int16_t>(text.at(0).unicode()));
    }
    // Otherwise the control gets the key as usual: a check box toggles with
    // Space, a list moves its selection.
    return key.key() == Qt::Key_Space && onPushButton;
}

bool KeyPreview::pressEnter(QWidget* focus) {
    auto* button = qobject_cast<QPushButton*>(focus);
    if (button != nullptr && button == tabbedTo_ && button->isEnabled()) {
        button->click();
        return true;
    }
    for (QPushButton* candidate : window_->findChildren<QPushButton*>()) {
        if (candidate->isDefault() && candidate->isEnabled() && candidate->isVisible()) {
            candidate->click();
            return true;
        }
    }
    return true;
}
