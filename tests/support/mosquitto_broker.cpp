#include "mosquitto_broker.h"

#include <mosquitto.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Connects to the loopback port, or (port 0) binds a free one; the port.
int OnLoopback(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{
        AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    auto* any = reinterpret_cast<sockaddr*>(&address);
    const bool ok = port != 0 ? connect(fd, any, size) == 0
                              : bind(fd, any, size) == 0 && getsockname(fd, any, &size) == 0;
    close(fd);
    return ok ? ntohs(address.sin_port) : 0;
}

} // namespace

int MosquittoBroker::FreePort() {
    return OnLoopback(0);
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
                          << "log_dest none\nallow_anonymous true\nlistener " << port_
                          << " 127.0.0.1\n"
                          << extra_ << "\n";
    pid_ = fork();
    if (pid_ == 0) {
        // Its words before the config is read (a warning about root).
        freopen((directory_ + "/mosquitto.log").c_str(), "a", stderr);
        execlp("mosquitto", "mosquitto", "-c", config.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 250; ++i) {
        if (OnLoopback(port_) != 0) {
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
    if (pid_ > 0 && kill(pid_, signal) == 0 && signal == SIGKILL) {
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

TopicLog::TopicLog(int port) {
    mosquitto_lib_init();
    client_ = mosquitto_new(nullptr, true, this);
    // Subscribed again on each connection: the broker may be restarted.
    mosquitto_connect_callback_set(client_, [](mosquitto* client, void*, int rc) {
        if (rc == 0) {
            mosquitto_subscribe(client, nullptr, "#", 0);
        }
    });
    mosquitto_message_callback_set(client_, [](mosquitto*, void* self, const mosquitto_message* m) {
        auto* log = static_cast<TopicLog*>(self);
        std::lock_guard lock(log->mutex_);
        log->messages_.push_back({m->topic,
                                  std::string(static_cast<const char*>(m->payload), m->payloadlen),
                                  m->retain});
        log->arrived_.notify_all();
    });
    mosquitto_reconnect_delay_set(client_, 1, 1, false);
    mosquitto_connect(client_, "127.0.0.1", port, 10);
    mosquitto_loop_start(client_);
}

TopicLog::~TopicLog() {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, true);
    mosquitto_destroy(client_);
}

int TopicLog::waitFor(const std::string& suffix, std::size_t from, const std::string& words,
                      bool retained) {
    std::unique_lock lock(mutex_);
    int found = -1;
    arrived_.wait_for(lock, std::chrono::seconds(30), [&] {
        for (std::size_t i = from; i < messages_.size() && found < 0; ++i) {
            const Message& m = messages_[i];
            if (m.topic.size() >= suffix.size() &&
                m.topic.compare(m.topic.size() - suffix.size(), suffix.size(), suffix) == 0 &&
                m.payload.find(words) != std::string::npos && (m.retained || !retained)) {
                found = static_cast<int>(i);
            }
        }
        return found >= 0;
    });
    return found;
}

TopicLog::Message TopicLog::at(int index) {
    std::lock_guard lock(mutex_);
    return messages_.at(static_cast<std::size_t>(index));
}

std::size_t TopicLog::size() {
    std::lock_guard lock(mutex_);
    return messages_.size();
}
