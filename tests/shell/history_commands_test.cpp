// The history commands as the operator reaches them from the main window:
// clearing, saving, recording, copying, and the list following its newest
// line.

#include "file_sync.h"
#include "float_window.h"
#include "history_model.h"
#include "history_recording.h"
#include "main_frm.h"
#include "pty_peer.h"
#include "save_history_command.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <optional>
#include <sys/resource.h>
#include <vector>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QLabel* recordingIndicator(Main_frm& w) {
    return w.statusBar()->findChild<QLabel*>("recordingIndicator");
}

// Lowers the file size limit of this process while it lives; writing past
// it then fails with EFBIG instead of killing the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, savedHandler_);
    }

private:
    rlimit saved_{};
    void (*savedHandler_)(int) = SIG_DFL;
};

} // namespace

class HistoryCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void clearHistoryLeavesTheDatasetLists();
    void doubleClickOnList2EmptiesList2Alone();
    void saveThroughTheWindowAndCancel();
    void recordThroughTheWindow();
    void recordingStopsWhenItsFileFails_data();
    void recordingStopsWhenItsFileFails();
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

void HistoryCommandsTest::recordThroughTheWindow() {
    QTemporaryDir dir;
    const QString path = dir.filePath("session.txt");
    Main_frm w;
    w.history().appendText("before");
    std::optional<QString> answer;
    w.recording().setPathChooser([&answer] { return answer; });
    QAction* entry = w.recordHistory;
    QVERIFY(entry->isCheckable());
    QLabel* indicator = recordingIndicator(w);
    QVERIFY(indicator);

    // Cancelled, or refused: the entry stays unticked.
    entry->trigger();
    QVERIFY(!entry->isChecked());
    answer = dir.path();
    entry->trigger();
    QVERIFY(!entry->isChecked());
    QVERIFY(indicator->isHidden());
    QCOMPARE(w.statusMessage(), "Could not record the history to " +
                                    QDir::toNativeSeparators(dir.path()) + ": it is a folder");

    // The new file's folder is synced when it is made, and its lines when it
    // ends (and every 750 ms between).
    std::vector<SyncKind> syncs;
    SetSyncGateForTesting([&syncs](SyncKind kind) {
        syncs.push_back(kind);
        return 0;
    });
    answer = path;
    entry->trigger();
    QCOMPARE(syncs, std::vector<SyncKind>{SyncKind::Folder});
    QVERIFY(entry->isChecked());
    QVERIFY(!indicator->isHidden());
    QVERIFY(indicator->text().contains(QDir::toNativeSeparators(path)));
    QCOMPARE(w.statusMessage(), "Recording the history to " + QDir::toNativeSeparators(path));
    const QList<QByteArray> start = readAll(path).split('\n');
    QCOMPARE(start.size(), 4);
    QCOMPARE(start[0], QByteArray("\"Kelmora V0.5B History Text Ouptut File\"\r"));
    QCOMPARE(start[2], QByteArray("\"before\"\r"));
    const QByteArray header = readAll(path).chopped(start[2].size() + 1);

    // Clear History leaves the file; new lines follow in it.
    w.history().appendText("first");
    w.ui.Com_ClrHis->click();
    w.history().appendText("second");
    QTRY_COMPARE(readAll(path), header + "\"before\"\r\n\"first\"\r\n\"second\"\r\n");

    // Unticked: ended, synced, and the file takes no more.
    entry->trigger();
    SetSyncGateForTesting({});
    QCOMPARE(syncs.back(), SyncKind::FileData);
    QVERIFY(!entry->isChecked());
    QVERIFY(indicator->isHidden());
    QCOMPARE(w.statusMessage(),
             "Recording to " + QDir::toNativeSeparators(path) + " ended (3 lines)");
    w.history().appendText("after");
    QTest::qWait(50);
    QCOMPARE(readAll(path), header + "\"before\"\r\n\"first\"\r\n\"second\"\r\n");

    // A stop whose last write or sync fails says that the file lacks its end,
    // and the notice outlasts later messages until the next recording starts.
    for (const bool writeFails : {true, false}) {
        w.recording().start(path);
        {
            std::optional<FileSizeLimit> limit;
            if (writeFails) {
                limit.emplace(static_cast<rlim_t>(QFileInfo(path).size()));
            } else {
                SetSyncGateForTesting([](SyncKind) { return EIO; });
            }
            w.history().appendText("lost");
            entry->trigger();
            SetSyncGateForTesting({});
        }
        const QString incomplete =
            "Recording to " + QDir::toNativeSeparators(path) + " ended, but the file is incomplete";
        QVERIFY2(w.statusMessage().startsWith(incomplete), qPrintable(w.statusMessage()));
        w.statusBar()->showMessage("a later message");
        QVERIFY(!indicator->isHidden() && indicator->text().startsWith(incomplete));
    }
    QVERIFY(w.recording().leftIncompleteFile());

    // Quit ends a recording with every line written, the newest included.
    w.recording().start(path);
    w.history().appendText("last");
    w.Beenden->trigger();
    QVERIFY(readAll(path).endsWith("\"lost\"\r\n\"last\"\r\n"));
    QVERIFY(!entry->isChecked());
}

void HistoryCommandsTest::recordingStopsWhenItsFileFails_data() {
    QTest::addColumn<bool>("sizeLimit"); // else the file's folder is removed
    QTest::newRow("the file system is full") << true;
    QTest::newRow("the folder is removed") << false;
}

void HistoryCommandsTest::recordingStopsWhenItsFileFails() {
    QFETCH(bool, sizeLimit);
    QTemporaryDir dir;
    const QString folder = dir.filePath("records");
    QVERIFY(QDir(dir.path()).mkdir("records"));
    const QString path = folder + "/session.his";
    PtyPeer peer;
    Main_frm w;
    w.presetPort(peer.devicePath());
    w.Command1_Click();
    QVERIFY(w.MSComm1.isOpen());
    w.recording().setPathChooser([&path] { return std::optional<QString>(path); });
    w.recordHistory->trigger();
    QVERIFY(w.recordHistory->isChecked());

    // One status request: on the wire with its counter, and in the history.
    const auto refresh = [&] {
        const int before = w.history().count();
        const std::uint8_t counter = w.channel().frame_counter();
        w.Com_Refresh_Click();
        const QByteArray frame = peer.read(64);
        return frame.size() == 64 && static_cast<std::uint8_t>(frame[59]) == counter &&
               w.history().count() == before + 1;
    };
    QVERIFY(refresh());
    QTRY_VERIFY(readAll(path).count('\n') == 3);

    std::optional<FileSizeLimit> limit;
    if (sizeLimit) {
        limit.emplace(static_cast<rlim_t>(QFileInfo(path).size() + 1000));
    } else {
        QVERIFY(QDir(folder).removeRecursively());
    }
    QElapsedTimer waited;
    waited.start();
    while (w.recordHistory->isChecked() && waited.elapsed() < 5000) {
        QVERIFY(refresh());
        QTest::qWait(10);
    }
    QVERIFY(!w.recordHistory->isChecked());
    QCOMPARE(recordingIndicator(w)->text(), w.statusMessage());
    const QString stopped = "Recording to " + QDir::toNativeSeparators(path) + " stopped: ";
    QVERIFY2(w.statusMessage().startsWith(stopped) && w.statusMessage().size() > stopped.size(),
             qPrintable(w.statusMessage()));
    if (sizeLimit) {
        // Whole lines only: the line that did not fit is not there in part.
        const QByteArray kept = readAll(path);
        QVERIFY(kept.size() <= QFileInfo(path).size() && kept.endsWith("\r\n"));
        QCOMPARE(kept.count("\r\n"), kept.count('"') / 2);
    }
    limit.reset();

    // The port, the send path and the history carry on; the notice stays.
    QVERIFY(w.MSComm1.isOpen());
    for (int i = 0; i < 3; ++i) {
        QVERIFY(refresh());
    }
    QVERIFY(recordingIndicator(w)->text().startsWith(stopped));
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
