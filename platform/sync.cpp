// SPDX-License-Identifier: GPL-3.0-or-later
// Files kept synced: a thread that once a second puts on the device what was appended to the
// files it watches. The program's thread only hands it paths; it never waits on the disk.
#include "io.h"
#include "seams.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Syncer;
Syncer& syncer();

std::atomic<platform::Disk*> disk{nullptr};

int datasync(int fd) {
    platform::Disk* d = disk.load();
    return d ? d->datasync(fd) : ::fdatasync(fd);
}

class Syncer {
public:
    // At the program's end, the last syncs and the thread's end; a forked child, which has no
    // such thread, leaves it.
    void finish() {
        if (::getpid() != owner_) return;
        {
            std::lock_guard<std::mutex> lock(m_);
            quit_ = true;
        }
        cv_.notify_one();
        if (thread_.joinable()) thread_.join();
    }
    void ask(const char* path, bool keep) {
        if (!path || !*path) return;
        std::lock_guard<std::mutex> lock(m_);
        asked_.emplace_back(path, keep);
        if (!thread_.joinable()) {
            owner_ = ::getpid();
            thread_ = std::thread([this] { run(); });
            std::atexit([] { syncer().finish(); });
        }
    }

private:
    struct File {
        std::string path;
        int fd = -1;
        dev_t dev = 0;
        ino_t ino = 0;
        off_t synced = -1;  // the size at the last sync; -1 none since it was opened
        bool stopping = false;
    };

    std::mutex m_;
    std::condition_variable cv_;
    std::vector<std::pair<std::string, bool>> asked_;  // paths to keep (true) or to stop (false)
    bool quit_ = false;
    pid_t owner_ = 0;
    std::thread thread_;
    std::vector<File> files_;  // the thread's own

    static void syncIfChanged(File& f) {
        struct stat st {};
        if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || st.st_size == f.synced) return;
        if (datasync(f.fd) == 0) f.synced = st.st_size;
    }
    static void close(File& f) {
        if (f.fd >= 0) ::close(f.fd);
        f.fd = -1;
    }
    // The file now at the path: a new one (rotated, made since) replaces the one held, after
    // what was written to the old one is synced.
    static void follow(File& f) {
        struct stat st {};
        if (::stat(f.path.c_str(), &st) != 0) return;
        if (f.fd >= 0 && st.st_dev == f.dev && st.st_ino == f.ino) return;
        syncIfChanged(f);
        close(f);
        f.fd = ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (f.fd >= 0 && ::fstat(f.fd, &st) == 0) {
            f.dev = st.st_dev;
            f.ino = st.st_ino;
        }
        f.synced = -1;
    }
    void take(std::vector<std::pair<std::string, bool>>& asked) {
        for (auto& [path, keep] : asked) {
            File* found = nullptr;
            for (File& f : files_)
                if (f.path == path) found = &f;
            if (found)
                found->stopping = !keep;
            else if (keep)
                files_.push_back(File{path});
        }
        asked.clear();
    }
    // Once a second, every file: the rounds begin at least a second apart, so no file is synced
    // more often, however long a sync takes.
    void run() {
        std::vector<std::pair<std::string, bool>> asked;
        auto next = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        bool last = false;
        while (!last) {
            {
                std::unique_lock<std::mutex> lock(m_);
                cv_.wait_until(lock, next, [this] { return quit_; });
                last = quit_;
                asked.swap(asked_);
            }
            auto began = std::chrono::steady_clock::now();
            take(asked);
            for (File& f : files_) {
                follow(f);
                syncIfChanged(f);
                if (f.stopping || last) close(f);
            }
            std::erase_if(files_, [](const File& f) { return f.fd < 0 && f.stopping; });
            next = began + std::chrono::seconds(1);
        }
    }
};

// Never destroyed: finish() ends its thread at exit.
Syncer& syncer() {
    static Syncer* s = new Syncer;
    return *s;
}

}  // namespace

void KeepFileSynced(const char* path) { syncer().ask(path, true); }
void StopFileSynced(const char* path) { syncer().ask(path, false); }

namespace platform {
void useDisk(Disk* d) { disk.store(d); }
}  // namespace platform
