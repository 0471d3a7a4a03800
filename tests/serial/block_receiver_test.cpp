// The receiving thread on a real pseudo-terminal: random chunks, each written
// at once at a chosen tick, are cut into blocks and timed as the console's
// receive rule says (a model of the rule is the oracle). Between two chunks
// that each complete a block the test waits for the first block, so they
// are separate reads; chunks that complete none may be read alone or
// together, with the same outcome.

#include "block_receiver.h"
#include "pty_pair.h"

#include <QRandomGenerator>
#include <QtTest>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

class BlockReceiverTest : public QObject {
    Q_OBJECT
private slots:
    void blocksAndTimesFollowTheReceiveRule();
};

namespace {
std::string LineOf(const ReceivedBlock& bytes, std::int32_t elapsed) {
    std::string line = "IN < ";
    char hex[8];
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        std::snprintf(hex, sizeof hex, "%02X%02X ", bytes[i], bytes[i + 1]);
        line += hex;
    }
    return line + " t- " + std::to_string(elapsed);
}
} // namespace

void BlockReceiverTest::blocksAndTimesFollowTheReceiveRule() {
    const quint32 seed = QRandomGenerator::global()->generate();
    std::printf("seed %u\n", seed);
    QRandomGenerator random(seed);
    PtyPair pty;
    QVERIFY(pty.ok());
    const int slave =
        ::open(pty.deviceName().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(slave >= 0);

    std::atomic<std::int32_t> tick{0};
    std::atomic<int> wakes{0}, fatalError{-1};
    BlockReceiver receiver([&] { return tick.load(); }, [&] { ++wakes; },
                           [&](int error, bool fatal) {
                               if (fatal)
                                   fatalError = error;
                           });
    QVERIFY(receiver.start(slave));

    std::vector<std::uint8_t> partial; // the model: bytes waiting for a block
    std::int32_t previousTick = 0;
    std::vector<ReceivedRecord> got;
    std::size_t blocks = 0;
    const std::int32_t startTicks[] = {0, 5000, INT32_MAX - 40, -100};
    tick = startTicks[random.bounded(4)];
    for (int chunk = 0; chunk < 300; ++chunk) {
        if (partial.empty() && random.bounded(20) == 0) { // Close Port, Open Port
            receiver.stop();
            QVERIFY(receiver.start(slave));
        }
        // Short bits, whole blocks, a block and a bit, two or three blocks at once.
        const int sizes[] = {1, 7, 20, 31, 32, 33, 40, 63, 64, 96};
        const int size = sizes[random.bounded(10)];
        QByteArray bytes(size, '\0');
        for (char& byte : bytes)
            byte = char(random.bounded(256));
        partial.insert(partial.end(), bytes.begin(), bytes.end());
        const bool completes = partial.size() >= BlockReceiver::BlockSize;
        if (completes) // the block's arrival: later, the same, or (a wrap) earlier
            tick = std::int32_t(std::uint32_t(tick.load()) + random.bounded(4000) - 200);
        const std::int64_t before = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count();
        QVERIFY(pty.writeFromPeer(bytes));
        if (!completes)
            continue;
        for (int waited = 0; got.size() == blocks && waited < 5000; ++waited) {
            receiver.takeInto(got);
            if (got.size() == blocks)
                QThread::msleep(1);
        }
        QCOMPARE(got.size(), blocks + 1);
        const ReceivedRecord& record = got[blocks++];
        ReceivedBlock expected{};
        std::copy_n(partial.begin(), expected.size(), expected.begin());
        const auto elapsed = std::int32_t(std::uint32_t(tick.load()) - std::uint32_t(previousTick));
        previousTick = tick;
        partial.clear(); // the rest of that input is dropped
        QCOMPARE(LineOf(record.bytes, record.elapsedMs), LineOf(expected, elapsed));
        QCOMPARE(ReceivedLine(record.bytes, record.elapsedMs), LineOf(expected, elapsed));
        QVERIFY(record.readAtUnixNs >= before);
    }
    QVERIFY(blocks > 100);
    QVERIFY(wakes > 0 && wakes <= int(blocks));
    QCOMPARE(receiver.previousTick(), previousTick);

    // The far end hangs up: the thread says so and ends; nothing more queued.
    pty.closePeer();
    QTRY_COMPARE(fatalError.load() >= 0, true);
    receiver.stop();
    receiver.takeInto(got);
    QCOMPARE(got.size(), blocks);
    ::close(slave);
}

QTEST_GUILESS_MAIN(BlockReceiverTest)
#include "block_receiver_test.moc"
