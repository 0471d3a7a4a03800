#include "history_line_delegate.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QStyle>
#include <QVarLengthArray>

const HistoryLineDelegate::GlyphTable& HistoryLineDelegate::tableFor(const QFont& font) const {
    if (table_.valid && table_.font == font) {
        return table_;
    }
    table_ = GlyphTable{};
    table_.font = font;
    table_.raw = QRawFont::fromFont(font);
    if (!table_.raw.isValid()) {
        return table_;
    }
    QString printable;
    for (char16_t c = 0x20; c < 0x7F; ++c) {
        printable += QChar(c);
    }
    const QList<quint32> glyphs = table_.raw.glyphIndexesForString(printable);
    const QList<QPointF> advances = table_.raw.advancesForGlyphIndexes(glyphs);
    for (qsizetype i = 0; i < glyphs.size() && i < advances.size(); ++i) {
        table_.glyph[std::size_t(0x20 + i)] = glyphs[i];
        table_.advance[std::size_t(0x20 + i)] = advances[i].x();
    }
    // The blank has glyph 0 in some fonts yet is drawn as nothing anyway.
    const QFontMetricsF metrics(font);
    table_.ascent = metrics.ascent();
    table_.height = metrics.height();
    table_.valid = true;
    return table_;
}

void HistoryLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const QString text = index.data(Qt::DisplayRole).toString();
    const GlyphTable& table = tableFor(option.font);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, widget) + 1;
    const QRectF area = QRectF(option.rect).adjusted(margin, 0, -margin, 0);

    QVarLengthArray<quint32, 160> glyphs;
    QVarLengthArray<QPointF, 160> positions;
    bool drawable = table.valid && option.direction == Qt::LeftToRight;
    qreal x = 0;
    for (qsizetype i = 0; drawable && i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x20 || c >= 0x7F || (c != u' ' && table.glyph[c] == 0)) {
            drawable = false;
            break;
        }
        if (c != u' ') {
            glyphs.append(table.glyph[c]);
            positions.append(QPointF(x, 0));
        }
        x += table.advance[c];
    }
    if (!drawable || x > area.width()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }

    const bool enabled = option.state.testFlag(QStyle::State_Enabled);
    const QPalette::ColorGroup group =
        !enabled
            ? QPalette::Disabled
            : (option.state.testFlag(QStyle::State_Active) ? QPalette::Normal : QPalette::Inactive);
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    if (selected) {
        painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
    } else if (option.features.testFlag(QStyleOptionViewItem::Alternate)) {
        painter->fillRect(option.rect, option.palette.brush(group, QPalette::AlternateBase));
    }
    if (!glyphs.isEmpty()) {
        QGlyphRun run;
        run.setRawFont(table.raw);
        run.setGlyphIndexes(QList<quint32>(glyphs.begin(), glyphs.end()));
        run.setPositions(QList<QPointF>(positions.begin(), positions.end()));
        // Where the item delegate's text layout puts the line: its height
        // cut to whole pixels, centred in the row by whole pixels. Any other
        // place, however near, lands on other device pixels at some scale
        // (at 125 %, a row of 16 pixels with text 12.8 high).
        const int lineHeight = int(table.height);
        const int lineTop = option.rect.top() + (option.rect.height() - lineHeight) / 2;
        const qreal baseline = lineTop + table.ascent;
        painter->setPen(
            option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawGlyphRun(QPointF(area.left(), baseline), run);
    }
    if (option.state.testFlag(QStyle::State_HasFocus)) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = option.rect;
        focus.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item;
        focus.backgroundColor =
            option.palette.color(group, selected ? QPalette::Highlight : QPalette::Window);
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
}
