#include "status_publishing.h"

#include "history_model.h"
#include "main_frm.h"

#include <history_entry.h>

#include <QLabel>
#include <QMetaObject>
#include <QStatusBar>

QString BrokerLabelText(const BrokerState& state, const MqttSettings& settings) {
    return "MQTT: " + QString::fromStdString(BrokerStateText(state, settings));
}

StatusPublishing::StatusPublishing(const HistoryModel& history, MqttSettings settings,
                                   QStatusBar* bar, QObject* parent)
    : QObject(parent), history_(history),
      publisher_(std::move(settings), [this](const BrokerState& state) {
          // The publisher's own thread: the label is changed on ours.
          QMetaObject::invokeMethod(
              this, [this, state] { showState(state); }, Qt::QueuedConnection);
      }) {
    label_ = new QLabel(bar);
    label_->setObjectName("brokerState");
    label_->setAccessibleName("Broker");
    bar->addPermanentWidget(label_);
    showState(publisher_.state());

    handOnTimer_.setSingleShot(true);
    handOnTimer_.setInterval(0);
    connect(&handOnTimer_, &QTimer::timeout, this, &StatusPublishing::handOn);
    connect(&history_, &HistoryModel::lineAppended, this, &StatusPublishing::lineAppended);
    connect(&history_, &HistoryModel::lastLineRemoved, this, &StatusPublishing::lastLineRemoved);
    publisher_.start();
}

StatusPublishing::~StatusPublishing() {
    stop();
}

void StatusPublishing::lineAppended() {
    pending_.emplace_back(history_.lineAt(history_.count() - 1), WallClock::now());
    if (!handOnTimer_.isActive()) {
        handOnTimer_.start();
    }
}

void StatusPublishing::lastLineRemoved() {
    if (!pending_.empty()) {
        pending_.pop_back();
    }
}

void StatusPublishing::handOn() {
    for (auto& [line, at] : pending_) {
        const std::optional<HistoryEntry> entry = ParseHistoryEntry(line);
        if (entry && entry->kind == HistoryEntryKind::Received) {
            publisher_.publishStatus(line, at);
        }
        publisher_.publishFrame(std::move(line), at);
    }
    pending_.clear();
}

void StatusPublishing::portStateChanged(bool open, const QString& device, const QString& failure) {
    handOn(); // the lines logged before the port changed go first
    portOpen_ = open;
    device_ = device.toStdString();
    publisher_.publishPort(open, device_, failure.toStdString());
}

void StatusPublishing::stop() {
    handOn();
    if (portOpen_) {
        // The window is going, and the port with it.
        portOpen_ = false;
        publisher_.publishPort(false, device_, {});
    }
    publisher_.stop();
}

QString StatusPublishing::stateText() const {
    return label_->text();
}

void StatusPublishing::showState(const BrokerState& state) {
    const QString text = BrokerLabelText(state, publisher_.settings());
    if (text == label_->text()) {
        return;
    }
    label_->setText(text);
    // A refusal is the operator's to fix (a password, a certificate), and a
    // publisher that could not start is the installation's: shown as a
    // fault, like a recording that stopped.
    const bool fault = state.phase == BrokerPhase::Refused ||
                       (state.phase == BrokerPhase::Stopped && !state.reason.empty());
    label_->setStyleSheet(fault ? "color: #b00000" : QString());
    emit brokerStateChanged(text);
}

PublishingChoice ChoosePublishing(const std::optional<std::string>& url,
                                  const std::optional<std::string>& machine,
                                  const std::optional<std::string>& configFile) {
    MqttSettingsRequest request;
    request.configFileGiven = configFile.has_value();
    request.configFile = configFile.value_or(DefaultMqttConfigFile());
    request.url = url.value_or("");
    request.machine = machine.value_or("");
    const bool named = url || machine || configFile;
    MqttSettingsOutcome outcome = LoadMqttSettings(request);
    if (!outcome.problem.empty()) {
        return {std::nullopt, outcome.problem, named};
    }
    if (!outcome.settings && named) {
        return {std::nullopt, "no broker to publish to: give --mqtt URL or a url in the settings",
                true};
    }
    return {std::move(outcome.settings), {}, false};
}

std::unique_ptr<StatusPublishing> StartPublishing(Main_frm& window,
                                                  const PublishingChoice& choice) {
    if (!choice.settings) {
        if (!choice.problem.empty()) {
            window.statusBar()->showMessage("Not publishing to MQTT: " +
                                            QString::fromStdString(choice.problem));
        }
        return nullptr;
    }
    auto publishing = std::make_unique<StatusPublishing>(window.history(), *choice.settings,
                                                         window.statusBar(), nullptr);
    publishing->portStateChanged(false, {}, {});
    QObject::connect(&window, &Main_frm::portStateChanged, publishing.get(),
                     &StatusPublishing::portStateChanged);
    return publishing;
}
