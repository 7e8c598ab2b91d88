// SPDX-License-Identifier: GPL-3.0-or-later
// The broker connection on its own thread, the only one that calls libmosquitto: connect, wait
// for the broker's answer, publish what is retained and what waited, then serve until the
// connection breaks; after a failure a pause of 1, 2, 4 ... 30 s. The caller's thread only puts
// a message in the queue under a lock held for no more than a swap, and wakes the thread
// through a pipe, so it never waits for the network or for libmosquitto's own locks.
#include "mqtt.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr double kFirstPause = 1.0, kLastPause = 30.0;  // [s] between attempts
constexpr int kKeepAlive = 30;                          // [s]
constexpr int kLoopMs = 100;                            // the loop's longest sleep

struct Message {
    std::string topic, payload;
    bool retain;
};

struct Connection {
    MqttOptions options;
    std::mutex lock;
    std::condition_variable wake, done;
    std::deque<Message> queue;
    std::map<std::string, std::string> retained;
    mosquitto* mosq = nullptr;
    bool stop = false, finished = false, connected = false;
    int connack = -1;  // the broker's answer to the last CONNECT, -1 none yet
    long long dropped = 0, droppedSaid = 0;
    std::string state = "off";
    std::string lastTopic, lastPayload;
    double stopWait = 1.0;
    std::atomic<int> unacknowledged{0};  // QoS 1 messages handed over and not yet acknowledged
    int wakeRead = -1, wakeWrite = -1;    // the pipe that wakes the thread
};

Connection* current = nullptr;    // the running connection, owned by its thread once stopped
std::mutex currentLock;           // guards `current` itself
MqttDroppedText droppedText = nullptr;

// Hands a message to libmosquitto; false when it would not take it.
bool hand_over(Connection& c, const Message& m) {
    int rc = mosquitto_publish(c.mosq, nullptr, m.topic.c_str(), static_cast<int>(m.payload.size()), m.payload.data(),
                               c.options.qos, m.retain);
    if (rc == MOSQ_ERR_SUCCESS && c.options.qos > 0) ++c.unacknowledged;
    return rc == MOSQ_ERR_SUCCESS;
}

void queue_message(Connection& c, Message m) {
    if (c.queue.size() >= c.options.queueLimit) {
        c.queue.pop_front();
        ++c.dropped;
    }
    c.queue.push_back(std::move(m));
}

// Wakes the connection's thread (called with the lock held).
void wake_up(Connection& c) {
    char b = 1;
    if (c.wakeWrite >= 0 && write(c.wakeWrite, &b, 1) < 0) {
        // Full: the thread has wake-ups enough to read.
    }
}

// What waited, in order, while connected: taken from the queue in one swap, handed over
// without the lock; what libmosquitto would not take goes back in front. The thread's own.
void drain(Connection& c) {
    std::deque<Message> batch;
    {
        std::lock_guard<std::mutex> g(c.lock);
        if (!c.connected) return;
        batch.swap(c.queue);
    }
    while (!batch.empty() && hand_over(c, batch.front())) batch.pop_front();
    if (batch.empty()) return;
    std::lock_guard<std::mutex> g(c.lock);
    for (Message& m : c.queue) batch.push_back(std::move(m));
    c.queue.swap(batch);
    while (c.queue.size() > c.options.queueLimit) {
        c.queue.pop_front();
        ++c.dropped;
    }
}

// One turn of the network: waits up to `ms` for the socket or a wake-up, then reads, writes
// and keeps the connection alive. libmosquitto's code; poll() takes any descriptor.
int turn(Connection& c, int ms) {
    int sock = mosquitto_socket(c.mosq);
    if (sock < 0) return MOSQ_ERR_NO_CONN;
    pollfd fds[2] = {{sock, static_cast<short>(POLLIN | (mosquitto_want_write(c.mosq) ? POLLOUT : 0)), 0},
                     {c.wakeRead, POLLIN, 0}};
    if (poll(fds, 2, ms) < 0 && errno != EINTR) return MOSQ_ERR_ERRNO;
    if (fds[1].revents & POLLIN) {
        char b[256];
        while (read(c.wakeRead, b, sizeof b) > 0) {
        }
    }
    int rc = MOSQ_ERR_SUCCESS;
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) rc = mosquitto_loop_read(c.mosq, 1);
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_want_write(c.mosq)) rc = mosquitto_loop_write(c.mosq, 1);
    if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_misc(c.mosq);
    return rc;
}

std::string where(const Connection& c) { return c.options.host + ":" + std::to_string(c.options.port); }

std::string refusal(int rc) {
    switch (rc) {
    case 1: return "refused: protocol version not accepted";
    case 2: return "refused: client id not accepted";
    case 3: return "refused: broker unavailable";
    case 4: return "refused: bad user name or password";
    case 5: return "refused: not authorised";
    default: return "refused: code " + std::to_string(rc);
    }
}

// Why a connection could not be made or was lost, from libmosquitto's code.
std::string failure(const Connection& c, int rc, int error) {
    if (rc == MOSQ_ERR_TLS) return "TLS: certificate not trusted";
    if (rc == MOSQ_ERR_EAI) return "host name not found: " + c.options.host;
    if (rc == MOSQ_ERR_ERRNO && error == ECONNREFUSED) return "no broker at " + where(c) + " (connection refused)";
    if (rc == MOSQ_ERR_ERRNO && error) return "cannot reach " + where(c) + ": " + std::strerror(error);
    if (rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_NO_CONN) return "connection to " + where(c) + " lost";
    return std::string("cannot connect to ") + where(c) + ": " + mosquitto_strerror(rc);
}

std::string seconds_text(double s) { return std::to_string(static_cast<int>(s + 0.5)) + " s"; }

void on_connect(mosquitto*, void* obj, int rc) {
    auto* c = static_cast<Connection*>(obj);
    std::lock_guard<std::mutex> g(c->lock);
    c->connack = rc;
}

void on_publish(mosquitto*, void* obj, int) {
    auto* c = static_cast<Connection*>(obj);
    if (c->options.qos > 0) --c->unacknowledged;
}

// Waits `seconds` or until stopped; false when stopped.
bool pause(Connection& c, double seconds) {
    std::unique_lock<std::mutex> g(c.lock);
    return !c.wake.wait_for(g, std::chrono::duration<double>(seconds), [&] { return c.stop; });
}

bool stopping(Connection& c) {
    std::lock_guard<std::mutex> g(c.lock);
    return c.stop;
}

// The clean end: the last word retained, what waits sent, within the caller's time.
void finish(Connection& c) {
    {
        std::lock_guard<std::mutex> g(c.lock);
        if (c.connected && !c.lastTopic.empty()) queue_message(c, {c.lastTopic, c.lastPayload, true});
    }
    drain(c);
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(c.stopWait);
    while (c.connected && std::chrono::steady_clock::now() < until) {
        drain(c);
        {
            std::lock_guard<std::mutex> g(c.lock);
            if (c.queue.empty() && c.unacknowledged <= 0 && !mosquitto_want_write(c.mosq)) break;
        }
        if (turn(c, 20) != MOSQ_ERR_SUCCESS) break;
    }
    if (c.connected) {
        mosquitto_disconnect(c.mosq);
        for (int i = 0; i < 5 && mosquitto_want_write(c.mosq) && turn(c, 10) == MOSQ_ERR_SUCCESS; ++i) {
        }
    }
}

void run(Connection* cp) {
    Connection& c = *cp;
    double next = kFirstPause;
    for (int attempt = 1; !stopping(c); ++attempt) {
        {
            std::lock_guard<std::mutex> g(c.lock);
            c.state = "connecting to " + where(c) + " (attempt " + std::to_string(attempt) + ")";
            c.connack = -1;
        }
        errno = 0;
        int rc = mosquitto_connect(c.mosq, c.options.host.c_str(), c.options.port, kKeepAlive);
        int error = errno;
        std::string why;
        if (rc == MOSQ_ERR_SUCCESS) {
            // Up to the broker's answer.
            for (;;) {
                rc = turn(c, kLoopMs);
                error = errno;
                std::lock_guard<std::mutex> g(c.lock);
                if (rc != MOSQ_ERR_SUCCESS || c.connack >= 0 || c.stop) break;
            }
            int connack = -1;
            {
                std::lock_guard<std::mutex> g(c.lock);
                connack = c.connack;
            }
            if (rc == MOSQ_ERR_SUCCESS && connack == 0) {
                std::vector<Message> first;
                {
                    std::lock_guard<std::mutex> g(c.lock);
                    c.connected = true;
                    c.state = "connected to " + where(c);
                    for (const auto& [topic, payload] : c.retained) first.push_back({topic, payload, true});
                    if (c.dropped > c.droppedSaid && droppedText && !c.options.droppedTopic.empty()) {
                        first.push_back({c.options.droppedTopic, droppedText(c.dropped - c.droppedSaid), false});
                        c.droppedSaid = c.dropped;
                    }
                }
                for (const Message& m : first) hand_over(c, m);
                attempt = 0;
                next = kFirstPause;
                while (!stopping(c)) {
                    drain(c);
                    rc = turn(c, kLoopMs);
                    error = errno;
                    if (rc != MOSQ_ERR_SUCCESS) {
                        std::lock_guard<std::mutex> g(c.lock);
                        c.connected = false;
                        break;
                    }
                }
                if (stopping(c)) break;
                why = failure(c, rc, error);
            } else if (connack > 0) {
                why = refusal(connack);
                mosquitto_disconnect(c.mosq);
            } else if (stopping(c)) {
                break;
            } else {
                why = failure(c, rc, error);
            }
        } else {
            why = failure(c, rc, error);
        }
        {
            std::lock_guard<std::mutex> g(c.lock);
            c.state = why + " (attempt " + std::to_string(std::max(attempt, 1)) + ", next in " + seconds_text(next) + ")";
        }
        if (!pause(c, next)) break;
        next = std::min(kLastPause, next * 2.0);
    }
    finish(c);
    mosquitto_destroy(c.mosq);
    std::lock_guard<std::mutex> g(c.lock);
    close(c.wakeRead);
    close(c.wakeWrite);
    c.wakeRead = c.wakeWrite = -1;
    c.connected = false;
    c.state = "off";
    c.finished = true;
    c.done.notify_all();
}

}  // namespace

bool MqttStart(const MqttOptions& options) {
    MqttStop("", "", 0.0);
    static bool initialised = (mosquitto_lib_init(), true);
    (void)initialised;
    auto* c = new Connection;
    c->options = options;
    c->mosq = mosquitto_new(options.clientId.empty() ? nullptr : options.clientId.c_str(), true, c);
    auto refuse = [&](const std::string& why) {
        if (c->mosq) mosquitto_destroy(c->mosq);
        if (c->wakeRead >= 0) close(c->wakeRead);
        if (c->wakeWrite >= 0) close(c->wakeWrite);
        c->wakeRead = c->wakeWrite = -1;
        c->state = why;
        c->finished = true;
        std::lock_guard<std::mutex> g(currentLock);
        current = c;
        return false;
    };
    if (!c->mosq) return refuse("cannot make a client: " + std::string(std::strerror(errno)));
    int wake[2];
    if (pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) return refuse("cannot make a pipe: " + std::string(std::strerror(errno)));
    c->wakeRead = wake[0];
    c->wakeWrite = wake[1];
    mosquitto_int_option(c->mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(c->mosq, on_connect);
    mosquitto_publish_callback_set(c->mosq, on_publish);
    if (!options.username.empty() &&
        mosquitto_username_pw_set(c->mosq, options.username.c_str(),
                                  options.password.empty() ? nullptr : options.password.c_str()) != MOSQ_ERR_SUCCESS)
        return refuse("the user name is not usable");
    if (!options.willTopic.empty() &&
        mosquitto_will_set(c->mosq, options.willTopic.c_str(), static_cast<int>(options.willPayload.size()),
                           options.willPayload.data(), options.qos, true) != MOSQ_ERR_SUCCESS)
        return refuse("the status topic is not usable: " + options.willTopic);
    if (options.tls) {
        auto opt = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
        int rc = mosquitto_tls_set(c->mosq, opt(options.caFile), options.caFile.empty() ? "/etc/ssl/certs" : nullptr,
                                   opt(options.certFile), opt(options.keyFile), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) return refuse("TLS: " + std::string(mosquitto_strerror(rc)));
    }
    {
        std::lock_guard<std::mutex> g(currentLock);
        current = c;
    }
    std::thread(run, c).detach();
    return true;
}

void MqttRetain(const std::string& topic, const std::string& payload) {
    std::lock_guard<std::mutex> g(currentLock);
    if (!current || current->finished) return;
    std::lock_guard<std::mutex> h(current->lock);
    current->retained[topic] = payload;
    if (!current->connected) return;  // published at the connection
    queue_message(*current, {topic, payload, true});
    wake_up(*current);
}

void MqttPublish(const std::string& topic, const std::string& payload) {
    std::lock_guard<std::mutex> g(currentLock);
    if (!current || current->finished) return;
    std::lock_guard<std::mutex> h(current->lock);
    queue_message(*current, {topic, payload, false});
    if (current->connected) wake_up(*current);
}

void MqttStop(const std::string& lastTopic, const std::string& lastPayload, double waitSeconds) {
    Connection* c = nullptr;
    {
        std::lock_guard<std::mutex> g(currentLock);
        std::swap(c, current);
    }
    if (!c) return;
    std::unique_lock<std::mutex> h(c->lock);
    c->lastTopic = lastTopic;
    c->lastPayload = lastPayload;
    c->stopWait = waitSeconds;
    c->stop = true;
    c->wake.notify_all();
    wake_up(*c);
    // A connection attempt may hang on an unreachable host: the thread is then left to end on
    // its own (its connection is its own), and this caller goes on.
    if (c->done.wait_for(h, std::chrono::duration<double>(waitSeconds + 0.5), [&] { return c->finished; })) {
        h.unlock();
        delete c;
    }
}

std::string MqttStateText() {
    std::lock_guard<std::mutex> g(currentLock);
    if (!current) return "off";
    std::lock_guard<std::mutex> h(current->lock);
    return current->state;
}

bool MqttConnected() {
    std::lock_guard<std::mutex> g(currentLock);
    if (!current) return false;
    std::lock_guard<std::mutex> h(current->lock);
    return current->connected;
}

long long MqttDropped() {
    std::lock_guard<std::mutex> g(currentLock);
    if (!current) return 0;
    std::lock_guard<std::mutex> h(current->lock);
    return current->dropped;
}

std::size_t MqttQueued() {
    std::lock_guard<std::mutex> g(currentLock);
    if (!current) return 0;
    std::lock_guard<std::mutex> h(current->lock);
    return current->queue.size();
}

void MqttOnDropped(MqttDroppedText text) { droppedText = text; }
