#include "lamp.h"

#include <QPainter>

Lamp::Lamp(QWidget* parent) : QLabel(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Lamp::setColourValue(std::uint32_t value) {
    if (hasColour_ && colourValue_ == value) {
        return; // same colour: nothing to repaint
    }
    hasColour_ = true;
    colourValue_ = value;
    update();
}

QColor Lamp::colour() const {
    if (!hasColour_) {
        return palette().color(QPalette::Dark);
    }
    return QColor(int(colourValue_ & 0xFF), int((colourValue_ >> 8) & 0xFF),
                  int((colourValue_ >> 16) & 0xFF));
}

void Lamp::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), colour());
}
