// SPDX-License-Identifier: GPL-3.0-or-later
// Publishing benchmark against a Mosquitto broker of its own on a loopback port:
//  - the paced live poll (pavro-sim --pace) against its wire time, in turn with the publisher
//    listening and without, then again with the broker stopped (readings then wait in the queue);
//  - a reading's way from the feed to a subscriber: p50 and p99 latency;
//  - the longest time the program's thread spent handing a reading to the publisher.
// Usage: bench_publish SIM_BINARY MOSQUITTO WORKDIR
// And a site: N monitors' connections, each publishing a reading a second as pavro does, and a
// subscriber of all readings; what that costs the broker (its CPU share and memory).
// Usage: bench_publish site MOSQUITTO WORKDIR N SECONDS
#include "app.h"
#include "feed.h"
#include "handles.h"
#include "io.h"
#include "link.h"
#include "live.h"
#include "mqtt.h"
#include "publish.h"
#include "testing.h"
#include "ui.h"
#include "wire.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

pid_t spawn(const std::vector<std::string>& argv) {
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<const char*> args;
        for (const std::string& a : argv) args.push_back(a.c_str());
        args.push_back(nullptr);
        int null = open("/dev/null", 1);
        dup2(null, 1);
        dup2(null, 2);
        execv(args[0], const_cast<char**>(args.data()));
        _exit(127);
    }
    return pid;
}

void stop(pid_t pid) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

int free_port() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);
    return ntohs(a.sin_port);
}

double quantile(std::vector<double> v, double q) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())))];
}

// Times when each numbered reading arrived at a subscriber.
struct Arrivals {
    std::mutex lock;
    std::vector<double> at;
    std::atomic<bool> subscribed{false};
};

void on_message(mosquitto*, void* obj, const mosquitto_message* m) {
    double now = Timer();
    auto* a = static_cast<Arrivals*>(obj);
    std::string payload(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen));
    std::size_t v = payload.find("\"value\":");
    if (v == std::string::npos) return;
    long n = std::strtol(payload.c_str() + v + 8, nullptr, 10);
    std::lock_guard<std::mutex> g(a->lock);
    if (n >= 0 && static_cast<std::size_t>(n) < a->at.size()) a->at[static_cast<std::size_t>(n)] = now;
}

// The paced poll's median in turn without and with the publisher listening.
std::pair<double, double> paced_polls(int n) {
    std::vector<double> off, on;
    for (int i = 0; i < n; ++i) {
        feed_clear();
        if (i % 2) feed_on_reading(publish_reading);
        double t = Timer();
        holen();
        (i % 2 ? on : off).push_back(Timer() - t);
    }
    feed_clear();
    return {quantile(off, 0.5), quantile(on, 0.5)};
}

// The broker's CPU time so far [s], and its resident memory [MB].
double cpu_seconds(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::size_t close = text.rfind(')');
    if (close == std::string::npos) return 0.0;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::atof(field.c_str());
        if (i == 15) stime = std::atof(field.c_str());
    }
    return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double rss_mb(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(f, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0.0;
}

// One turn of every client's network work, through poll() (libmosquitto's own loop uses select(),
// which takes no descriptor past 1023, and 500 clients have more); false when one failed.
bool serve(const std::vector<mosquitto*>& clients) {
    std::vector<pollfd> fds(clients.size());
    for (std::size_t i = 0; i < clients.size(); ++i) {
        fds[i].fd = mosquitto_socket(clients[i]);
        fds[i].events = static_cast<short>(POLLIN | (mosquitto_want_write(clients[i]) ? POLLOUT : 0));
    }
    poll(fds.data(), fds.size(), 0);
    bool ok = true;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        if (fds[i].revents & POLLIN) ok = mosquitto_loop_read(clients[i], 1) == MOSQ_ERR_SUCCESS && ok;
        if (fds[i].revents & POLLOUT) ok = mosquitto_loop_write(clients[i], 1) == MOSQ_ERR_SUCCESS && ok;
        ok = mosquitto_loop_misc(clients[i]) == MOSQ_ERR_SUCCESS && ok;
    }
    return ok;
}

int site(const std::string& mosquittoBinary, const std::string& work, int monitors, double seconds) {
    int port = free_port();
    {
        std::ofstream conf(work + "/mosquitto.conf");
        conf << "listener " << port << " 127.0.0.1\nallow_anonymous true\npersistence false\n";
    }
    pid_t broker = spawn({mosquittoBinary, "-c", work + "/mosquitto.conf"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    mosquitto_lib_init();
    std::atomic<long> received{0};
    mosquitto* sub = mosquitto_new(nullptr, true, &received);
    mosquitto_message_callback_set(sub, [](mosquitto*, void* obj, const mosquitto_message*) {
        ++*static_cast<std::atomic<long>*>(obj);
    });
    mosquitto_connect(sub, "127.0.0.1", port, 60);
    mosquitto_subscribe(sub, nullptr, "site/+/reading", 1);
    mosquitto_loop_start(sub);
    std::vector<mosquitto*> clients;
    for (int i = 0; i < monitors; ++i) {
        std::string id = "pavro-bench-com" + std::to_string(i);
        std::string status = "site/" + std::to_string(i) + "/status";
        mosquitto* c = mosquitto_new(id.c_str(), true, nullptr);
        mosquitto_will_set(c, status.c_str(), 7, "offline", 1, true);
        if (mosquitto_connect(c, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS) {
            std::fprintf(stderr, "client %d could not connect\n", i);
            return 1;
        }
        mosquitto_publish(c, nullptr, status.c_str(), 6, "online", 1, true);
        clients.push_back(c);
    }
    for (int k = 0; k < 20; ++k) {
        serve(clients);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    double cpu0 = cpu_seconds(broker), t0 = Timer();
    long sent = 0, refused = 0, broken = 0;
    std::size_t bytes = 0;
    std::vector<double> next(clients.size());
    for (std::size_t i = 0; i < clients.size(); ++i) next[i] = t0 + static_cast<double>(i) / static_cast<double>(monitors);
    while (Timer() - t0 < seconds) {
        for (std::size_t i = 0; i < clients.size(); ++i) {
            double now = Timer();
            if (now >= next[i]) {
                next[i] += 1.0;
                FeedReading r{12.5 + static_cast<double>(sent % 97) / 97.0, true, kFeedPpm, kSourceLive, "ok", nullptr, 0.0};
                double aux[4] = {3.2, 1.0, 0.5, 49.8};
                r.aux = aux;
                std::string payload = reading_payload(r, "2026-12-10T14:32:05.123+01:00");
                std::string topic = "site/" + std::to_string(i) + "/reading";
                if (mosquitto_publish(clients[i], nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                                      1, false) != MOSQ_ERR_SUCCESS)
                    ++refused;
                ++sent;
                bytes += payload.size();
            }
        }
        if (!serve(clients)) ++broken;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    double elapsed = Timer() - t0, cpu = cpu_seconds(broker) - cpu0, rss = rss_mb(broker);
    for (int k = 0; k < 300 && received < sent; ++k) {
        serve(clients);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::printf("%d monitors, %.0f s: %ld readings sent (%ld refused, %ld turns with an error), %ld received by the subscriber\n",
                monitors, elapsed, sent, refused, broken, received.load());
    std::printf("RESULT monitors=%d messages_per_s=%.0f payload_kb_per_s=%.1f broker_cpu_percent=%.1f "
                "broker_rss_mb=%.1f received=%ld sent=%ld\n",
                monitors, static_cast<double>(sent) / elapsed, static_cast<double>(bytes) / elapsed / 1024.0,
                100.0 * cpu / elapsed, rss, received.load(), sent);
    std::fflush(stdout);
    kill(broker, SIGKILL);
    _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 6 && std::string(argv[1]) == "site") return site(argv[2], argv[3], std::atoi(argv[4]), std::atof(argv[5]));
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_publish SIM_BINARY MOSQUITTO WORKDIR\n");
        return 2;
    }
    std::string sim = argv[1], mosquittoBinary = argv[2], work = argv[3];
    seam::Init(argc, argv);
    std::filesystem::create_directories(work + "/ports");
    seam::SetProjectDir(work);
    std::filesystem::copy_file(PAVRO_BIN_DIR "/pavro_5.uir", work + "/pavro_5.uir",
                               std::filesystem::copy_options::overwrite_existing);
    int port = free_port();
    {
        std::ofstream conf(work + "/mosquitto.conf");
        conf << "listener " << port << " 127.0.0.1\nallow_anonymous true\npersistence false\nmax_queued_messages 0\n";
        std::ofstream ini(work + "/pavro-watch.ini");
        ini << "[mqtt]\nenabled=true\nhost=127.0.0.1\nport=" << port << "\nprefix=bench/o2\n";
    }
    pid_t broker = spawn({mosquittoBinary, "-c", work + "/mosquitto.conf"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    starten();
    feed_clear();
    std::string link = work + "/ports/com1";
    pid_t module = spawn({sim, "--link", link, "--pace"});
    for (int i = 0; i < 200 && !std::filesystem::is_symlink(link); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    OpenComConfig(1, "", 9600, 0, 8, 1, 128, 24);
    SetComTime(1, 0.6);
    com_nummer = 1;
    HidePanel(p4);
    feed_unit_setzen(kFeedPpm);
    publish_starten(1);
    for (int i = 0; i < 300 && !MqttConnected(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!MqttConnected()) {
        std::fprintf(stderr, "no broker: %s\n", MqttStateText().c_str());
        return 1;
    }

    // (a) the paced poll, publishing to a live broker.
    auto [offUp, onUp] = paced_polls(100);
    double wire = poll_wire_time();

    // (b) from the feed to a subscriber, and the program thread's time per reading.
    constexpr int kReadings = 5000;
    Arrivals arrivals;
    arrivals.at.assign(kReadings, -1.0);
    mosquitto_lib_init();
    mosquitto* sub = mosquitto_new(nullptr, true, &arrivals);
    mosquitto_message_callback_set(sub, on_message);
    mosquitto_subscribe_callback_set(sub, [](mosquitto*, void* obj, int, int, const int*) {
        static_cast<Arrivals*>(obj)->subscribed = true;
    });
    mosquitto_connect(sub, "127.0.0.1", port, 30);
    mosquitto_subscribe(sub, nullptr, "bench/o2/reading", 1);
    mosquitto_loop_start(sub);
    for (int i = 0; i < 300 && !arrivals.subscribed; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // In turn a reading handed to the publisher, and the same reading to no listener: the
    // latter is what the machine's scheduling alone costs the thread now and then.
    std::vector<double> sent(kReadings), handing, bare;
    auto wakeAt = std::chrono::steady_clock::now();
    for (int i = 0; i < kReadings; ++i) {
        FeedReading r{static_cast<double>(i), true, kFeedPpm, kSourceLive, "ok", nullptr, 0.0};
        feed_on_reading(publish_reading);
        double t = Timer();
        sent[static_cast<std::size_t>(i)] = t;
        feed_reading(r);
        handing.push_back(Timer() - t);
        feed_clear();
        t = Timer();
        feed_reading(r);
        bare.push_back(Timer() - t);
        // A reading every 2 ms: far more often than the module gives them, yet not a flood.
        wakeAt += std::chrono::milliseconds(2);
        std::this_thread::sleep_until(wakeAt);
    }
    feed_clear();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::vector<double> latency;
    int lost = 0;
    {
        std::lock_guard<std::mutex> g(arrivals.lock);
        for (int i = 0; i < kReadings; ++i) {
            double a = arrivals.at[static_cast<std::size_t>(i)];
            if (a < 0) ++lost;
            else latency.push_back(a - sent[static_cast<std::size_t>(i)]);
        }
    }
    mosquitto_disconnect(sub);
    mosquitto_loop_stop(sub, false);
    mosquitto_destroy(sub);

    // (c) the paced poll with the broker stopped: readings go to the queue.
    stop(broker);
    for (int i = 0; i < 300 && MqttConnected(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    auto [offDown, onDown] = paced_polls(100);
    publish_enden();
    stop(module);

    double p50 = quantile(latency, 0.5) * 1e3, p99 = quantile(latency, 0.99) * 1e3;
    double stall = *std::max_element(handing.begin(), handing.end()) * 1e3;
    double bareStall = *std::max_element(bare.begin(), bare.end()) * 1e3;
    std::printf("paced poll, broker up: %.2f ms without publishing, %.2f ms with; wire time %.2f ms\n", offUp * 1e3,
                onUp * 1e3, wire * 1e3);
    std::printf("paced poll, broker stopped: %.2f ms without, %.2f ms with\n", offDown * 1e3, onDown * 1e3);
    std::printf("reading to subscriber: p50 %.2f ms, p99 %.2f ms, %d of %d not arrived\n", p50, p99, lost, kReadings);
    std::printf("handing a reading over: p99 %.1f us, longest %.3f ms; to no listener: longest %.3f ms\n",
                quantile(handing, 0.99) * 1e6, stall, bareStall);
    std::printf("RESULT paced_over_wire=%.3f paced_over_wire_publishing=%.3f paced_over_wire_broker_down=%.3f "
                "paced_over_wire_publishing_broker_down=%.3f latency_p50_ms=%.2f latency_p99_ms=%.2f lost=%d "
                "stall_max_ms=%.3f stall_p99_ms=%.3f bare_stall_max_ms=%.3f\n",
                offUp / wire, onUp / wire, offDown / wire, onDown / wire, p50, p99, lost, stall,
                quantile(handing, 0.99) * 1e3, bareStall);
    std::fflush(stdout);
    _exit(0);
}
