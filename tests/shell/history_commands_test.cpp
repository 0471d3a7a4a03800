// The history commands as the operator reaches them from the main window:
// clearing, saving, copying, and the list following its newest line.

#include "float_window.h"
#include "history_model.h"
#include "main_frm.h"
#include "save_history_command.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

class HistoryCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void clearHistoryLeavesTheDatasetLists();
    void doubleClickOnList2EmptiesList2Alone();
    void saveThroughTheWindowAndCancel();
    void copySelectedLines();
    void followsTheNewestLineOnlyAtTheBottom();
};

void HistoryCommandsTest::clearHistoryLeavesTheDatasetLists() {
    Main_frm w;
    w.history().appendText("a");
    w.datasets().appendText("a");
    w.floatWindow().model().appendText("a");
    w.ui.Com_ClrHis->click();
    QCOMPARE(w.history().count(), 0);
    QCOMPARE(w.datasets().count(), 1);
    QCOMPARE(w.floatWindow().model().count(), 1);
}

void HistoryCommandsTest::doubleClickOnList2EmptiesList2Alone() {
    Main_frm w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.history().appendText("a");
    w.datasets().appendText("a");
    w.datasets().appendText("b");
    w.floatWindow().model().appendText("a");
    QTest::mouseDClick(w.ui.List2->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(w.datasets().count(), 0);
    QCOMPARE(w.history().count(), 1);
    QCOMPARE(w.floatWindow().model().count(), 1);
}

void HistoryCommandsTest::saveThroughTheWindowAndCancel() {
    QTemporaryDir dir;
    const QString path = dir.filePath("session.his");
    Main_frm w;
    w.history().appendText("0211");
    std::optional<QString> answer = path;
    w.setHistoryPathChooser([&answer] { return answer; });
    w.Speichern->trigger();
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = saved.readAll().split('\n');
    QCOMPARE(lines[0], QByteArray("\"Kelmora V0.5B History Ouptut File\"\r"));
    QVERIFY(lines[1].startsWith("\"Created on "));
    QCOMPARE(lines[2], QByteArray("\"0211\"\r"));
    QVERIFY(w.statusMessage().startsWith("History saved to"));
    QCOMPARE(w.saveCommand().strFileName(), path);

    // Cancel: nothing written, the previous name kept.
    answer.reset();
    w.ui.Command_Save_His->click();
    QCOMPARE(w.saveCommand().strFileName(), path);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);
}

void HistoryCommandsTest::copySelectedLines() {
    Main_frm w;
    for (const char* line : {"first", "second", "third"}) {
        w.history().appendText(line);
    }
    w.showPendingDisplay(); // the list shows the lines
    QGuiApplication::clipboard()->setText("untouched");
    w.Copy->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("untouched"));

    QItemSelectionModel* selection = w.ui.List1->selectionModel();
    selection->select(w.history().index(0), QItemSelectionModel::Select);
    selection->select(w.history().index(2), QItemSelectionModel::Select);
    w.Copy->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("first\nthird"));
}

void HistoryCommandsTest::followsTheNewestLineOnlyAtTheBottom() {
    Main_frm w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QScrollBar* bar = w.ui.List1->verticalScrollBar();
    for (int i = 0; i < 200; ++i) {
        w.history().appendText("line");
    }
    QTRY_VERIFY(bar->maximum() > 0);
    QTRY_COMPARE(bar->value(), bar->maximum());

    bar->setValue(10); // the operator scrolls up to read
    for (int i = 0; i < 50; ++i) {
        w.history().appendText("more");
    }
    QTest::qWait(30);
    QCOMPARE(bar->value(), 10);

    bar->setValue(bar->maximum()); // back at the bottom: follow again
    w.history().appendText("newest");
    QTRY_COMPARE(bar->value(), bar->maximum());
}

QTEST_MAIN(HistoryCommandsTest)
#include "history_commands_test.moc"
