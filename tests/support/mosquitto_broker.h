#pragma once
// A real mosquitto for one test or benchmark: its own config in `directory`,
// on a free loopback port, started and waited for until it listens; killed,
// stopped (SIGSTOP) and continued at will. `extra` is added to the config
// (a password file, a TLS listener).

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include <sys/types.h>

struct mosquitto;

class MosquittoBroker {
public:
    MosquittoBroker(std::string directory, std::string extra = {});
    ~MosquittoBroker();

    // Starts it (on the same port again after a kill); false, with
    // problem(), when it does not listen within 5 s.
    bool start();
    void signal(int signal); // SIGKILL also waits for it to end
    int port() const { return port_; }
    std::string url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }
    const std::string& problem() const { return problem_; }

    // A free loopback port, for a second listener.
    static int FreePort();

private:
    std::string directory_;
    std::string extra_;
    int port_ = 0;
    pid_t pid_ = -1;
    std::string problem_;
};

// Messages seen by a libmosquitto subscriber to "#" on the broker, retained
// or not, in order.
class TopicLog {
public:
    explicit TopicLog(int port);
    ~TopicLog();
    struct Message {
        std::string topic;
        std::string payload;
        bool retained = false;
    };
    // The first message from index `from` on whose topic ends with `suffix`
    // and whose payload holds `words` (retained, if asked), waiting up to
    // 30 s; its index, or -1.
    int waitFor(const std::string& suffix, std::size_t from = 0, const std::string& words = "",
                bool retained = false);
    Message at(int index);
    std::size_t size();

private:
    mosquitto* client_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Message> messages_;
};
