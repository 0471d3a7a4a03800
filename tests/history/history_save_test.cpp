#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <deque>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_sync.h"
#include "history_model.h"
#include "history_saver.h"
#include "modal_script.h"
#include "save_history_command.h"

namespace {

const QDateTime kNow(QDate(2025, 12, 7), QTime(14, 3));
// The tests run under a German system locale (see main): dd.MM.yy and HH:mm.
const QByteArray kHisHeader = "\"Kelmora V0.5B History Ouptut File\"\r\n"
                              "\"Created on 07.12.25 14:03\"\r\n";
const QByteArray kTxtHeader = "\"Kelmora V0.5B History Text Ouptut File\"\r\n"
                              "\"Created on 07.12.25 14:03\"\r\n";
const QByteArray kSessionEntries =
    "\"00000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "000000000000000000000000000000000700000000\"\r\n"
    "\"IN < 0211 9010 2700 00CE FFFF FF00 0000 0000 0100 0000 3200 0000 0000 0007 0000 0000  "
    "t- 250\"\r\n"
    "\"\x02\x31\x04\x01\x02\x03\x01\"\r\n";

// A status request with counter 7, its reply, and a reference run.
void fillSession(HistoryModel& model) {
    CommandFrame request{};
    request[59] = 7;
    model.appendSentFrame(request);
    model.appendReceived({0x02, 0x11, 0x90, 0x10, 0x27, 0x00, 0x00, 0xCE, 0xFF, 0xFF, 0xFF,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x32, 0x00,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00},
                         250);
    model.appendText("\x02\x31\x04\x01\x02\x03\x01");
}

void fillPolling(HistoryModel& model, int exchanges) {
    for (int i = 0; i < exchanges; ++i) {
        CommandFrame request{};
        request[59] = static_cast<std::uint8_t>(i);
        model.appendSentFrame(request);
        model.appendReceived(ReceivedBlock{}, i);
    }
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

// Lowers the file size limit for this process while it lives; writing past
// it then fails with EFBIG instead of killing the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, savedHandler_);
    }
    bool active() const { return active_; }

private:
    rlimit saved_{};
    void (*savedHandler_)(int) = SIG_DFL;
    bool active_ = false;
};

// Runs as an ordinary user while it lives: as root the permission bits
// below would not stop anything. Outside root it changes nothing.
class OrdinaryUser {
public:
    OrdinaryUser() : wasRoot_(geteuid() == 0) {
        active_ = !wasRoot_ || seteuid(65534) == 0; // nobody
    }
    ~OrdinaryUser() {
        if (wasRoot_ && active_) {
            active_ = seteuid(0) != 0;
        }
    }
    bool active() const { return active_; }

private:
    bool wasRoot_;
    bool active_ = false;
};

constexpr QFile::Permissions kReadable = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
constexpr QFile::Permissions kEnterable = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
constexpr QFile::Permissions kWritable = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;

// What an operator does: go to a folder and type a name. (selectFile() on a
// shown dialog leaves the name box alone while it has the focus.)
void typeFileName(QFileDialog* dialog, const QString& folder, const QString& name) {
    dialog->setDirectory(folder);
    auto* nameBox = dialog->findChild<QLineEdit*>("fileNameEdit");
    QVERIFY(nameBox);
    nameBox->setText(name);
}

} // namespace

class HistorySaveTest : public QObject {
    Q_OBJECT

private slots:
    void createdOnUsesTheSystemShortFormats();
    void fileHoldsHeaderAndEntries_data();
    void fileHoldsHeaderAndEntries();
    void clearThenSaveAsTxtGivesOnlyTheHeader();
    void replacesALongerFileWhole();
    void writesThroughASymlinkAndKeepsIt();
    void refusesAPathThatIsNotARegularFile_data();
    void refusesAPathThatIsNotARegularFile();
    void failsBelowARegularFileAndLeavesItAlone();
    void failsWhenSpaceRunsOutAndKeepsTheOldFile();
    void syncsTheFileThenItsFolderAndSaysAFailedSync_data();
    void syncsTheFileThenItsFolderAndSaysAFailedSync();
    void overwritesInPlaceWhereTheFolderTakesNoNewFile();
    void aRefusedReplaceIsNeverReportedAsSaved();
    void commandReportsWhatHappened_data();
    void commandReportsWhatHappened();
    void cancelWritesNothingAndKeepsStrFileName();
    void dialogProposesTheHistoryNameAndTypes();
    void dialogHandsBackTheChosenPath();
    void dialogInsistsOnAnExistingFolder();
};

void HistorySaveTest::createdOnUsesTheSystemShortFormats() {
    QCOMPARE(HistoryCreatedOnText(kNow), "07.12.25 14:03");
}

void HistorySaveTest::fileHoldsHeaderAndEntries_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("withSession");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty .his") << "empty.his" << false << kHisHeader;
    QTest::newRow("empty .txt") << "empty.txt" << false << kTxtHeader;
    QTest::newRow("empty, no ending") << "Kelmora_history" << false << QByteArray();
    QTest::newRow("session .his") << "run.his" << true << kHisHeader + kSessionEntries;
    QTest::newRow("session .txt") << "run.txt" << true << kTxtHeader + kSessionEntries;
    QTest::newRow("session .HIS") << "run.HIS" << true << kSessionEntries;
    QTest::newRow("session, no ending") << "Kelmora_history" << true << kSessionEntries;
    QTest::newRow("session .log") << "run.log" << true << kSessionEntries;
}

void HistorySaveTest::fileHoldsHeaderAndEntries() {
    QFETCH(QString, name);
    QFETCH(bool, withSession);
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    HistoryModel model;
    if (withSession) {
        fillSession(model);
    }
    const QString path = dir.filePath(name);
    const HistorySaveResult result = SaveHistory(model.records(), path, "V0.5B", kNow);
    QVERIFY2(result.ok, qPrintable(result.reason));
    QCOMPARE(readAll(path), bytes);
    QCOMPARE(entriesOf(dir.path()), QStringList{name});
}

void HistorySaveTest::clearThenSaveAsTxtGivesOnlyTheHeader() {
    QTemporaryDir dir;
    HistoryModel model;
    fillPolling(model, 100);
    model.clear();
    const QString path = dir.filePath("cleared.txt");
    QVERIFY(SaveHistory(model.records(), path, "V0.5B", kNow).ok);
    QCOMPARE(readAll(path), kTxtHeader);
}

void HistorySaveTest::replacesALongerFileWhole() {
    QTemporaryDir dir;
    const QString path = dir.filePath("run.his");
    QVERIFY(writeFile(path, QByteArray(100000, 'x')));
    HistoryModel model;
    fillSession(model);
    QVERIFY(SaveHistory(model.records(), path, "V0.5B", kNow).ok);
    QCOMPARE(readAll(path), kHisHeader + kSessionEntries);
}

void HistorySaveTest::writesThroughASymlinkAndKeepsIt() {
    QTemporaryDir dir;
    const QString target = dir.filePath("target.dat");
    const QString link = dir.filePath("link.his");
    QVERIFY(writeFile(target, "old"));
    QVERIFY(QFile::link(target, link));
    HistoryModel model;
    fillSession(model);
    QVERIFY(SaveHistory(model.records(), link, "V0.5B", kNow).ok);
    QVERIFY(QFileInfo(link).isSymLink());
    // The header follows the name chosen, not the link's target.
    QCOMPARE(readAll(target), kHisHeader + kSessionEntries);
}

void HistorySaveTest::refusesAPathThatIsNotARegularFile_data() {
    QTest::addColumn<bool>("fifo");
    QTest::newRow("fifo") << true;
    QTest::newRow("folder") << false;
}

void HistorySaveTest::refusesAPathThatIsNotARegularFile() {
    QFETCH(bool, fifo);
    QTemporaryDir dir;
    const QString path = dir.filePath("special.his");
    if (fifo) {
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else {
        QVERIFY(QDir(dir.path()).mkdir("special.his"));
    }
    HistoryModel model;
    fillSession(model);
    const HistorySaveResult result = SaveHistory(model.records(), path, "V0.5B", kNow);
    QVERIFY(!result.ok);
    QVERIFY(!result.reason.isEmpty());

    struct stat after {};
    QCOMPARE(lstat(QFile::encodeName(path).constData(), &after), 0);
    QVERIFY(fifo ? S_ISFIFO(after.st_mode) : S_ISDIR(after.st_mode));
    QCOMPARE(entriesOf(dir.path()), QStringList{"special.his"});
    if (!fifo) {
        QVERIFY(entriesOf(path).isEmpty());
    }
}

void HistorySaveTest::failsBelowARegularFileAndLeavesItAlone() {
    QTemporaryDir dir;
    const QString notAFolder = dir.filePath("x");
    QVERIFY(writeFile(notAFolder, "plain file\r\n"));
    HistoryModel model;
    fillSession(model);
    const HistorySaveResult result =
        SaveHistory(model.records(), notAFolder + "/file.his", "V0.5B", kNow);
    QVERIFY(!result.ok);
    QVERIFY(!result.reason.isEmpty());
    QCOMPARE(readAll(notAFolder), QByteArray("plain file\r\n"));
    QCOMPARE(entriesOf(dir.path()), QStringList{"x"});
    QCOMPARE(model.count(), 3);
}

void HistorySaveTest::failsWhenSpaceRunsOutAndKeepsTheOldFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("run.his");
    const QByteArray old = kHisHeader + "\"earlier session\"\r\n";
    QVERIFY(writeFile(path, old));
    HistoryModel model;
    fillPolling(model, 5000); // about a megabyte of file
    HistorySaveResult result;
    {
        FileSizeLimit limit(64 * 1024);
        QVERIFY(limit.active());
        result = SaveHistory(model.records(), path, "V0.5B", kNow);
    }
    QVERIFY(!result.ok);
    QVERIFY(!result.reason.isEmpty());
    QCOMPARE(readAll(path), old);
    QCOMPARE(entriesOf(dir.path()), QStringList{"run.his"});
    QCOMPARE(model.count(), 10000);
}

void HistorySaveTest::syncsTheFileThenItsFolderAndSaysAFailedSync_data() {
    QTest::addColumn<int>("failing"); // the sync that fails: 0 none, 1 the data, 2 the folder
    QTest::newRow("both synced") << 0;
    QTest::newRow("the data's sync fails") << 1;
    QTest::newRow("the folder's sync fails") << 2;
}

void HistorySaveTest::syncsTheFileThenItsFolderAndSaysAFailedSync() {
    QFETCH(int, failing);
    QTemporaryDir dir;
    const QString path = dir.filePath("run.his");
    QVERIFY(writeFile(path, "old"));
    std::vector<SyncKind> syncs;
    SetSyncGateForTesting([&](SyncKind kind) {
        syncs.push_back(kind);
        return int(syncs.size()) == failing ? EIO : 0;
    });
    const auto ungate = qScopeGuard([] { SetSyncGateForTesting({}); });
    HistoryModel model;
    fillSession(model);
    const HistorySaveResult result = SaveHistory(model.records(), path, "V0.5B", kNow);
    QCOMPARE(result.ok, failing == 0);
    QCOMPARE(syncs.size(), failing == 1 ? 1u : 2u);
    QCOMPARE(syncs.front(), SyncKind::FileData);
    QCOMPARE(syncs.back(), failing == 1 ? SyncKind::FileData : SyncKind::Folder);
    // A data sync that fails keeps the old file; the folder's comes after
    // the replace, which a power cut may undo.
    QCOMPARE(readAll(path), failing == 1 ? QByteArray("old") : kHisHeader + kSessionEntries);
    QCOMPARE(entriesOf(dir.path()), QStringList{"run.his"});
    if (failing != 0) {
        QVERIFY2(result.reason.contains(QString::fromLocal8Bit(std::strerror(EIO))),
                 qPrintable(result.reason));
    }
}

void HistorySaveTest::overwritesInPlaceWhereTheFolderTakesNoNewFile() {
    // A shared folder the operator may not add to, holding a history file he
    // may write: the save cannot go through a new file, but a plain
    // overwrite can.
    QTemporaryDir dir;
    const QString path = dir.filePath("run.his");
    QVERIFY(writeFile(path, kHisHeader + "\"earlier session\"\r\n"));
    QVERIFY(QFile::setPermissions(path, kReadable | kWritable));
    QVERIFY(QFile::setPermissions(dir.path(), kReadable | kEnterable));
    HistoryModel model;
    fillSession(model);
    {
        OrdinaryUser user;
        if (!user.active()) {
            QSKIP("cannot run as an ordinary user here");
        }
        const HistorySaveResult saved = SaveHistory(model.records(), path, "V0.5B", kNow);
        QVERIFY2(saved.ok, qPrintable(saved.reason));
    }
    QCOMPARE(readAll(path), kHisHeader + kSessionEntries);

    // Where the file cannot be written either, the save fails, says why and
    // leaves the file alone.
    QVERIFY(QFile::setPermissions(path, kReadable));
    model.clear();
    {
        OrdinaryUser user;
        const HistorySaveResult refused = SaveHistory(model.records(), path, "V0.5B", kNow);
        QVERIFY(!refused.ok);
        QVERIFY(!refused.reason.isEmpty());
    }
    QCOMPARE(readAll(path), kHisHeader + kSessionEntries);
    QCOMPARE(entriesOf(dir.path()), QStringList{"run.his"});
    QVERIFY(QFile::setPermissions(dir.path(), kReadable | kEnterable | QFile::WriteOwner));
}

void HistorySaveTest::aRefusedReplaceIsNeverReportedAsSaved() {
    // A shared folder with the sticky bit, as /tmp has: anyone may add a
    // file there, only a file's owner may replace it. The old file's mode
    // lets the operator write it, so the save goes through a new file, and
    // its last step, putting the new file in the old one's place, is refused.
    QTemporaryDir dir;
    const QString path = dir.filePath("run.his");
    const QByteArray old = kHisHeader + "\"earlier session\"\r\n";
    QVERIFY(writeFile(path, old));
    QVERIFY(QFile::setPermissions(path, kReadable | kWritable));
    QCOMPARE(chmod(QFile::encodeName(dir.path()).constData(), 01777), 0);
    struct stat oldFile {};
    QCOMPARE(stat(QFile::encodeName(path).constData(), &oldFile), 0);
    HistoryModel model;
    fillSession(model);
    SaveHistoryCommand command(
        model, "V0.5B", [&] { return std::optional<QString>(path); }, [] { return kNow; });
    QString shown;
    {
        OrdinaryUser user;
        if (!user.active() || geteuid() == oldFile.st_uid) {
            QSKIP("needs a file of another user: run as root");
        }
        shown = command.run();
    }
    const QString refused =
        "Could not save the history to " + QDir::toNativeSeparators(path) + ": ";
    QVERIFY2(shown.startsWith(refused) && shown.size() > refused.size(), qPrintable(shown));
    QCOMPARE(readAll(path), old);
    QCOMPARE(entriesOf(dir.path()), QStringList{"run.his"});
}

void HistorySaveTest::commandReportsWhatHappened_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("exchanges");
    QTest::addColumn<QString>("status"); // "%path" stands for the chosen path
    QTest::newRow("saved") << "run.his" << 2 << "History saved to %path (4 lines)";
    QTest::newRow("one line") << "run.txt" << -1 << "History saved to %path (1 line)";
    QTest::newRow("percent signs in the name")
        << "a%1b%2.his" << 0 << "History saved to %path (0 lines)";
    QTest::newRow("folder missing")
        << "missing/run.his" << 1 << "Could not save the history to %path: ";
}

void HistorySaveTest::commandReportsWhatHappened() {
    QFETCH(QString, name);
    QFETCH(int, exchanges);
    QFETCH(QString, status);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    HistoryModel model;
    if (exchanges < 0) {
        model.appendText("\x02\x31\x04");
    } else {
        fillPolling(model, exchanges);
    }
    SaveHistoryCommand command(
        model, "V0.5B", [&] { return std::optional<QString>(path); }, [] { return kNow; });
    const QString shown = command.run();
    const QString expected = status.replace("%path", QDir::toNativeSeparators(path));
    if (expected.startsWith("Could not")) {
        // The reason comes from the file system; only its presence is fixed.
        QVERIFY2(shown.startsWith(expected) && shown.size() > expected.size(), qPrintable(shown));
    } else {
        QCOMPARE(shown, expected);
    }
    QCOMPARE(command.strFileName(), path);
}

void HistorySaveTest::cancelWritesNothingAndKeepsStrFileName() {
    QTemporaryDir dir;
    HistoryModel model;
    fillSession(model);
    std::deque<std::optional<QString>> answers{dir.filePath("first.his"), std::nullopt};
    SaveHistoryCommand command(
        model, "V0.5B",
        [&] {
            const std::optional<QString> answer = answers.front();
            answers.pop_front();
            return answer;
        },
        [] { return kNow; });
    QVERIFY(!command.run().isEmpty());
    QVERIFY(QFile::remove(dir.filePath("first.his")));

    QCOMPARE(command.run(), QString());
    QCOMPARE(command.strFileName(), dir.filePath("first.his"));
    QVERIFY(entriesOf(dir.path()).isEmpty());
    QCOMPARE(model.count(), 3);
}

void HistorySaveTest::dialogProposesTheHistoryNameAndTypes() {
    // A home folder of the test's own: the machine's may be missing
    // (HOME=/nonexistent in a build sandbox), or be the folder the test
    // runs in.
    QTemporaryDir home;
    const std::optional<QByteArray> machineHome =
        qEnvironmentVariableIsSet("HOME") ? std::optional(qgetenv("HOME")) : std::nullopt;
    const auto restoreHome =
        qScopeGuard([&] { machineHome ? qputenv("HOME", *machineHome) : qunsetenv("HOME"); });
    qputenv("HOME", QFile::encodeName(home.path()));
    QString title;
    QStringList filters;
    QString preselected;
    QStringList proposed;
    QString folder;
    bool saving = false;
    bool confirmsOverwrite = false;
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        preselected = dialog->selectedNameFilter();
        proposed = dialog->selectedFiles();
        folder = dialog->directory().absolutePath();
        saving = dialog->acceptMode() == QFileDialog::AcceptSave;
        confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        dialog->reject();
    });
    QCOMPARE(ChooseHistoryPathWithDialog(nullptr), std::nullopt);
    QCOMPARE(title, "Save History As...");
    QCOMPARE(filters,
             (QStringList{"History File (*.his)", "Text File (*.txt)", "All Types (*.*)"}));
    QCOMPARE(preselected, "History File (*.his)");
    QCOMPARE(proposed.size(), 1);
    QCOMPARE(QFileInfo(proposed.first()).fileName(), "Kelmora_history");
    QCOMPARE(folder, home.path()); // not wherever the console was started
    QVERIFY(saving);
    QVERIFY(confirmsOverwrite);

    // Record History to File... asks the same way, and offers a capture.
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        preselected = dialog->selectedNameFilter();
        dialog->reject();
    });
    QCOMPARE(ChooseRecordingPathWithDialog(nullptr), std::nullopt);
    QCOMPARE(title, "Record History to File");
    QCOMPARE(filters, (QStringList{"History File (*.his)", "Text File (*.txt)",
                                   "Wireshark capture (*.pcapng)", "All Types (*.*)"}));
    QCOMPARE(preselected, "History File (*.his)");
}

void HistorySaveTest::dialogHandsBackTheChosenPath() {
    QTemporaryDir dir;
    const QString chosen = dir.filePath("chosen.txt");
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        typeFileName(dialog, dir.path(), "chosen.txt");
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept, as OK does
    });
    QCOMPARE(ChooseHistoryPathWithDialog(nullptr), std::optional<QString>(chosen));
    QVERIFY(entriesOf(dir.path()).isEmpty());
}

void HistorySaveTest::dialogInsistsOnAnExistingFolder() {
    QTemporaryDir dir;
    QString warning;
    bool askedAgain = false;
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            warning = box->text();
            WhenModal<QFileDialog>([&](QFileDialog* again) {
                askedAgain = true;
                again->reject();
            });
            box->accept();
        });
        typeFileName(dialog, dir.path(), "missing/run.his");
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept, as OK does
    });
    QCOMPARE(ChooseHistoryPathWithDialog(nullptr), std::nullopt);
    QVERIFY2(warning.contains(QDir::toNativeSeparators(dir.filePath("missing"))),
             qPrintable(warning));
    QVERIFY(askedAgain);
}

int main(int argc, char** argv) {
    // A fixed system locale makes the "Created on" line predictable.
    qputenv("LC_ALL", "de_DE.UTF-8");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    HistorySaveTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "history_save_test.moc"
