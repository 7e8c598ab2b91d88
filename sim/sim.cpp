// SPDX-License-Identifier: GPL-3.0-or-later
// The module simulator on a pseudo-terminal.
//
// A real module cannot answer before the command has crossed the wire, so every reply
// leaves no sooner than the command's wire time at 9600 baud after its last byte; the
// program's flush after its write therefore never races the reply.
#include "sim.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kByteTime = 10.0 / 9600.0;  // [s] start bit, 8 data bits, stop bit
constexpr std::size_t kMaxLine = 256;        // a longer command line is dropped

std::string num(double v, std::chars_format f, int precision) {
    char b[64];
    auto r = std::to_chars(b, b + sizeof b, v, f, precision);
    return std::string(b, r.ptr);
}

// Reads a number from `s` at `pos` after blanks, as the module's firmware would.
template <class T>
bool parseAt(const std::string& s, std::size_t pos, T& out) {
    while (pos < s.size() && s[pos] == ' ') ++pos;
    if (pos >= s.size()) return false;
    const char* b = s.data() + pos;
    if (*b == '+') ++b;
    return std::from_chars(b, s.data() + s.size(), out).ec == std::errc();
}

}  // namespace

struct Simulator::Impl {
    Options opt;
    mutable std::mutex mu;
    std::map<std::string, Fault> faults;
    std::vector<std::string> log;
    ModuleState st;
    double readingBase = 12.5;  // [ppm] in modes 0 and 1
    double u1 = 3.2;
    std::uint64_t rng;
    long m2Count = 0;
    int received = 0;
    double latency = 0.0;

    std::string link;
    std::string pty;
    int master = -1;
    int slave = -1;  // held open so the line stays raw and the master never sees EIO
    Clock::time_point returnAt{};
    bool returning = false;
    std::atomic<bool> stopping{false};
    std::atomic<bool> handling{false};  // a command is being answered
    std::FILE* logOut = nullptr;
    std::thread worker;

    explicit Impl(Options o) : opt(o), rng(o.seed * 0x9E3779B97F4A7C15ull + 1) {}

    double noise() {  // xorshift64*, in [-1, 1)
        rng ^= rng >> 12;
        rng ^= rng << 25;
        rng ^= rng >> 27;
        return static_cast<double>((rng * 0x2545F4914F6CDD1Dull) >> 11) / 4503599627370496.0 - 1.0;
    }

    bool openPty() {
        int m = posix_openpt(O_RDWR | O_NOCTTY);
        if (m < 0) return false;
        if (grantpt(m) != 0 || unlockpt(m) != 0) {
            close(m);
            return false;
        }
        char name[128];
        if (ptsname_r(m, name, sizeof name) != 0) {
            close(m);
            return false;
        }
        int s = open(name, O_RDWR | O_NOCTTY);
        if (s < 0) {
            close(m);
            return false;
        }
        termios t{};
        tcgetattr(s, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
        tcsetattr(s, TCSANOW, &t);
        // Link atomically: a program that opens the link meanwhile finds the old or the new pty.
        std::error_code ec;
        std::filesystem::path l(link), tmp = l;
        tmp += ".new";
        std::filesystem::create_directories(l.parent_path(), ec);
        std::filesystem::remove(tmp, ec);
        std::filesystem::create_symlink(name, tmp, ec);
        if (ec) {
            close(s);
            close(m);
            return false;
        }
        std::filesystem::rename(tmp, l, ec);
        if (ec) {
            close(s);
            close(m);
            return false;
        }
        std::lock_guard<std::mutex> g(mu);
        master = m;
        slave = s;
        pty = name;
        return true;
    }

    void closePty() {
        std::lock_guard<std::mutex> g(mu);
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
        master = slave = -1;
    }

    // The module's answer to one command line, and what the command changes.
    std::string answer(const std::string& c) {
        std::lock_guard<std::mutex> g(mu);
        if (c.size() == 2 && c[0] == 'u' && c[1] >= '1' && c[1] <= '6') {
            static const double others[7] = {0, 0, 24.5, 1013.2, 5.02, 0.87, 49.8};
            int i = c[1] - '0';
            double v = i == 1 ? u1 - st.zeroOffset + 0.05 * noise() : others[i] + 0.01 * noise();
            return "u" + num(v, std::chars_format::fixed, 3);
        }
        if (c == "m2") {
            ++m2Count;
            int w = st.s[0];
            bool mv = !(w & 0x10);
            double drift = 0.3 * std::sin(static_cast<double>(m2Count) / 20.0) + 0.02 * noise();
            double v = mv ? 250.0 + 10.0 * drift : readingBase + drift;
            return "M=" + num(v, std::chars_format::fixed, 4);
        }
        if (c.size() == 2 && c[0] == 's' && c[1] >= '0' && c[1] <= '8')
            return c + " " + std::to_string(st.s[c[1] - '0']);
        if (c == "t12") return "t12 " + std::to_string(opt.typeCode);
        if (c.size() == 2 && c[0] == 'd' && c[1] >= '1' && c[1] <= '3')
            return c + " " + num(st.d[c[1] - '0'], std::chars_format::scientific, 3);
        if (c.size() > 2 && c[0] == 'D' && c[1] >= '1' && c[1] <= '3') {
            double v;
            if (parseAt(c, 2, v)) st.d[c[1] - '0'] = v;
            st.stored = false;
            return c.substr(0, 2);
        }
        if (c.size() > 2 && c[0] == 'S' && (c[1] == '0' || c[1] == '8') && c[2] != '!') {
            int v;
            if (parseAt(c, 2, v)) st.s[c[1] - '0'] = v;
            st.word = st.s[0];
            st.stored = false;
            return c.substr(0, 2);
        }
        if (c == "S!S!") {
            st.stored = true;
            return "S!";
        }
        if (c == "VV") return "VV";
        if (c == "D?D?") {
            st.zeroOffset = 0.0;
            ++st.zeroResets;
            return "D?";
        }
        if (c == "D!D!") {
            st.zeroOffset = u1;
            ++st.zeroAdjusts;
            return "D!";
        }
        return "?";
    }

    // The command's name: a write command without the value it carries (D2, S0, S8).
    static std::string nameOf(const std::string& c) {
        bool carries = c.size() > 2 &&
                       ((c[0] == 'D' && c[1] >= '1' && c[1] <= '3') || (c[0] == 'S' && (c[1] == '0' || c[1] == '8')));
        return carries ? c.substr(0, 2) : c;
    }

    Fault faultFor(const std::string& c) {
        std::lock_guard<std::mutex> g(mu);
        auto it = faults.find(nameOf(c));
        if (it != faults.end()) return it->second;
        it = faults.find("*");
        return it != faults.end() ? it->second : Fault{};
    }

    // Waits until `t` to within a few microseconds: sleeps most of the way, then spins, so
    // the latency the simulator applies is the latency it means.
    static void waitUntil(Clock::time_point t) {
        auto early = t - std::chrono::microseconds(300);
        if (Clock::now() < early) std::this_thread::sleep_until(early);
        while (Clock::now() < t) {
        }
    }

    void send(const std::string& bytes, Clock::time_point at) {
        int fd;
        {
            std::lock_guard<std::mutex> g(mu);
            fd = master;
        }
        if (fd < 0) return;
        if (!opt.pace) {
            waitUntil(at);
            if (write(fd, bytes.data(), bytes.size()) < 0) return;
            return;
        }
        // Each byte leaves when it has fully crossed the wire.
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            waitUntil(at + std::chrono::duration_cast<Clock::duration>(
                               std::chrono::duration<double>(kByteTime * static_cast<double>(i + 1))));
            if (write(fd, &bytes[i], 1) < 0) return;
        }
    }

    void handle(const std::string& line, Clock::time_point lastByte) {
        int n;
        {
            std::lock_guard<std::mutex> g(mu);
            log.push_back(line);
            n = ++received;
        }
        if (logOut) {
            std::fprintf(logOut, "%s\n", line.c_str());
            std::fflush(logOut);
        }
        if (opt.hangupAfter >= 0 && n >= opt.hangupAfter) {
            opt.hangupAfter = -1;
            hangUpNow(opt.returnAfter);
            return;
        }
        if (opt.silentAfter >= 0 && n > opt.silentAfter) return;
        Fault f = faultFor(line);
        if (f.silent) return;
        std::string reply = answer(line);
        if (!f.reply.empty()) reply = f.reply;
        if (f.letter) reply[0] = f.letter;
        if (f.overlong) reply.resize(30, '0');
        if (f.garbage) reply = std::string("\x00\xff\x01\x00\x80garbage\x00\x7f", 14);
        if (!f.noCR) reply += '\r';
        double wait = (opt.latency >= 0 ? opt.latency : kByteTime * static_cast<double>(line.size() + 1)) + f.delay;
        {
            std::lock_guard<std::mutex> g(mu);
            latency = wait;
        }
        send(reply, lastByte + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(wait)));
    }

    void hangUpNow(double returnAfterSeconds) {
        closePty();
        std::lock_guard<std::mutex> g(mu);
        returning = returnAfterSeconds >= 0;
        if (returning)
            returnAt = Clock::now() +
                       std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(returnAfterSeconds));
    }

    void run() {
        std::string line;
        char buf[256];
        while (!stopping) {
            int fd;
            bool back;
            {
                std::lock_guard<std::mutex> g(mu);
                fd = master;
                back = returning && Clock::now() >= returnAt;
            }
            if (fd < 0) {
                if (back) {
                    {
                        std::lock_guard<std::mutex> g(mu);
                        returning = false;
                    }
                    openPty();
                    line.clear();
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            handling = true;  // before the read, so the bytes are never unseen by idle()
            ssize_t got = read(fd, buf, sizeof buf);
            if (got <= 0) {
                handling = false;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            Clock::time_point now = Clock::now();
            for (ssize_t i = 0; i < got; ++i) {
                if (buf[i] == '\r') {
                    handle(line, now);
                    line.clear();
                } else if (line.size() < kMaxLine) {
                    line += buf[i];
                }
            }
            handling = false;
        }
    }

    // Nothing being answered, no command waiting to be read, no pty about to come back.
    bool idle() {
        if (handling) return false;
        std::lock_guard<std::mutex> g(mu);
        if (returning) return false;
        int waiting = 0;
        return master < 0 || (ioctl(master, FIONREAD, &waiting) == 0 && waiting == 0 && !handling);
    }
};

Simulator::Simulator(Options options) : impl_(std::make_unique<Impl>(options)) {}

Simulator::~Simulator() { stop(); }

bool Simulator::start(const std::string& link) {
    impl_->link = link;
    if (!impl_->opt.logFile.empty() && !impl_->logOut) impl_->logOut = std::fopen(impl_->opt.logFile.c_str(), "a");
    if (!impl_->openPty()) return false;
    impl_->stopping = false;
    impl_->worker = std::thread([this] { impl_->run(); });
    // A real module answers in its own time whatever the host is doing: where the system
    // allows it, the simulator's thread runs before ordinary work, so a loaded machine does
    // not make it late. Refused (an ordinary user), it runs as any thread does.
    sched_param prio{};
    prio.sched_priority = sched_get_priority_min(SCHED_FIFO);
    pthread_setschedparam(impl_->worker.native_handle(), SCHED_FIFO, &prio);
    return true;
}

void Simulator::stop() {
    if (!impl_->worker.joinable()) return;
    impl_->stopping = true;
    impl_->worker.join();
    impl_->closePty();
    std::error_code ec;
    std::filesystem::remove(impl_->link, ec);
    if (impl_->logOut) std::fclose(impl_->logOut);
    impl_->logOut = nullptr;
}

std::string Simulator::ptyPath() const {
    std::lock_guard<std::mutex> g(impl_->mu);
    return impl_->pty;
}

void Simulator::setFault(const std::string& command, const Fault& f) {
    std::lock_guard<std::mutex> g(impl_->mu);
    impl_->faults[command] = f;
}

void Simulator::clearFaults() {
    std::lock_guard<std::mutex> g(impl_->mu);
    impl_->faults.clear();
    impl_->opt.silentAfter = -1;
}

void Simulator::hangUp(double returnAfter) { impl_->hangUpNow(returnAfter); }

void Simulator::hangUpAfter(int commands, double returnAfter) {
    std::lock_guard<std::mutex> g(impl_->mu);
    impl_->opt.hangupAfter = impl_->received + commands;
    impl_->opt.returnAfter = returnAfter;
}

void Simulator::silentAfter(int commands) {
    std::lock_guard<std::mutex> g(impl_->mu);
    impl_->opt.silentAfter = impl_->received + commands;
}

bool Simulator::waitIdle(double seconds) {
    auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (!impl_->idle()) {
        if (Clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::vector<std::string> Simulator::commands() const {
    std::lock_guard<std::mutex> g(impl_->mu);
    return impl_->log;
}

void Simulator::clearCommands() {
    std::lock_guard<std::mutex> g(impl_->mu);
    impl_->log.clear();
}

double Simulator::lastLatency() const {
    std::lock_guard<std::mutex> g(impl_->mu);
    return impl_->latency;
}

ModuleState Simulator::state() const {
    std::lock_guard<std::mutex> g(impl_->mu);
    ModuleState s = impl_->st;
    s.word = s.s[0];
    return s;
}

void Simulator::setReading(double base) {
    std::lock_guard<std::mutex> g(impl_->mu);
    impl_->readingBase = base;
}

void Simulator::setU1(double value) {
    std::lock_guard<std::mutex> g(impl_->mu);
    impl_->u1 = value;
}

bool parseFault(const std::string& option, std::string& command, Fault& f) {
    auto colon = option.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    command = option.substr(0, colon);
    std::string kind = option.substr(colon + 1), value;
    auto eq = kind.find('=');
    if (eq != std::string::npos) {
        value = kind.substr(eq + 1);
        kind = kind.substr(0, eq);
    }
    if (kind == "silent")
        f.silent = true;
    else if (kind == "long")
        f.overlong = true;
    else if (kind == "nocr")
        f.noCR = true;
    else if (kind == "garbage")
        f.garbage = true;
    else if (kind == "letter" && value.size() == 1)
        f.letter = value[0];
    else if (kind == "reply" && !value.empty() && value.find('\r') == std::string::npos)
        f.reply = value;
    else if (kind == "delay" && !value.empty()) {
        char* end = nullptr;
        f.delay = std::strtod(value.c_str(), &end);
        if (*end || f.delay < 0) return false;
    } else
        return false;
    return true;
}

}  // namespace sim
