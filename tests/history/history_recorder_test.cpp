// The recorder against a model of what its file must hold: the file as
// Save History wrote it at the start, then every line logged since, in
// order, whatever the history does meanwhile (lines taken back by the send
// path, clears, floods, views told at once or later).

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "history_model.h"
#include "history_recorder.h"
#include "history_saver.h"

namespace {

const QDateTime kNow(QDate(2026, 12, 7), QTime(14, 3));

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Appends one line of a random kind; its text as a file holds it.
QByteArray appendRandomLine(HistoryModel& model, QRandomGenerator& random) {
    switch (random.bounded(3)) {
    case 0: {
        CommandFrame frame{};
        for (std::uint8_t& byte : frame) {
            byte = static_cast<std::uint8_t>(random.bounded(256));
        }
        model.appendSentFrame(frame);
        break;
    }
    case 1: {
        ReceivedBlock block{};
        for (std::uint8_t& byte : block) {
            byte = static_cast<std::uint8_t>(random.bounded(256));
        }
        model.appendReceived(block, static_cast<std::int32_t>(random.bounded(-5, 100000)));
        break;
    }
    default: {
        std::string text;
        for (int i = random.bounded(1, 8); i > 0; --i) {
            text += static_cast<char>(random.bounded(1, 256)); // a reference run's codes
        }
        model.appendText(text);
        break;
    }
    }
    return '"' + QByteArray::fromStdString(model.lineAt(model.count() - 1)) + "\"\r\n";
}

} // namespace

class HistoryRecorderTest : public QObject {
    Q_OBJECT
private slots:
    void fileHoldsEveryLineLoggedSinceTheStart();
};

void HistoryRecorderTest::fileHoldsEveryLineLoggedSinceTheStart() {
    const quint32 seed = qEnvironmentVariableIsSet("KELMORA_RECORDER_SEED")
                             ? qEnvironmentVariableIntValue("KELMORA_RECORDER_SEED")
                             : QRandomGenerator::global()->generate();
    qInfo("seed %u (KELMORA_RECORDER_SEED replays it)", seed);
    QRandomGenerator random(seed);

    for (int run = 0; run < 5; ++run) {
        HistoryModel model;
        model.setAnnounceLater(random.bounded(2) == 1);
        // Sometimes enough lines that the start is formatted on a second thread.
        const int before = random.bounded(3) == 0 ? random.bounded(4000, 9000) : random.bounded(20);
        for (int i = 0; i < before; ++i) {
            appendRandomLine(model, random);
        }
        const QString ending =
            QStringList{".his", ".txt", ".HIS", ".log", ""}.at(random.bounded(5));
        QTemporaryDir dir;
        const QString path = dir.filePath("recorded" + ending);
        const QString saved = dir.filePath("saved" + ending);
        QVERIFY(SaveHistory(model.records(), saved, "V0.5B", kNow).ok);

        HistoryRecorder recorder(model, "V0.5B");
        QCOMPARE(recorder.start(path, kNow), QString());
        QVERIFY(recorder.isRecording());
        QByteArray expected = readAll(saved);
        std::uint64_t entries = static_cast<std::uint64_t>(before);
        for (int step = 0; step < 120; ++step) {
            switch (random.bounded(8)) {
            case 0:
            case 1:
            case 2:
                expected += appendRandomLine(model, random);
                ++entries;
                break;
            case 3: // the send path: logged, then taken back as the port refused it
                appendRandomLine(model, random);
                model.removeLast();
                break;
            case 4:
                model.clear();
                break;
            case 5: // a flood between two passes of the event loop
                for (int i = random.bounded(500); i > 0; --i) {
                    expected += appendRandomLine(model, random);
                    ++entries;
                }
                break;
            case 6:
                QTest::qWait(random.bounded(2 * HistoryRecorder::kWriteDelayMs));
                break;
            default: // the file catches up as soon as the event loop runs
                (void)QTest::qWaitFor([&] { return readAll(path) == expected; });
                QCOMPARE(readAll(path), expected);
                break;
            }
        }
        // Stopping writes what waits; nothing logged afterwards reaches the file.
        QCOMPARE(recorder.stop(), QString());
        QVERIFY(!recorder.isRecording());
        appendRandomLine(model, random);
        QTest::qWait(2 * HistoryRecorder::kWriteDelayMs);
        QCOMPARE(readAll(path), expected);
        QCOMPARE(recorder.entriesWritten(), entries);
    }
}

QTEST_MAIN(HistoryRecorderTest)
#include "history_recorder_test.moc"
