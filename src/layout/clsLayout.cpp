#include "clsLayout.h"

#include "style_text.h"
#include "twips.h"

#include <QRect>
#include <QString>
#include <QVariant>

namespace {

using TagLayout::PixelsToTwips;
using TagLayout::TwipsToPixels;

TagLayout::FormSize FormSizeOf(const QWidget& form) {
    return {PixelsToTwips(form.width()), PixelsToTwips(form.height())};
}

// Relative to the parent widget, as a control inside a frame sees it.
TagLayout::ControlGeometry GeometryOf(const QWidget& control) {
    const QRect g = control.geometry();
    return {PixelsToTwips(g.x()), PixelsToTwips(g.y()), PixelsToTwips(g.width()),
            PixelsToTwips(g.height())};
}

QRect PixelRect(const TagLayout::ControlGeometry& g) {
    return {TwipsToPixels(g.Left), TwipsToPixels(g.Top), TwipsToPixels(g.Width),
            TwipsToPixels(g.Height)};
}

} // namespace

bool clsLayout::SetLayout(QWidget* form) {
    m_form = form;
    m_records.clear();
    m_controls.clear();
    m_baseSize = {};
    if (form == nullptr) {
        return false;
    }
    m_baseSize = FormSizeOf(*form);
    const QWidget* window = form->window();
    const auto descendants = form->findChildren<QWidget*>();
    for (QWidget* control : descendants) {
        if (control->window() != window) {
            continue;
        }
        const QString tag = control->property("Tag").toString();
        const std::int32_t style = TagLayout::ParseStyle(tag.toStdString());
        if (style == 0) {
            continue;
        }
        m_records.push_back(
            TagLayout::MakeControl(GeometryOf(*control), m_baseSize, style, m_controls.size()));
        m_controls.emplace_back(control);
    }
    return true;
}

bool clsLayout::RedrawLayout() {
    if (m_form.isNull() || m_records.empty()) {
        return false;
    }
    const TagLayout::FormSize now = FormSizeOf(*m_form);
    for (const clsControl& record : m_records) {
        QWidget* control = m_controls[record.ctrl].data();
        if (control == nullptr) {
            continue;
        }
        const auto laidOut = TagLayout::ApplyLayout(record, GeometryOf(*control), m_baseSize, now);
        control->setGeometry(PixelRect(laidOut));
    }
    return true;
}
