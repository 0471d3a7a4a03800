#include <QFontDatabase>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "history_model.h"
#include "history_printer.h"
#include "modal_script.h"

namespace {

// The text of a PDF as pdftotext reads it, one list of lines per page, blank
// lines dropped. pdftotext merges runs of blanks, so each line comes back
// with its blanks simplified; compare with Simplified().
QList<QStringList> pdfPages(const QString& pdf) {
    QProcess process;
    process.start("pdftotext", {"-layout", pdf, "-"});
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        return {};
    }
    QList<QStringList> pages;
    for (const QString& page : QString::fromUtf8(process.readAllStandardOutput()).split('\f')) {
        QStringList lines;
        for (const QString& line : page.split('\n')) {
            if (!line.trimmed().isEmpty()) {
                lines.append(line.simplified());
            }
        }
        if (!lines.isEmpty()) {
            pages.append(lines);
        }
    }
    return pages;
}

QStringList Simplified(QStringList lines) {
    for (QString& line : lines) {
        line = line.simplified();
    }
    return lines;
}

QString pdfPath(const QTemporaryDir& dir) {
    return dir.filePath("history.pdf");
}

void printToPdf(QPrinter& printer, const QString& path) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
}

} // namespace

class HistoryPrintTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void printsTheHeaderAndEveryLineAsShown();
    void breaksPagesAndKeepsTheOrder();
    void printsOnlyTheChosenPages();
    void everyMonospaceFamilyKeepsLoggedLinesOnOneRow_data();
    void everyMonospaceFamilyKeepsLoggedLinesOnOneRow();
    void cancellingTheDialogPrintsNothing();
};

void HistoryPrintTest::init() {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty()) {
        QSKIP("pdftotext (poppler-utils) is not installed");
    }
}

void HistoryPrintTest::printsTheHeaderAndEveryLineAsShown() {
    HistoryModel model;
    CommandFrame request{};
    request[59] = 0xC3;
    model.appendSentFrame(request);
    model.appendReceived({0x02, 0x11, 0x90, 0x10, 0x27, 0x00, 0x00, 0xCE, 0xFF, 0xFF, 0xFF,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x32, 0x00,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00},
                         250);
    model.appendText("\x02\x31\x04\x01\x02\x03\x01");

    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printToPdf(printer, pdfPath(dir));
    QVERIFY(PrintHistory(model, printer, "V0.5B", "07.12.25 14:03"));

    const QList<QStringList> pages = pdfPages(pdfPath(dir));
    QCOMPARE(pages.size(), 1);
    const QStringList expected{
        "Kelmora V0.5B History Ouptut File",
        "Created on 07.12.25 14:03",
        QString(118, '0') + "C300000000",
        "IN < 0211 9010 2700 00CE FFFF FF00 0000 0000 0100 0000 3200 0000 0000 0007 0000 0000  "
        "t- 250",
        "<02>1<04><01><02><03><01>",
    };
    QCOMPARE(pages.first(), Simplified(expected));
}

void HistoryPrintTest::breaksPagesAndKeepsTheOrder() {
    HistoryModel model;
    for (int i = 1; i <= 300; ++i) {
        model.appendText("entry " + std::to_string(i));
    }
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printToPdf(printer, pdfPath(dir));
    QVERIFY(PrintHistory(model, printer, "V0.5B", "07.12.25 14:03"));

    const QList<QStringList> pages = pdfPages(pdfPath(dir));
    QVERIFY2(pages.size() >= 2, qPrintable(QString::number(pages.size())));
    QStringList all;
    for (const QStringList& page : pages) {
        all += page;
    }
    QCOMPARE(all.size(), 302);
    for (int i = 1; i <= 300; ++i) {
        QCOMPARE(all.at(i + 1), QStringLiteral("entry %1").arg(i));
    }
}

void HistoryPrintTest::printsOnlyTheChosenPages() {
    HistoryModel model;
    for (int i = 1; i <= 300; ++i) {
        model.appendText("entry " + std::to_string(i));
    }
    QTemporaryDir dir;
    QPrinter everything(QPrinter::HighResolution);
    printToPdf(everything, dir.filePath("all.pdf"));
    QVERIFY(PrintHistory(model, everything, "V0.5B", "07.12.25 14:03"));
    const QList<QStringList> allPages = pdfPages(dir.filePath("all.pdf"));
    QVERIFY(allPages.size() >= 2);

    QPrinter secondOnly(QPrinter::HighResolution);
    printToPdf(secondOnly, pdfPath(dir));
    secondOnly.setPrintRange(QPrinter::PageRange);
    secondOnly.setFromTo(2, 2);
    QVERIFY(PrintHistory(model, secondOnly, "V0.5B", "07.12.25 14:03"));
    const QList<QStringList> pages = pdfPages(pdfPath(dir));
    QCOMPARE(pages.size(), 1);
    QCOMPARE(pages.first(), allPages.at(1));
}

void HistoryPrintTest::everyMonospaceFamilyKeepsLoggedLinesOnOneRow_data() {
    QTest::addColumn<QFont>("font");
    QTest::addColumn<QPageSize::PageSizeId>("paper");
    QTest::addColumn<QPageLayout::Orientation>("orientation");
    // The font the console prints in (what fontconfig makes of "monospace"
    // on this desktop), then every other fixed-width family installed, each
    // on the papers a printer dialog offers first.
    QList<QFont> fonts{HistoryPrintFont()};
    for (const QString& family : QFontDatabase::families()) {
        if (QFontDatabase::isFixedPitch(family) && QFontDatabase::isScalable(family)) {
            QFont font(family);
            font.setPointSizeF(HistoryPrintFont().pointSizeF());
            fonts.append(font);
        }
    }
    QVERIFY2(fonts.size() >= 2, "no fixed-width family is installed");
    for (const QFont& font : fonts) {
        const QString name =
            font == fonts.first() ? "printed (" + QFontInfo(font).family() + ")" : font.family();
        QTest::addRow("%s, A4", qPrintable(name)) << font << QPageSize::A4 << QPageLayout::Portrait;
        QTest::addRow("%s, Letter", qPrintable(name))
            << font << QPageSize::Letter << QPageLayout::Portrait;
        QTest::addRow("%s, A5 landscape", qPrintable(name))
            << font << QPageSize::A5 << QPageLayout::Landscape;
    }
}

// A sent frame of random bytes (the widest digits at both ends) and a
// received block each fill one row; a line longer than a row (which holds
// a frame's digits and, by the font's rounding, a digit or two more) wraps
// into rows that together are the line, the first holding at least a
// frame's digits. A failure names its seed.
void HistoryPrintTest::everyMonospaceFamilyKeepsLoggedLinesOnOneRow() {
    QFETCH(QFont, font);
    QFETCH(QPageSize::PageSizeId, paper);
    QFETCH(QPageLayout::Orientation, orientation);
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    const QByteArray context = "seed " + QByteArray::number(seed);

    HistoryModel model;
    CommandFrame frame{};
    for (std::uint8_t& byte : frame) {
        byte = static_cast<std::uint8_t>(random.bounded(256));
    }
    frame[0] = 0xFE; // the widest digits on both ends of the row
    frame[63] = 0xDC;
    model.appendSentFrame(frame);
    ReceivedBlock block{};
    for (std::uint8_t& byte : block) {
        byte = static_cast<std::uint8_t>(random.bounded(256));
    }
    model.appendReceived(block, random.bounded(100000));
    const QString letters = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    QString longLine;
    for (int i = 0, length = 160 + random.bounded(400); i < length; ++i) {
        longLine += letters.at(random.bounded(letters.size()));
    }
    model.appendText(longLine.toStdString());

    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(paper));
    printer.setPageOrientation(orientation);
    printToPdf(printer, pdfPath(dir));
    QVERIFY(PrintHistory(model, printer, "V0.5B", "07.12.25 14:03", font));

    const QList<QStringList> pages = pdfPages(pdfPath(dir));
    QVERIFY2(pages.size() == 1, context);
    const QStringList rows = pages.first();
    QVERIFY2(rows.size() >= 5, context);
    QCOMPARE(rows.at(2), QString::fromStdString(model.lineAt(0)));
    QVERIFY2(QString::fromStdString(model.lineAt(0)).size() == 128, context);
    QCOMPARE(rows.at(3), QString::fromStdString(model.lineAt(1)).simplified());
    const QStringList wrapped = rows.mid(4);
    QVERIFY2(wrapped.size() >= 2, context);
    QVERIFY2(wrapped.first().size() >= 128, context + ": " + wrapped.first().toUtf8());
    // Some fixed-width families set "ff" or "fi" as one ligature glyph, which
    // pdftotext reads back as one character (U+FB00...): compatibility
    // normalisation spells it out again.
    QCOMPARE(wrapped.join(QString()).normalized(QString::NormalizationForm_KC), longLine);
}

void HistoryPrintTest::cancellingTheDialogPrintsNothing() {
    HistoryModel model;
    model.appendText("entry");
    bool shown = false;
    WhenModal<QPrintDialog>([&](QPrintDialog* dialog) {
        shown = true;
        dialog->reject();
    });
    QCOMPARE(PrintHistoryWithDialog(model, "V0.5B", nullptr), QString());
    QVERIFY(shown);
}

QTEST_MAIN(HistoryPrintTest)
#include "history_print_test.moc"
