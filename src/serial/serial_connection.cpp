#include "serial_connection.h"

#include <algorithm>
#include <cstring>

#include "device_probe.h"
#include "port_holder.h"
#include "serial_error_decisions.h"

#include <QMetaObject>
#include <QSocketNotifier>

SerialConnection::SerialConnection(QObject* parent)
    : QObject(parent), settingsText_(QString::fromLatin1(DesignTimeSettings)),
      settings_(*ParseLineSettings(settingsText_).settings) {
    port_.setFlowControl(QSerialPort::NoFlowControl);
    connect(&port_, &QSerialPort::readyRead, this, &SerialConnection::onReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialConnection::onErrorOccurred);
}

SerialConnection::~SerialConnection() {
    stopReceiving();
}

void SerialConnection::receiveOnThread(std::function<std::int32_t()> tick) {
    // Both callbacks run on the receiving thread: they only post to this
    // object's queue, which Qt makes safe across threads and drops with the
    // object.
    receiver_ = std::make_unique<BlockReceiver>(
        std::move(tick),
        [this] {
            QMetaObject::invokeMethod(
                this, [this] { emit blocksReceived(); }, Qt::QueuedConnection);
        },
        [this](int, bool fatal) {
            QMetaObject::invokeMethod(
                this, [this, fatal] { threadReadFailed(fatal); }, Qt::QueuedConnection);
        });
}

void SerialConnection::takeReceived(std::vector<ReceivedRecord>& into) {
    if (receiver_)
        receiver_->takeInto(into);
}

void SerialConnection::expectAnswer() {
    if (receiver_)
        receiver_->expectAnswer();
}

void SerialConnection::stopReceiving() {
    if (receiver_)
        receiver_->stop();
}

void SerialConnection::threadReadFailed(bool fatal) {
    if (!receiver_ || !port_.isOpen())
        return; // a failure of a port closed since
    // The thread gives up (fatal) on a line that hung up or went away, and
    // after reads that keep failing: the line is lost. Other failures count
    // as QSerialPort's read errors would.
    onErrorOccurred(fatal ? QSerialPort::ResourceError : QSerialPort::ReadError);
}

SerialResult SerialConnection::setCommPort(const QString& portText) {
    const PortNameResolution resolution = ResolvePortName(portText);
    if (!resolution.ok())
        return SerialResult::failure(SerialFailure::NoSuchPort, resolution.reason);
    commPortText_ = portText;
    portLocation_ = resolution.systemLocation;
    return SerialResult::success();
}

SerialResult SerialConnection::setSettings(const QString& settingsText) {
    const LineSettingsParse parse = ParseLineSettings(settingsText);
    if (!parse.settings)
        return SerialResult::failure(SerialFailure::BadSettings, parse.reason);
    if (isOpen() && !applySettings(*parse.settings)) {
        applySettings(settings_);
        port_.clearError();
        return SerialResult::failure(SerialFailure::BadSettings,
                                     QStringLiteral("Port %1 refused the line settings %2")
                                         .arg(portLocation_, settingsText));
    }
    settingsText_ = settingsText;
    settings_ = *parse.settings;
    return SerialResult::success();
}

bool SerialConnection::applySettings(const LineSettings& settings) {
    // Each setter only stores its value while the port is closed; on an open
    // port it reprograms the line and may be refused.
    bool applied = port_.setBaudRate(settings.speed);
    applied = port_.setParity(settings.parity) && applied;
    applied = port_.setDataBits(settings.dataBits) && applied;
    applied = port_.setStopBits(settings.stopBits) && applied;
    return applied;
}

SerialResult SerialConnection::open() {
    if (lossPending_)
        close(); // the owner reopens before hearing of the loss: no need to tell it
    if (port_.isOpen())
        return SerialResult::success();
    if (portLocation_.isEmpty()) {
        return SerialResult::failure(SerialFailure::NoSuchPort,
                                     QStringLiteral("No port chosen: enter a port number or a "
                                                    "device name in the port settings"));
    }

    port_.setPortName(portLocation_);
    applySettings(settings_);
    port_.setFlowControl(QSerialPort::NoFlowControl);

    opening_ = true;
    const bool opened = port_.open(QIODevice::ReadWrite);
    opening_ = false;
    if (!opened) {
        const DeviceNodeFacts node = ProbeDeviceNode(portLocation_);
        OpenFailureFacts facts;
        facts.error = port_.error();
        facts.systemLocation = portLocation_;
        facts.errorText = port_.errorString();
        facts.nodeExists = node.exists;
        facts.accessible = node.accessible;
        facts.characterDevice = node.characterDevice;
        facts.settingsText = settingsText_;
        facts.membershipHint = UsesDialoutGroup();
        if (facts.error == QSerialPort::PermissionError || facts.error == QSerialPort::OpenError) {
            if (const std::optional<PortHolder> holder = FindPortHolder(portLocation_))
                facts.holder = PortHolderText(*holder);
        }
        port_.clearError();
        return DecideOpenFailure(facts);
    }
    commEvent_ = CommEvent::None;
    consecutiveReadErrors_ = 0;
    writeFailed_ = false;
    if (receiver_) {
        // QSerialPort would read every block on this thread as it arrives:
        // its read notification is switched off and stays off, since
        // nothing here asks it to read (it turns it back on only then).
        for (QSocketNotifier* notifier : port_.findChildren<QSocketNotifier*>()) {
            if (notifier->type() == QSocketNotifier::Read)
                notifier->setEnabled(false);
        }
        if (!receiver_->start(int(port_.handle()))) {
            // An open port that nothing reads would look like a silent
            // controller.
            const QString reason = QString::fromLocal8Bit(std::strerror(errno));
            port_.close();
            return SerialResult::failure(
                SerialFailure::Other,
                QStringLiteral("Port %1 opened, but its input cannot be waited for (%2); "
                               "port closed")
                    .arg(portLocation_, reason));
        }
    }
    return SerialResult::success();
}

void SerialConnection::close() {
    stopReceiving();
    lossPending_ = false;
    if (port_.isOpen())
        port_.close();
    port_.clearError();
}

bool SerialConnection::isOpen() const {
    return port_.isOpen() && !lossPending_;
}

qint64 SerialConnection::output(const char* data, qint64 size) {
    lastWriteError_.clear();
    lastWriteTaken_ = 0;
    if (!isOpen() || size < 0) {
        lastWriteError_ = lossPending_ ? lossReason_ : QStringLiteral("the port is not open");
        return -1;
    }
    if (size == 0)
        return 0;
    writeFailed_ = false;
    const qint64 waitingBefore = port_.bytesToWrite();
    if (port_.write(data, size) != size) {
        lastWriteError_ = port_.errorString();
        return -1;
    }
    // Handing the block to the driver now lets a failing line report itself
    // to this call, and keeps a frame from waiting for the next event loop pass.
    port_.flush();
    // What the driver did not take (its buffer full: the far end has stopped
    // reading, a USB adapter's small buffer) is still in the port's buffer,
    // a failed write's included; the rest reached the line.
    lastWriteTaken_ = std::clamp<qint64>(size - (port_.bytesToWrite() - waitingBefore), 0, size);
    if (writeFailed_ || lossPending_) {
        lastWriteError_ = lossPending_ ? lossReason_ : port_.errorString();
        return -1;
    }
    // A frame is sent when all of it reached the driver; the caller closes
    // the port otherwise, so that no tail goes out later.
    if (lastWriteTaken_ < size) {
        lastWriteError_ =
            QStringLiteral("the line took %1 of %2 bytes").arg(lastWriteTaken_).arg(size);
        return -1;
    }
    return size;
}

QByteArray SerialConnection::input() {
    if (!port_.isOpen())
        return {};
    return port_.readAll();
}

qint64 SerialConnection::bytesWaiting() const {
    return port_.isOpen() ? port_.bytesAvailable() : 0;
}

void SerialConnection::discardInput() {
    if (!port_.isOpen())
        return;
    port_.clear(QSerialPort::Input);
    port_.readAll();
}

void SerialConnection::onReadyRead() {
    consecutiveReadErrors_ = 0;
    if (lossPending_ || port_.bytesAvailable() < receiveThreshold_)
        return;
    commEvent_ = CommEvent::Receive;
    emit onComm();
}

void SerialConnection::onErrorOccurred(QSerialPort::SerialPortError error) {
    // Failures of open() are answered by its result, not as line errors.
    if (opening_ || lossPending_ || !port_.isOpen() || error == QSerialPort::NoError)
        return;
    if (error == QSerialPort::WriteError || error == QSerialPort::ResourceError)
        writeFailed_ = true;
    if (error == QSerialPort::ReadError)
        ++consecutiveReadErrors_;

    LineErrorFacts facts;
    facts.hangUpSeen = DescriptorHungUp(port_.handle());
    facts.nodeExists = ProbeDeviceNode(portLocation_).exists;
    facts.consecutiveReadErrors = consecutiveReadErrors_;

    switch (DecideLineError(error, facts)) {
    case LineErrorReaction::Ignore:
        return;
    case LineErrorReaction::Notify:
        notifyError(CommEventForError(error));
        return;
    case LineErrorReaction::PortLost:
        // Closing from inside QSerialPort's own error report is not safe, and
        // the owner must not be called back in the middle of a write: note
        // the loss now (isOpen() turns false) and finish it from the queue.
        lossPending_ = true;
        lossReason_ = PortLostReason(portLocation_, facts);
        QMetaObject::invokeMethod(this, &SerialConnection::finishLoss, Qt::QueuedConnection);
        return;
    }
}

void SerialConnection::notifyError(int commEvent) {
    QMetaObject::invokeMethod(
        this,
        [this, commEvent] {
            if (!isOpen())
                return;
            commEvent_ = commEvent;
            emit onComm();
        },
        Qt::QueuedConnection);
}

void SerialConnection::finishLoss() {
    if (!lossPending_)
        return; // closed, or reopened, by the owner in the meantime
    lossPending_ = false;
    stopReceiving();
    port_.close();
    port_.clearError();
    emit portLost(lossReason_);
}
