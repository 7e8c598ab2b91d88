// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the built programs as separate processes, as an operator or a script would.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

// Waits until `ready` holds, checking every 10 ms, for at most `seconds`; true when it held.
template <class F>
bool waitUntil(F ready, double seconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// What a shell command prints on its standard output.
inline std::string commandOutput(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char b[512];
        while (size_t n = fread(b, 1, sizeof b, p)) out.append(b, n);
        pclose(p);
    }
    return out;
}

// The text's lines, their line ends taken off.
inline std::vector<std::string> textLines(const std::string& text) {
    std::vector<std::string> out;
    std::string::size_type at = 0;
    for (std::string::size_type nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
        out.push_back(text.substr(at, nl - at));
    if (at < text.size()) out.push_back(text.substr(at));
    return out;
}

struct Process {
    pid_t pid = -1;

    Process() = default;
    Process(const Process&) = delete;
    Process(Process&& o) noexcept : pid(o.pid) { o.pid = -1; }
    Process& operator=(Process&& o) noexcept {
        std::swap(pid, o.pid);
        return *this;
    }

    // Starts argv[0] with `env` added ("NAME=value"); stdout and stderr go to `log`.
    static Process start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                         const std::string& log = "/dev/null") {
        Process p;
        p.pid = fork();
        if (p.pid == 0) {
            for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
            int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) {
                dup2(fd, 1);
                dup2(fd, 2);
            }
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        return p;
    }

    // The exit status, or -1 when it has not ended within `seconds` (it is then killed),
    // or 128 + signal when a signal ended it.
    int wait(double seconds) {
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        for (;;) {
            int status = 0;
            pid_t r = waitpid(pid, &status, WNOHANG);
            if (r == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() > end) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                pid = -1;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    ~Process() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
};

// An X server of its own for tests that need real windows.
struct VirtualDisplay {
    Process server;
    std::string name;  // ":N"

    bool start(const std::string& dir) {
        std::string fdfile = dir + "/display";
        // -displayfd writes the display number it took once the server is ready.
        server = Process::start(
            {"/bin/sh", "-c", "exec Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2>/dev/null"}, {}, fdfile);
        for (int i = 0; i < 200; ++i) {
            FILE* f = fopen(fdfile.c_str(), "r");
            int n = -1;
            if (f) {
                if (fscanf(f, "%d", &n) != 1) n = -1;
                fclose(f);
            }
            if (n >= 0) {
                name = ":" + std::to_string(n);
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return false;
    }
};
