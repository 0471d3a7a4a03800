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

// The widest line the console logs itself: a sent frame's hex digits. The
// font is made small enough for it to fit the page width.
constexpr int kWidestLoggedLine = 128;
constexpr qreal kPreferredPointSize = 10.0;

// Lays rows out top to bottom, page after page, and draws those on pages
// inside the chosen range.
class PageWriter {
public:
    PageWriter(QPrinter& printer, QPainter& painter) : printer_(printer), painter_(painter) {
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setStyleHint(QFont::TypeWriter);
        font.setPointSizeF(kPreferredPointSize);
        const QRectF area = printer.pageLayout().paintRectPixels(printer.resolution());
        const QString widestLine(kWidestLoggedLine, QLatin1Char('0'));
        const qreal widest = QFontMetricsF(font, &printer).horizontalAdvance(widestLine);
        if (widest > area.width()) {
            font.setPointSizeF(kPreferredPointSize * area.width() / widest);
        }
        // Glyph advances do not shrink exactly in proportion to the point size
        // (hinting, sizes rounded to the device), so a font scaled to fit can
        // still come out a hair too wide, and the line would wrap.
        for (int step = 0;
             step < 50 &&
             QFontMetricsF(font, &printer).horizontalAdvance(widestLine) > area.width();
             ++step) {
            font.setPointSizeF(font.pointSizeF() * 0.99);
        }
        painter_.setFont(font);
        const QFontMetricsF metrics(font, &printer);
        ascent_ = metrics.ascent();
        lineHeight_ = metrics.lineSpacing();
        charsPerRow_ = std::max(
            1, static_cast<int>(area.width() / metrics.horizontalAdvance(QLatin1Char('0'))));
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

bool PrintHistory(const HistoryModel& history, QPrinter& printer, const QString& versionText,
                  const QString& createdOnText) {
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    PageWriter pages(printer, painter);
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
