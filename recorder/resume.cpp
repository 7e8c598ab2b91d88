// SPDX-License-Identifier: GPL-3.0-or-later
#include "resume.h"

#include "io.h"
#include "recording_line.h"

#include <cstdio>
#include <cstring>
#include <memory>

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
    // Every whole line one of the recorder's, its times never going back; the zeros after the
    // text let the line reader look ahead.
    std::string text(static_cast<std::size_t>(c.size) + 17, '\0');
    if (std::fread(text.data(), 1, static_cast<std::size_t>(c.size), f.get()) != static_cast<std::size_t>(c.size))
        return refused(c, "the file cannot be read");
    std::size_t at = 0, size = static_cast<std::size_t>(c.size);
    long long previous = -1;
    for (std::size_t nl; (nl = text.find('\n', at)) < size; at = nl + 1) {
        RecordingLineFields fields{};
        std::size_t n = recording_line_length(text.data() + at, &fields);
        if (n == 0 || nl != at + n + 1 || text[at + n] != ' ' || fields.tenths < previous)
            return refused(c, "line " + std::to_string(c.samples + 1) +
                                  " is none of this recording's: rewritten by another program");
        previous = fields.tenths;
        ++c.samples;
    }
    c.keep = static_cast<long long>(at);
    c.last_s = previous < 0 ? 0.0 : static_cast<double>(previous) / 10.0;
    if (modified >= 0 && c.info.startUnixMs + static_cast<long long>(c.last_s * 1000.0) > modified + 5000)
        return refused(c, "its last time lies after the file's last change: rewritten by another program");
    c.resumable = true;
    return c;
}
