#include "history_printer.h"

#include <QDateTime>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <algorithm>

#include "history_display_text.h"
#include "history_file_writer.h"
#include "history_model.h"
#include "history_saver.h"

namespace {

// The widest line the console logs itself: a sent frame's hex digits.
constexpr int kWidestLoggedLine = 128;
constexpr qreal kPreferredPointSize = 10.0;
// A font scaled to a width lands near it, not on it: point sizes are
// rounded and advances hinted, differently in every family and at every
// resolution. Aiming 1 % short keeps the widest logged line on one row
// whatever family the system's fixed-width font resolves to.
constexpr qreal kRoundingMargin = 0.01;
constexpr int kMaxShrinkSteps = 8;

struct RowFont {
    QFont font;
    int charsPerRow = 1;
};

// The font, shrunk until the widest logged line fits `width`, and the
// characters a row holds, both from one measure: that line's advance at the
// size printed. Measured with the widest hex digit, so the line fits even
// where a digit is wider than '0'.
RowFont FitWidestLoggedLine(QFont font, QPaintDevice* device, qreal width) {
    QChar widestDigit = QLatin1Char('0');
    for (const QChar digit : QStringLiteral("0123456789ABCDEF")) {
        const QFontMetricsF metrics(font, device);
        if (metrics.horizontalAdvance(digit) > metrics.horizontalAdvance(widestDigit)) {
            widestDigit = digit;
        }
    }
    const QString widest(kWidestLoggedLine, widestDigit);
    qreal measured = QFontMetricsF(font, device).horizontalAdvance(widest);
    for (int step = 0; measured > width && step < kMaxShrinkSteps; ++step) {
        font.setPointSizeF(font.pointSizeF() * (width / measured) * (1 - kRoundingMargin));
        measured = QFontMetricsF(font, device).horizontalAdvance(widest);
    }
    const int perRow =
        measured > 0 ? static_cast<int>(kWidestLoggedLine * (width / measured)) : kWidestLoggedLine;
    return {font, std::max(1, perRow)};
}

// Lays rows out top to bottom, page after page, and draws those on pages
// inside the chosen range.
class PageWriter {
public:
    PageWriter(QPrinter& printer, QPainter& painter, const QFont& preferred)
        : printer_(printer), painter_(painter) {
        const QRectF area = printer.pageLayout().paintRectPixels(printer.resolution());
        const RowFont fitted = FitWidestLoggedLine(preferred, &printer, area.width());
        painter_.setFont(fitted.font);
        const QFontMetricsF metrics(fitted.font, &printer);
        ascent_ = metrics.ascent();
        lineHeight_ = metrics.lineSpacing();
        charsPerRow_ = fitted.charsPerRow;
        rowsPerPage_ = std::max(1, static_cast<int>(area.height() / lineHeight_));
        firstPage_ = printer.fromPage();
        lastPage_ = printer.toPage();
    }

    // False when printing must stop: a page could not be added, or the last
    // page of the range is done.
    bool writeLine(const QString& line) {
        for (qsizetype start = 0; start == 0 || start < line.size(); start += charsPerRow_) {
            if (!writeRow(line.mid(start, charsPerRow_))) {
                return false;
            }
        }
        return true;
    }

    bool failed() const { return failed_; }

private:
    bool writeRow(const QString& row) {
        if (rowOnPage_ == rowsPerPage_) {
            ++page_;
            rowOnPage_ = 0;
        }
        if (lastPage_ != 0 && page_ > lastPage_) {
            return false;
        }
        if (page_ >= firstPage_) {
            if (drawnPage_ != page_) {
                if (drawnPage_ != 0 && !printer_.newPage()) {
                    failed_ = true;
                    return false;
                }
                drawnPage_ = page_;
            }
            painter_.drawText(QPointF(0, rowOnPage_ * lineHeight_ + ascent_), row);
        }
        ++rowOnPage_;
        return true;
    }

    QPrinter& printer_;
    QPainter& painter_;
    qreal ascent_ = 0;
    qreal lineHeight_ = 1;
    int charsPerRow_ = 1;
    int rowsPerPage_ = 1;
    int firstPage_ = 0;
    int lastPage_ = 0;
    int page_ = 1;
    int rowOnPage_ = 0;
    int drawnPage_ = 0;
    bool failed_ = false;
};

} // namespace

QFont HistoryPrintFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(kPreferredPointSize);
    return font;
}

bool PrintHistory(const HistoryModel& history, QPrinter& printer, const QString& versionText,
                  const QString& createdOnText, const QFont& font) {
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    PageWriter pages(printer, painter, font);
    const HistoryFileHeader header{HistoryFileKind::History, versionText.toStdString(),
                                   createdOnText.toStdString()};
    bool more = true;
    for (const std::string& line : HistoryHeaderLines(header)) {
        more = more && pages.writeLine(QString::fromStdString(line));
    }
    for (int row = 0; more && row < history.count(); ++row) {
        more = pages.writeLine(HistoryDisplayText(history.lineAt(row)));
    }
    return painter.end() && !pages.failed();
}

QString PrintHistoryWithDialog(const HistoryModel& history, const QString& versionText,
                               QWidget* parent) {
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("Print History"));
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    if (!PrintHistory(history, printer, versionText,
                      HistoryCreatedOnText(QDateTime::currentDateTime()))) {
        return QStringLiteral("Could not print the history");
    }
    return QStringLiteral("History printed (%1 lines)").arg(history.count());
}
