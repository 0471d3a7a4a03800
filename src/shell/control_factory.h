#pragma once
// Small constructors for the console's controls: each sets the object name,
// caption, geometry (pixels in the form), layout Tag and accessible name in
// one place, so the area builders read as tables.

#include <QRect>
#include <QString>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;
class QWidget;
class Lamp;

namespace controls {

QLabel* label(QWidget* parent, const QString& name, const QString& text, QRect geometry,
              const QString& tag = {}, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);
Lamp* lamp(QWidget* parent, const QString& name, QRect geometry, const QString& accessibleName,
           const QString& tag = {});
QLineEdit* textBox(QWidget* parent, const QString& name, const QString& text, QRect geometry,
                   const QString& accessibleName);
QPushButton* button(QWidget* parent, const QString& name, const QString& caption, QRect geometry,
                    const QString& tag = {}, const QString& accessibleName = {});
QRadioButton* option(QWidget* parent, const QString& name, const QString& caption, QRect geometry,
                     const QString& accessibleName = {});
QCheckBox* check(QWidget* parent, const QString& name, const QString& caption, QRect geometry,
                 const QString& accessibleName = {});
QGroupBox* frame(QWidget* parent, const QString& name, const QString& caption, QRect geometry);
QFrame* shape(QWidget* parent, const QString& name, QRect geometry);
QFrame* line(QWidget* parent, const QString& name, QRect geometry);
QListView* list(QWidget* parent, const QString& name, QRect geometry, const QString& tag,
                const QString& accessibleName);

} // namespace controls
