#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QListView>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include "history_clipboard.h"
#include "history_model.h"

using namespace std::string_literals;

class HistoryModelTest : public QObject {
    Q_OBJECT

private slots:
    void showsControlCodesAsHexInBrackets_data();
    void showsControlCodesAsHexInBrackets();
    void keepsTheRealBytesBehindTheShownText();
    void announcesEachAppendedRowAndClear();
    void laterAnnouncementsKeepViewsConsistent();
    void copyPutsTheSelectedLinesInRowOrder();
    void copyWithNothingSelectedLeavesTheClipboardAlone();
};

void HistoryModelTest::showsControlCodesAsHexInBrackets_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("shown");
    QTest::newRow("start-up reference order") << QByteArray("\x02\x31\x04") << "<02>1<04>";
    QTest::newRow("order y z c y")
        << QByteArray("\x02\x31\x04\x01\x02\x03\x01") << "<02>1<04><01><02><03><01>";
    QTest::newRow("latin-1 and delete") << QByteArray("caf\xE9 \x7F\x1F") << "café <7F><1F>";
    QTest::newRow("received line")
        << QByteArray("IN < 0000 0102  t- 40") << "IN < 0000 0102  t- 40";
}

void HistoryModelTest::showsControlCodesAsHexInBrackets() {
    QFETCH(QByteArray, line);
    QFETCH(QString, shown);
    HistoryModel model;
    model.appendText(line.toStdString());
    QCOMPARE(model.index(0).data(Qt::DisplayRole).toString(), shown);
}

void HistoryModelTest::keepsTheRealBytesBehindTheShownText() {
    HistoryModel model;
    model.appendText("\x02\x31\x04\x00\x01\x02\x03"s);
    CommandFrame request{};
    request[59] = 0x2A;
    model.appendSentFrame(request);
    QCOMPARE(model.count(), 2);
    QCOMPARE(model.lineAt(0), "\x02\x31\x04"s);
    QCOMPARE(model.lineAt(1), std::string(118, '0') + "2A00000000");
    QCOMPARE(model.index(1).data().toString(), QString::fromStdString(model.lineAt(1)));
    QVERIFY(!model.index(2).data().isValid());
    QVERIFY(!model.index(0).data(Qt::EditRole).isValid());
}

void HistoryModelTest::announcesEachAppendedRowAndClear() {
    HistoryModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    model.appendSentFrame(CommandFrame{});
    model.appendReceived(ReceivedBlock{}, 40);
    model.appendText("\x02\x31\x04");
    QCOMPARE(inserted.count(), 3);
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(inserted.at(row).at(1).toInt(), row);
        QCOMPARE(inserted.at(row).at(2).toInt(), row);
    }
    QCOMPARE(model.rowCount(), 3);

    model.clear();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.rowCount(), 0);
    model.appendText("after");
    QCOMPARE(model.lineAt(0), "after"s);
}

void HistoryModelTest::laterAnnouncementsKeepViewsConsistent() {
    // Random appends, clears and announcements, as the receive path and the
    // screen refresh interleave them; the tester checks every signal against
    // rowCount, and a view reads every row it knows of throughout.
    HistoryModel model;
    model.setAnnounceLater(true);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy waiting(&model, &HistoryModel::waitingForAnnouncement);
    QRandomGenerator random(7);
    int lines = 0;
    for (int step = 0; step < 2000; ++step) {
        const int action = random.bounded(10);
        if (action < 6) {
            model.appendText("line " + std::to_string(lines++));
        } else if (action < 7) {
            model.clear();
            lines = 0;
        } else {
            const int before = waiting.count();
            model.announceWaiting();
            QCOMPARE(model.rowCount(), model.count());
            QVERIFY(!model.hasWaiting());
            QCOMPARE(waiting.count(), before); // announcing asks for nothing more
        }
        QCOMPARE(model.count(), lines); // recorded at once, announced or not
        for (int row = 0; row < model.rowCount(); ++row) {
            const QVariant shown = model.index(row).data();
            QVERIFY(row < model.count() ? shown.isValid() : !shown.isValid());
        }
    }
    // One request per quiet spell, not one per line.
    QVERIFY(waiting.count() < 2000 / 3);
}

void HistoryModelTest::copyPutsTheSelectedLinesInRowOrder() {
    HistoryModel model;
    for (const char* line : {"zero", "one", "\x02\x31\x04", "three", "four"}) {
        model.appendText(line);
    }
    QListView view;
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    view.setModel(&model);
    QItemSelectionModel& selection = *view.selectionModel();
    selection.select(model.index(3), QItemSelectionModel::Select);
    selection.select(model.index(0), QItemSelectionModel::Select);
    selection.select(model.index(2), QItemSelectionModel::Select);

    QClipboard& clipboard = *QGuiApplication::clipboard();
    QVERIFY(CopySelectedLines(selection, clipboard));
    QCOMPARE(clipboard.text(), "zero\n<02>1<04>\nthree");
}

void HistoryModelTest::copyWithNothingSelectedLeavesTheClipboardAlone() {
    HistoryModel model;
    model.appendText("one");
    QListView view;
    view.setModel(&model);
    QClipboard& clipboard = *QGuiApplication::clipboard();
    clipboard.setText(QStringLiteral("kept"));
    QVERIFY(!CopySelectedLines(*view.selectionModel(), clipboard));
    QCOMPARE(clipboard.text(), "kept");
}

QTEST_MAIN(HistoryModelTest)
#include "history_model_test.moc"
