#include "mosquitto_broker.h"

#include <mosquitto.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool Listens(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

} // namespace

int MosquittoBroker::FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);
    return ntohs(address.sin_port);
}

MosquittoBroker::MosquittoBroker(std::string directory, std::string extra)
    : directory_(std::move(directory)), extra_(std::move(extra)), port_(FreePort()) {}

MosquittoBroker::~MosquittoBroker() {
    signal(SIGCONT);
    signal(SIGKILL);
}

bool MosquittoBroker::start() {
    const std::string config = directory_ + "/mosquitto.conf";
    // Started by root, it would become the user "mosquitto", who cannot
    // read the test's own folder.
    const passwd* user = getpwuid(getuid());
    std::ofstream(config) << "per_listener_settings false\npersistence false\n"
                          << "user " << (user != nullptr ? user->pw_name : "root") << "\n"
                          << "log_dest none\nlistener " << port_ << " 127.0.0.1\n"
                          << (extra_.find("password_file") == std::string::npos
                                  ? "allow_anonymous true\n"
                                  : "")
                          << extra_ << "\n";
    pid_ = fork();
    if (pid_ == 0) {
        // Its words before the config is read (a warning about root).
        freopen((directory_ + "/mosquitto.log").c_str(), "a", stderr);
        execlp("mosquitto", "mosquitto", "-c", config.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 250; ++i) {
        if (Listens(port_)) {
            return true;
        }
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            problem_ = "mosquitto ended at start; see " + config + " and mosquitto.log";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    problem_ = "mosquitto does not listen on port " + std::to_string(port_);
    return false;
}

void MosquittoBroker::signal(int signal) {
    if (pid_ <= 0) {
        return;
    }
    kill(pid_, signal);
    if (signal == SIGKILL || signal == SIGTERM) {
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

struct TopicLog::Impl {
    mosquitto* client = nullptr;
    mutable std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Message> messages;
};

TopicLog::TopicLog(int port) : impl_(new Impl) {
    mosquitto_lib_init();
    impl_->client = mosquitto_new(nullptr, true, impl_);
    // Subscribed again on each connection: the broker may be restarted.
    mosquitto_connect_callback_set(impl_->client, [](mosquitto* client, void*, int rc) {
        if (rc == 0) {
            mosquitto_subscribe(client, nullptr, "#", 0);
        }
    });
    mosquitto_message_callback_set(
        impl_->client, [](mosquitto*, void* self, const mosquitto_message* message) {
            auto* impl = static_cast<Impl*>(self);
            std::lock_guard lock(impl->mutex);
            impl->messages.push_back({message->topic,
                                      std::string(static_cast<const char*>(message->payload),
                                                  static_cast<std::size_t>(message->payloadlen)),
                                      message->retain});
            impl->arrived.notify_all();
        });
    mosquitto_reconnect_delay_set(impl_->client, 1, 1, false);
    mosquitto_connect(impl_->client, "127.0.0.1", port, 10);
    mosquitto_loop_start(impl_->client);
}

TopicLog::~TopicLog() {
    mosquitto_disconnect(impl_->client);
    mosquitto_loop_stop(impl_->client, true);
    mosquitto_destroy(impl_->client);
    delete impl_;
}

int TopicLog::waitFor(const std::string& suffix, int seconds, std::size_t from,
                      bool (*accept)(const Message&)) {
    std::unique_lock lock(impl_->mutex);
    int found = -1;
    impl_->arrived.wait_for(lock, std::chrono::seconds(seconds), [&] {
        for (std::size_t i = from; i < impl_->messages.size(); ++i) {
            const Message& m = impl_->messages[i];
            if (m.topic.size() >= suffix.size() &&
                m.topic.compare(m.topic.size() - suffix.size(), suffix.size(), suffix) == 0 &&
                (accept == nullptr || accept(m))) {
                found = static_cast<int>(i);
                return true;
            }
        }
        return false;
    });
    return found;
}

TopicLog::Message TopicLog::at(int index) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->messages.at(static_cast<std::size_t>(index));
}

std::size_t TopicLog::size() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->messages.size();
}
