// What the console makes of the history it shows: each line's meaning as its
// tooltip, its accessible description and, while selected, the status bar;
// and the position plot that follows the status frames at display pace.

#include "history_model.h"
#include "main_frm.h"
#include "position_plot_window.h"
#include "worked_status_frame.h"

#include <command_frames.h>
#include <history_entry.h>

#include <QAccessible>
#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QHelpEvent>
#include <QImage>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

#include <random>

namespace {

ReceivedBlock StatusAt(std::int32_t x, std::int32_t y, std::uint8_t fill) {
    ReceivedBlock block{};
    for (int i = 0; i < 4; ++i) {
        block[3 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(x) >> (8 * i));
        block[7 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(y) >> (8 * i));
    }
    block[20] = fill;
    return block;
}

} // namespace

class HistoryMeaningAndPlotTest : public QObject {
    Q_OBJECT
private slots:
    void meaningIsTooltipDescriptionAndStatusBarWhileSelected();
    void seriesStaysBoundedAndEndsAtTheNewestFrame();
    void plotFollowsStatusFramesAtDisplayPaceAndSaves();
};

void HistoryMeaningAndPlotTest::meaningIsTooltipDescriptionAndStatusBarWhileSelected() {
    Main_frm w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.history().appendSentFrame(
        FrameFromHex(BuildMoveFrame(MoveSetup{}, AxisPair::XY, 0, '.').hexText));
    const QByteArray worked = WorkedStatusFrame();
    w.history().appendReceived(
        FirstBlockBytes(std::string_view(worked.constData(), std::size_t(worked.size()))), 250);
    w.showPendingDisplay(); // the views hear of new lines at the screen's pace
    const QString meaning = QString::fromStdString(DescribeHistoryLine(w.history().lineAt(1)));
    QVERIFY(meaning.startsWith("Status: mode 2;"));

    const QModelIndex row1 = w.history().index(1);
    QCOMPARE(w.history().data(row1, Qt::ToolTipRole).toString(), meaning);
    QCOMPARE(w.history().data(row1, Qt::AccessibleDescriptionRole).toString(), meaning);

    // The tooltip the view shows for a hover over the second line.
    const QRect rect = w.ui.List1->visualRect(row1);
    QHelpEvent hover(QEvent::ToolTip, rect.center(),
                     w.ui.List1->viewport()->mapToGlobal(rect.center()));
    QCoreApplication::sendEvent(w.ui.List1->viewport(), &hover);
    QTRY_COMPARE(QToolTip::text(), meaning);
    QToolTip::hideText();

    // What a screen reader reads for the same line.
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(w.ui.List1);
    QVERIFY(list);
    bool described = false;
    for (int i = 0; i < list->childCount(); ++i) {
        QAccessibleInterface* cell = list->child(i);
        if (cell && cell->text(QAccessible::Name).startsWith("IN < 0211")) {
            QCOMPARE(cell->text(QAccessible::Description), meaning);
            described = true;
        }
    }
    QVERIFY(described);

    // The status bar while the line is selected, and not after.
    w.ui.List1->setCurrentIndex(row1);
    QCOMPARE(w.statusMessage(), meaning);
    w.history().appendReceived(ReceivedBlock{}, 5); // a frame arriving changes nothing
    QCOMPARE(w.statusMessage(), meaning);
    w.ui.List1->setCurrentIndex(w.history().index(0));
    QVERIFY(w.statusMessage().startsWith("Drive X / Y in steps: 4 points"));
    w.ui.List1->clearSelection();
    QCOMPARE(w.statusMessage(), QString());
    w.ui.List1->setCurrentIndex(row1);
    w.ui.Com_ClrHis->click();
    QCOMPARE(w.statusMessage(), QString());
}

void HistoryMeaningAndPlotTest::seriesStaysBoundedAndEndsAtTheNewestFrame() {
    std::mt19937 random(17);
    for (int round = 0; round < 50; ++round) {
        const std::size_t capacity = 2 + random() % 63;
        const int frames = static_cast<int>(random() % 5000);
        PositionSeries series(capacity);
        double time = 0;
        for (int i = 0; i < frames; ++i) {
            const std::int32_t elapsed = static_cast<std::int32_t>(random() % 300) - 20;
            if (i > 0 && elapsed > 0) {
                time += elapsed;
            }
            series.add({0, i, -i, 0, 0, 0}, elapsed);
        }
        QVERIFY(series.kept().size() <= capacity);
        QCOMPARE(series.frames(), std::size_t(frames));
        if (frames == 0) {
            QVERIFY(series.kept().empty());
            continue;
        }
        // Evenly spaced from the first frame, as dense as the capacity allows.
        for (std::size_t k = 0; k < series.kept().size(); ++k) {
            QCOMPARE(series.kept()[k].x, std::int32_t(k * series.stride()));
        }
        QVERIFY(series.kept().size() * 2 > capacity || series.stride() == 1);
        QCOMPARE(series.newest().x, frames - 1);
        QCOMPARE(series.newest().timeMs, time);
    }
}

void HistoryMeaningAndPlotTest::plotFollowsStatusFramesAtDisplayPaceAndSaves() {
    Main_frm w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.history().appendReceived(StatusAt(999, 999, 0), 1); // before the clear: not plotted
    w.ui.Com_ClrHis->click();
    w.position_plot->trigger();
    auto* plot = w.findChild<PositionPlotWindow*>();
    QVERIFY(plot);
    QCOMPARE(plot->windowTitle(), QString("Position Plot"));
    QVERIFY(QTest::qWaitForWindowExposed(plot));
    QCOMPARE(plot->series().frames(), std::size_t(0));

    // The square at line rate and faster: each frame lands on its own turn of
    // the event loop, as the port delivers them.
    const int paintsBefore = plot->canvas()->paints();
    QElapsedTimer clock;
    clock.start();
    const int frames = 3000;
    for (int i = 0; i < frames; ++i) {
        const int corner = (i / 10) % 4;
        const std::int32_t x = corner == 0 || corner == 3 ? 50 : -50;
        const std::int32_t y = corner < 2 ? 50 : -50;
        w.history().appendSentFrame(FrameFromHex(BuildStatusRequestFrame(std::uint8_t(i))));
        w.history().appendReceived(StatusAt(x, y, std::uint8_t(i % 101)), 3);
        QCoreApplication::processEvents();
    }
    QTRY_COMPARE(plot->series().frames(), std::size_t(frames));
    const qint64 elapsed = clock.elapsed();
    QTest::qWait(2 * PositionPlotWindow::kRepaintIntervalMs);
    const int paints = plot->canvas()->paints() - paintsBefore;
    QVERIFY2(paints >= 1 && paints <= elapsed / PositionPlotWindow::kRepaintIntervalMs + 4,
             qPrintable(QString("%1 paints in %2 ms").arg(paints).arg(elapsed)));
    QCOMPARE(plot->series().newest().x, 50);
    QCOMPARE(plot->series().newest().y, -50);
    QCOMPARE(plot->series().newest().timeMs, 3.0 * (frames - 1));

    QTemporaryDir dir;
    const QSize size(900, 600);
    QVERIFY(plot->savePng(dir.filePath("plot.png"), size));
    QVERIFY(plot->saveSvg(dir.filePath("plot.svg"), size));
    const QImage image(dir.filePath("plot.png"));
    QCOMPARE(image.size(), size);
    int pathPixels = 0; // the x / y path's blue
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width() / 2; ++x) {
            const QColor c = image.pixelColor(x, y);
            pathPixels += c.blue() > 150 && c.red() < 80 ? 1 : 0;
        }
    }
    QVERIFY2(pathPixels > 500, qPrintable(QString::number(pathPixels)));
    QFile svg(dir.filePath("plot.svg"));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    const QByteArray svgText = svg.readAll();
    QVERIFY(svgText.contains("<svg") && svgText.contains("<title>Position Plot</title>"));
    QVERIFY(svgText.contains("<polyline"));

    w.ui.Com_ClrHis->click();
    QTRY_COMPARE(plot->series().frames(), std::size_t(0));
}

QTEST_MAIN(HistoryMeaningAndPlotTest)
#include "history_meaning_and_plot_test.moc"
