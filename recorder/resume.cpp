// SPDX-License-Identifier: GPL-3.0-or-later
#include "resume.h"

#include "io.h"
#include "recording_line.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

bool last_path(char (&path)[kMaxPathname]) {
    char dir[kMaxPathname];
    return GetProjectDir(dir) == 0 && MakePathname(dir, kLastRecordingFile, path) == 0;
}

ResumeCheck refused(ResumeCheck c, const std::string& why) {
    c.resumable = false;
    c.why = why;
    return c;
}

struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

void last_recording_remember(const char* path) {
    char at[kMaxPathname];
    if (!path || !last_path(at)) return;
    std::string line = std::string(path) + "\n";
    WriteFileDurably(at, line.data(), line.size());
}

ResumeCheck resume_check() {
    char at[kMaxPathname];
    if (!last_path(at)) return {};
    std::unique_ptr<std::FILE, Closer> f(std::fopen(at, "rb"));
    if (!f) return {};  // nothing recorded to a file yet
    char path[kMaxPathname + 2] = "";
    if (!std::fgets(path, sizeof path, f.get())) return {};
    std::size_t n = std::strlen(path);
    if (n == 0 || path[n - 1] != '\n' || n > kMaxPathname) return refused({}, std::string(kLastRecordingFile) + " is garbled");
    path[n - 1] = '\0';
    return resume_check_file(path);
}

ResumeCheck resume_check_file(const char* path) {
    ResumeCheck c;
    c.path = path;
    std::string why;
    int r = info_read(path, &c.info, &why);
    if (r == 0) return refused(c, "it has no recording info");
    if (r < 0) return refused(c, "its recording info is unusable: " + why);
    if (c.info.ended) return c;  // it ended as it should: nothing to take up, nothing to say
    if (!GetFileInfo(path, &c.size)) return refused(c, "the file is gone");
    if (FileLockedElsewhere(path)) return refused(c, "another pavro is recording it");
    std::unique_ptr<std::FILE, Closer> f(std::fopen(path, "r+b"));
    if (!f) return refused(c, "the file cannot be written");
    long long modified = GetFileModified(path);
    if (modified >= 0 && modified + 1000 < c.info.startUnixMs)
        return refused(c, "the file is older than its recording: rewritten by another program");
    // Every whole line one of the recorder's, its times never going back: read through a window
    // (the file may be of any size), the zeros after its text letting the line reader look ahead.
    constexpr std::size_t kWindow = 1 << 16;
    std::vector<char> text(kWindow + 17);
    std::size_t have = 0, at = 0;
    long long passed = 0;  // the file's bytes before the window
    long long previous = -1;
    auto foreign = [&] {
        return refused(c, "line " + std::to_string(c.samples + 1) +
                              " is none of this recording's: rewritten by another program");
    };
    for (;;) {
        std::size_t got = std::fread(text.data() + have, 1, kWindow - have, f.get());
        have += got;
        std::memset(text.data() + have, 0, 17);
        at = 0;
        for (const char* nl; (nl = static_cast<const char*>(std::memchr(text.data() + at, '\n', have - at)));) {
            std::size_t end = static_cast<std::size_t>(nl - text.data());
            RecordingLineFields fields{};
            std::size_t n = recording_line_length(text.data() + at, &fields);
            if (n == 0 || end != at + n + 1 || text[at + n] != ' ' || fields.tenths < previous)
                return foreign();
            previous = fields.tenths;
            ++c.samples;
            at = end + 1;
        }
        if (got == 0) break;  // the end: what is left is a half line
        if (at == 0 && have == kWindow)
            return foreign();
        std::memmove(text.data(), text.data() + at, have - at);
        passed += static_cast<long long>(at);
        have -= at;
    }
    if (std::ferror(f.get())) return refused(c, "the file cannot be read");
    c.keep = passed + static_cast<long long>(at);
    c.last_s = previous < 0 ? 0.0 : static_cast<double>(previous) / 10.0;
    if (modified >= 0 && c.info.startUnixMs + static_cast<long long>(c.last_s * 1000.0) > modified + 5000)
        return refused(c, "its last time lies after the file's last change: rewritten by another program");
    c.resumable = true;
    return c;
}
