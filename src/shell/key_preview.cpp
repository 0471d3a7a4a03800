#include "key_preview.h"

#include "main_frm.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>

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

bool KeyPreview::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != window_) {
        return false;
    }
    // A key event travels up the parent chain when a control ignores it and
    // passes this filter at each step; act only at its first stop.
    QWidget* focus = QApplication::focusWidget();
    if (widget != (focus != nullptr ? focus : window_)) {
        return false;
    }

    auto* key = static_cast<QKeyEvent*>(event);
    const bool plainEnter = (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plainEnter) {
        if (auto* button = qobject_cast<QPushButton*>(focus)) {
            button->click();
            return true;
        }
        for (QPushButton* candidate : window_->findChildren<QPushButton*>()) {
            if (candidate->isDefault() && candidate->isEnabled() && candidate->isVisible()) {
                candidate->click();
                return true;
            }
        }
        return false;
    }

    if (isTextInput(focus) || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        return false;
    }
    const QString text = key->text();
    if (text.size() == 1) {
        window_->Form_KeyPress(static_cast<std::int16_t>(text.at(0).unicode()));
    }
    return false; // not swallowed: the control gets the key as usual
}
