#include "control_factory.h"

#include "history_view.h"
#include "lamp.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>

namespace controls {
namespace {

template <typename W>
W* place(W* widget, const QString& name, QRect geometry, const QString& tag,
         const QString& accessibleName) {
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    if (!tag.isEmpty()) {
        widget->setProperty("Tag", tag);
    }
    if (!accessibleName.isEmpty()) {
        widget->setAccessibleName(accessibleName);
    }
    return widget;
}

} // namespace

QLabel* label(QWidget* parent, const QString& name, const QString& text, QRect geometry,
              const QString& tag, Qt::Alignment alignment) {
    auto* w = new QLabel(parent);
    // Captions and values are plain text; a label left to guess looks for
    // markup in every value the status display gives it.
    w->setTextFormat(Qt::PlainText);
    w->setText(text);
    w->setAlignment(alignment);
    return place(w, name, geometry, tag, text.trimmed());
}

Lamp* lamp(QWidget* parent, const QString& name, QRect geometry, const QString& accessibleName,
           const QString& tag) {
    return place(new Lamp(parent), name, geometry, tag, accessibleName);
}

QLineEdit* textBox(QWidget* parent, const QString& name, const QString& text, QRect geometry,
                   const QString& accessibleName) {
    auto* w = new QLineEdit(text, parent);
    return place(w, name, geometry, {}, accessibleName);
}

QPushButton* button(QWidget* parent, const QString& name, const QString& caption, QRect geometry,
                    const QString& tag, const QString& accessibleName) {
    auto* w = new QPushButton(caption, parent);
    w->setAutoDefault(false);
    // Only Tab moves the focus to a button: a button that took the focus
    // from a mouse click would be pressed again by the next Space or Enter.
    w->setFocusPolicy(Qt::TabFocus);
    return place(w, name, geometry, tag, accessibleName.isEmpty() ? caption : accessibleName);
}

QRadioButton* option(QWidget* parent, const QString& name, const QString& caption, QRect geometry,
                     const QString& accessibleName) {
    auto* w = new QRadioButton(caption, parent);
    w->setAutoExclusive(false); // exclusivity comes from explicit button groups
    // As for buttons: a click must not leave a key able to move the choice.
    w->setFocusPolicy(Qt::TabFocus);
    return place(w, name, geometry, {},
                 accessibleName.isEmpty() ? caption.trimmed() : accessibleName);
}

QCheckBox* check(QWidget* parent, const QString& name, const QString& caption, QRect geometry,
                 const QString& accessibleName) {
    auto* w = new QCheckBox(caption, parent);
    // Only Tab moves the focus to a box: one that took it from a click would
    // be flipped back by the next Space, which means Clear History.
    w->setFocusPolicy(Qt::TabFocus);
    return place(w, name, geometry, {}, accessibleName.isEmpty() ? caption : accessibleName);
}

QGroupBox* frame(QWidget* parent, const QString& name, const QString& caption, QRect geometry) {
    auto* w = new QGroupBox(caption, parent);
    return place(w, name, geometry, {}, caption);
}

QFrame* shape(QWidget* parent, const QString& name, QRect geometry) {
    auto* w = new QFrame(parent);
    w->setFrameShape(QFrame::Box);
    w->setProperty("shape", true);
    w->setFocusPolicy(Qt::NoFocus);
    return place(w, name, geometry, {}, {});
}

QFrame* line(QWidget* parent, const QString& name, QRect geometry) {
    auto* w = new QFrame(parent);
    w->setFrameShape(geometry.height() <= 2 ? QFrame::HLine : QFrame::VLine);
    w->setProperty("shape", true);
    return place(w, name, geometry, {}, {});
}

QListView* list(QWidget* parent, const QString& name, QRect geometry, const QString& tag,
                const QString& accessibleName) {
    // A list of frame lines, refreshed with every frame: the view whose rows
    // cost least to paint.
    auto* w = new HistoryView(parent);
    w->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return place(w, name, geometry, tag, accessibleName);
}

} // namespace controls
