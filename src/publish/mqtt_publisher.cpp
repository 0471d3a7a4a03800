#include "mqtt_publisher.h"

#include "mosquitto_library.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr milliseconds kStatusInterval{100};
// Frames are not urgent: they go out in batches at this pace at the least,
// so that a busy line does not wake the thread for each one.
constexpr milliseconds kFramePace{50};
constexpr milliseconds kLongestRest{250};
constexpr seconds kFirstRetry{1};
constexpr seconds kLongestRetry{30};
// A broker that takes the connection but does not answer it.
constexpr seconds kConnectLimit{10};
constexpr int kKeepAliveSeconds = 10;
// Handed to libmosquitto in one go while the socket takes them; the rest
// wait on our own bounded queue, so a stalled broker holds at most this many
// in libmosquitto's unbounded one.
constexpr int kFramesPerBatch = 64;

struct Frame {
    std::string line;
    WallClock::time_point at;
};

} // namespace

std::string BrokerStateText(const BrokerState& state, const MqttSettings& settings) {
    const std::string where = settings.url;
    const std::string retry = "retrying in " + std::to_string(state.retryInSeconds) + " s";
    switch (state.phase) {
    case BrokerPhase::Connecting:
        return "connecting to " + where;
    case BrokerPhase::Connected:
        return "connected to " + where;
    case BrokerPhase::Retrying:
        return retry + ": " + state.reason;
    case BrokerPhase::Refused:
        return "refused by " + where + ": " + state.reason + "; " + retry;
    case BrokerPhase::Stopped: // with a reason when it could not start
        return state.reason.empty() ? "stopped" : "stopped: " + state.reason;
    }
    return {};
}

class MqttPublisher::Worker {
public:
    Worker(MqttSettings settings, StateCallback onState)
        : settings_(std::move(settings)), onState_(std::move(onState)) {
        if (pipe(wakePipe_) == 0) {
            for (const int fd : wakePipe_) {
                fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
                fcntl(fd, F_SETFD, FD_CLOEXEC);
            }
        }
    }

    ~Worker() {
        stop(milliseconds(2000));
        for (const int fd : wakePipe_) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }

    void start() {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable() && !stopAsked_) {
            thread_ = std::thread([this] { run(); });
        }
    }

    void stop(milliseconds limit) {
        {
            std::lock_guard lock(mutex_);
            if (stopAsked_ && !thread_.joinable()) {
                return;
            }
            stopAsked_ = true;
            farewellLimit_ = limit;
        }
        retryWait_.notify_all();
        wake();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    void publishStatus(std::string line, WallClock::time_point at) {
        bool due = false;
        {
            std::lock_guard lock(mutex_);
            ++counts_.statusGiven;
            // The thread rests without a deadline for the status while the
            // slot is empty: the first one in it wakes the thread to set one.
            due = !status_ || Clock::now() >= nextStatusAt_;
            status_ = Frame{std::move(line), at};
        }
        if (due) {
            wake();
        }
    }

    void publishFrame(std::string line, WallClock::time_point at) {
        bool full = false;
        {
            std::lock_guard lock(mutex_);
            ++counts_.framesGiven;
            if (!connected_ || frames_.size() >= kFrameQueueLimit) {
                ++counts_.framesDropped;
                return;
            }
            frames_.push_back(Frame{std::move(line), at});
            full = frames_.size() == kFrameQueueLimit / 2;
        }
        if (full) {
            wake();
        }
    }

    void publishPort(bool open, std::string device, std::string reason) {
        {
            std::lock_guard lock(mutex_);
            port_ = PortJson(open, device, reason);
            portPending_ = true;
        }
        wake();
    }

    BrokerState state() const {
        std::lock_guard lock(mutex_);
        return state_;
    }

    PublisherCounts counts() const {
        std::lock_guard lock(mutex_);
        return counts_;
    }

    const MqttSettings& settings() const { return settings_; }

private:
    void wake() {
        if (!wakeWritten_.exchange(true) && wakePipe_[1] >= 0) {
            const char byte = 1;
            [[maybe_unused]] const ssize_t ignored = write(wakePipe_[1], &byte, 1);
        }
    }

    void drainWake() {
        wakeWritten_ = false;
        char bytes[64];
        while (read(wakePipe_[0], bytes, sizeof bytes) > 0) {
        }
    }

    bool stopAsked() const {
        std::lock_guard lock(mutex_);
        return stopAsked_;
    }

    void setState(BrokerState state) {
        {
            std::lock_guard lock(mutex_);
            state_ = state;
        }
        if (onState_) {
            onState_(state);
        }
    }

    std::string topic(const char* name) const { return settings_.prefix + name; }

    void run() {
        std::string unavailable;
        lib_ = OpenMosquitto(unavailable);
        if (lib_ == nullptr) {
            setState({BrokerPhase::Stopped, "libmosquitto could not be loaded: " + unavailable, 0,
                      false});
            return;
        }
        const std::string clientId =
            "kelmora-" + settings_.machine.substr(0, 40) + "-" + std::to_string(getpid());
        mosq_ = lib_->new_(clientId.c_str(), true, this);
        if (mosq_ == nullptr) {
            setState({BrokerPhase::Stopped, "libmosquitto could not start", 0, false});
            return;
        }
        configure();
        seconds retry = kFirstRetry;
        while (!stopAsked()) {
            setState({BrokerPhase::Connecting, {}, 0, false});
            refusal_.reset();
            lastLogError_.clear();
            std::string reason;
            // Resolves the name and starts connecting: on this thread only.
            errno = 0;
            const int rc = lib_->connect_async_(mosq_, settings_.broker.host.c_str(),
                                                settings_.broker.port, kKeepAliveSeconds);
            bool wasConnected = false;
            if (rc == MOSQ_ERR_SUCCESS) {
                reason = runSession(wasConnected);
            } else {
                reason = describe(rc, errno);
            }
            if (stopAsked()) {
                break;
            }
            if (wasConnected) {
                retry = kFirstRetry;
            }
            BrokerState state{BrokerPhase::Retrying, reason, static_cast<int>(retry.count()),
                              false};
            if (refusal_) {
                state.phase = BrokerPhase::Refused;
                state.reason = lib_->connack_string_(*refusal_);
                // 4: bad user name or password; 5: not authorised.
                state.credentialsRefused = *refusal_ == 4 || *refusal_ == 5;
            }
            setState(state);
            std::unique_lock lock(mutex_);
            retryWait_.wait_for(lock, retry, [this] { return stopAsked_; });
            retry = std::min(retry * 2, kLongestRetry);
        }
        lib_->destroy_(mosq_);
        mosq_ = nullptr;
        markLost(); // what still waits is not sent: counted as dropped
        setState({BrokerPhase::Stopped, {}, 0, false});
    }

    void configure() {
        lib_->int_option_(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        const std::string online = topic("online");
        lib_->will_set_(mosq_, online.c_str(), 5, OnlinePayload(false), 1, true);
        if (!settings_.user.empty()) {
            lib_->username_pw_set_(mosq_, settings_.user.c_str(),
                                   settings_.password.empty() ? nullptr
                                                              : settings_.password.c_str());
        }
        if (settings_.broker.tls) {
            const bool ownCa = !settings_.caFile.empty();
            lib_->tls_set_(mosq_, ownCa ? settings_.caFile.c_str() : nullptr,
                           ownCa ? nullptr : "/etc/ssl/certs", nullptr, nullptr, nullptr);
        }
        lib_->connect_callback_set_(mosq_, [](mosquitto*, void* self, int rc) {
            static_cast<Worker*>(self)->onConnect(rc);
        });
        lib_->publish_callback_set_(mosq_, [](mosquitto*, void* self, int mid) {
            auto* worker = static_cast<Worker*>(self);
            if (mid == worker->farewellMid_) {
                worker->farewellTaken_ = true;
            }
        });
        lib_->log_callback_set_(mosq_, [](mosquitto*, void* self, int level, const char* text) {
            if (level == MOSQ_LOG_ERR && text != nullptr) {
                static_cast<Worker*>(self)->lastLogError_ = text;
            }
        });
    }

    std::string describe(int rc, int error) const {
        if (rc == MOSQ_ERR_ERRNO && error != 0) {
            return std::strerror(error);
        }
        if (rc == MOSQ_ERR_EAI) {
            return "the name " + settings_.broker.host + " does not resolve";
        }
        if (rc == MOSQ_ERR_TLS) {
            return "TLS failed" + (lastLogError_.empty() ? "" : ": " + lastLogError_);
        }
        if (!lastLogError_.empty()) {
            return lastLogError_;
        }
        return lib_->strerror_(rc);
    }

    void onConnect(int rc) {
        if (rc != 0) {
            refusal_ = rc;
            return;
        }
        {
            std::lock_guard lock(mutex_);
            connected_ = true;
            ++counts_.connections;
            // A restarted broker may have lost what was retained.
            portPending_ = !port_.empty();
            if (!lastStatus_.empty() && !status_) {
                republishStatus_ = true;
            }
        }
        publish(topic("online"), OnlinePayload(true), 1, true);
        setState({BrokerPhase::Connected, {}, 0, false});
    }

    int publish(const std::string& topicName, const std::string& payload, int qos, bool retain) {
        int mid = 0;
        lib_->publish_(mosq_, &mid, topicName.c_str(), static_cast<int>(payload.size()),
                       payload.data(), qos, retain);
        return mid;
    }

    // Hands what waits to libmosquitto while its socket takes it.
    void feed() {
        std::optional<std::string> port;
        std::optional<Frame> status;
        std::deque<Frame> frames;
        const auto now = Clock::now();
        {
            std::lock_guard lock(mutex_);
            if (portPending_) {
                port = port_;
                portPending_ = false;
            }
            if ((status_ || republishStatus_) && now >= nextStatusAt_) {
                status = std::move(status_);
                status_.reset();
                nextStatusAt_ = now + kStatusInterval;
            }
            const auto batch = std::min<std::size_t>(frames_.size(), kFramesPerBatch);
            frames.insert(frames.end(), std::make_move_iterator(frames_.begin()),
                          std::make_move_iterator(frames_.begin() + batch));
            frames_.erase(frames_.begin(), frames_.begin() + batch);
            lastFeedAt_ = now;
        }
        if (port) {
            publish(topic("port"), *port, 1, true);
        }
        if (status) {
            const std::string json = StatusJson(status->line, status->at, ++statusIndex_);
            if (!json.empty()) {
                lastStatus_ = json;
            }
        }
        if (status || republishStatus_) {
            republishStatus_ = false;
            if (!lastStatus_.empty()) {
                publish(topic("status"), lastStatus_, 0, true);
                std::lock_guard lock(mutex_);
                ++counts_.statusPublished;
            }
        }
        std::uint64_t published = 0;
        const std::string framesTopic = topic("frames");
        for (const Frame& frame : frames) {
            publish(framesTopic, FrameJson(frame.line, frame.at, ++frameIndex_), 0, false);
            ++published;
        }
        std::lock_guard lock(mutex_);
        counts_.framesPublished += published;
    }

    // When the thread must look again without being woken. While the socket
    // takes nothing more, only the socket (or a stop) wakes it.
    int restMilliseconds(Clock::time_point deadline, bool socketFull) const {
        auto until = Clock::now() + kLongestRest;
        if (!socketFull) {
            std::lock_guard lock(mutex_);
            if (connected_ && (status_ || republishStatus_)) {
                until = std::min(until, nextStatusAt_);
            }
            if (connected_ && !frames_.empty()) {
                until = std::min(until, lastFeedAt_ + kFramePace);
            }
        }
        until = std::min(until, deadline);
        const auto left = std::chrono::ceil<milliseconds>(until - Clock::now()).count();
        return static_cast<int>(std::max<long long>(left, 0));
    }

    bool connected() const {
        std::lock_guard lock(mutex_);
        return connected_;
    }

    // One connection, from its start to its loss (returns why) or to the
    // farewell on stop (returns nothing).
    std::string runSession(bool& wasConnected) {
        const auto connectDeadline = Clock::now() + kConnectLimit;
        std::optional<Clock::time_point> farewellDeadline;
        std::string reason;
        for (;;) {
            const bool isConnected = connected();
            wasConnected = wasConnected || isConnected;
            if (stopAsked() && !farewellDeadline) {
                if (!isConnected) {
                    lib_->disconnect_(mosq_);
                    return {};
                }
                {
                    std::lock_guard lock(mutex_);
                    nextStatusAt_ = Clock::now();
                    farewellDeadline = Clock::now() + farewellLimit_;
                }
                feed();
                farewellTaken_ = false;
                farewellMid_ = publish(topic("online"), OnlinePayload(false), 1, true);
            }
            if (farewellDeadline && (farewellTaken_ || Clock::now() >= *farewellDeadline)) {
                lib_->disconnect_(mosq_);
                lib_->loop_(mosq_, 0, 1);
                return {};
            }
            if (isConnected && !farewellDeadline && !lib_->want_write_(mosq_)) {
                feed();
            }
            if (!isConnected && Clock::now() >= connectDeadline) {
                lib_->disconnect_(mosq_);
                return "no answer from the broker in " + std::to_string(kConnectLimit.count()) +
                       " s";
            }
            const int socket = lib_->socket_(mosq_);
            if (socket < 0) {
                return reason.empty() ? "the connection was lost" : reason;
            }
            pollfd fds[2] = {{socket, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
            const bool socketFull = lib_->want_write_(mosq_);
            if (socketFull) {
                fds[0].events |= POLLOUT;
            }
            const auto deadline = farewellDeadline ? *farewellDeadline
                                  : isConnected    ? Clock::now() + kLongestRest
                                                   : connectDeadline;
            poll(fds, 2, restMilliseconds(deadline, socketFull));
            if (fds[1].revents != 0) {
                drainWake();
            }
            errno = 0;
            const int rc = lib_->loop_(mosq_, 0, 1);
            const int error = errno;
            if (refusal_) {
                lib_->disconnect_(mosq_);
                markLost();
                return "refused";
            }
            if (rc != MOSQ_ERR_SUCCESS) {
                markLost();
                if (farewellDeadline) {
                    return {};
                }
                return rc == MOSQ_ERR_CONN_LOST && !lastLogError_.empty() ? lastLogError_
                                                                          : describe(rc, error);
            }
        }
    }

    void markLost() {
        std::lock_guard lock(mutex_);
        connected_ = false;
        counts_.framesDropped += frames_.size();
        frames_.clear();
    }

    const MqttSettings settings_;
    const StateCallback onState_;
    int wakePipe_[2] = {-1, -1};
    std::atomic<bool> wakeWritten_{false};

    mutable std::mutex mutex_;
    std::condition_variable retryWait_;
    bool stopAsked_ = false;
    milliseconds farewellLimit_{2000};
    bool connected_ = false;
    BrokerState state_;
    PublisherCounts counts_;
    std::optional<Frame> status_;
    bool republishStatus_ = false;
    Clock::time_point nextStatusAt_{};
    Clock::time_point lastFeedAt_{};
    std::deque<Frame> frames_;
    std::string port_;
    bool portPending_ = false;

    // The thread's own.
    std::thread thread_;
    const MosquittoLibrary* lib_ = nullptr; // set first thing on the thread
    mosquitto* mosq_ = nullptr;
    std::optional<int> refusal_;
    std::string lastLogError_;
    std::string lastStatus_;
    std::uint64_t statusIndex_ = 0;
    std::uint64_t frameIndex_ = 0;
    int farewellMid_ = -1;
    bool farewellTaken_ = false;
};

MqttPublisher::MqttPublisher(MqttSettings settings, StateCallback onState)
    : worker_(std::make_unique<Worker>(std::move(settings), std::move(onState))) {}

MqttPublisher::~MqttPublisher() = default;

void MqttPublisher::start() {
    worker_->start();
}

void MqttPublisher::publishStatus(std::string receivedLine, WallClock::time_point receivedAt) {
    worker_->publishStatus(std::move(receivedLine), receivedAt);
}

void MqttPublisher::publishFrame(std::string line, WallClock::time_point at) {
    worker_->publishFrame(std::move(line), at);
}

void MqttPublisher::publishPort(bool open, std::string device, std::string reason) {
    worker_->publishPort(open, std::move(device), std::move(reason));
}

void MqttPublisher::stop(std::chrono::milliseconds limit) {
    worker_->stop(limit);
}

BrokerState MqttPublisher::state() const {
    return worker_->state();
}

PublisherCounts MqttPublisher::counts() const {
    return worker_->counts();
}

const MqttSettings& MqttPublisher::settings() const {
    return worker_->settings();
}
