#pragma once
// Paints a history line as a run of glyphs taken from a table, without
// laying the text out. A line is hex digits, blanks and a few letters; the
// item delegate would shape and lay out every row it paints through a text
// layout, which was most of what a list costs a screen refresh while frames
// stream in. Lines with a character the font's table does not hold, or that
// would not fit their row, are painted by QStyledItemDelegate as before.

#include <QFont>
#include <QRawFont>
#include <QStyledItemDelegate>

#include <array>

class HistoryLineDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    // The glyphs of the printable ASCII characters in one font.
    struct GlyphTable {
        QFont font;
        QRawFont raw;
        std::array<quint32, 128> glyph{}; // 0: not in the font
        std::array<qreal, 128> advance{};
        qreal ascent = 0;
        qreal height = 0;
        bool valid = false;
    };
    const GlyphTable& tableFor(const QFont& font) const;

    mutable GlyphTable table_;
};
