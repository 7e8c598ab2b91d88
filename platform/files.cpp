// SPDX-License-Identifier: GPL-3.0-or-later
// Files and paths. Reads are buffered; every FmtFile is one unbuffered write, so a line that
// was written has reached the operating system even if the process is killed right after.
#include "format_internal.h"
#include "platform_internal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QDateTime>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr std::size_t kReadChunk = 1 << 16;

struct FileRec {
    QFile file;
    // The text, a zero after it, and room for a reader of PeekFile to look 16 bytes past it.
    std::unique_ptr<char[]> buf{new char[kReadChunk + 17]()};
    std::size_t pos = 0;
    std::size_t len = 0;
    bool eof = false;

    // Makes at least n unread bytes available where the file has them.
    void ensure(std::size_t n) {
        if (len - pos >= n || eof) return;
        std::memmove(buf.get(), buf.get() + pos, len - pos);
        len -= pos;
        pos = 0;
        while (len < n && !eof) {
            qint64 got = file.read(buf.get() + len, static_cast<qint64>(kReadChunk - len));
            if (got <= 0)
                eof = true;
            else
                len += static_cast<std::size_t>(got);
        }
        buf[len] = '\0';
    }
    // Drops read-ahead so the file position is where the reader stands (before a write).
    void dropReadAhead() {
        if (len > pos) file.seek(file.pos() - static_cast<qint64>(len - pos));
        pos = len = 0;
        eof = false;
        buf[0] = '\0';
    }
};

struct FileSource {
    FileRec* r;
    int peek() { return r->pos < r->len ? static_cast<unsigned char>(r->buf[r->pos]) : peekAt(0); }
    int peekAt(int k) {
        r->ensure(static_cast<std::size_t>(k) + 1);
        std::size_t at = r->pos + static_cast<std::size_t>(k);
        return at < r->len ? static_cast<unsigned char>(r->buf[at]) : -1;
    }
    void next() {
        if (r->pos < r->len)
            ++r->pos;
        else if (r->ensure(1), r->pos < r->len)
            ++r->pos;
    }
};

std::vector<std::unique_ptr<FileRec>> files;  // handle h is files[h - 1]

FileRec* record(int handle) {
    if (handle <= 0 || static_cast<std::size_t>(handle) > files.size()) return nullptr;
    return files[static_cast<std::size_t>(handle) - 1].get();
}

QString projectDirOverride;

}  // namespace

int OpenFile(const char* path, int access, int action, int type) {
    if (!path || !*path) return -1;
    auto rec = std::make_unique<FileRec>();
    rec->file.setFileName(QString::fromUtf8(path));
    QIODevice::OpenMode mode = QIODevice::Unbuffered;
    if (access == 1)
        mode |= QIODevice::ReadOnly;
    else if (access == 2)
        mode |= QIODevice::WriteOnly;
    else
        mode |= QIODevice::ReadWrite;
    if (access != 1) {
        if (action == 0)
            mode |= QIODevice::Truncate;
        else if (action == 1)
            mode |= QIODevice::Append;
    }
    // Text mode matters for writing (line ends as the platform has them); the reader skips
    // carriage returns as blanks, so reads go untranslated, at full speed.
    if (type == 1 && access != 1) mode |= QIODevice::Text;
    if (QFileInfo(rec->file.fileName()).isDir() || !rec->file.open(mode)) return -1;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!files[i]) {
            files[i] = std::move(rec);
            return static_cast<int>(i) + 1;
        }
    }
    files.push_back(std::move(rec));
    return static_cast<int>(files.size());
}

int CloseFile(int handle) {
    FileRec* r = record(handle);
    if (!r) return -1;
    r->file.close();
    files[static_cast<std::size_t>(handle) - 1].reset();
    return 0;
}

long long SetFilePtr(int handle, long long offset, int origin) {
    FileRec* r = record(handle);
    if (!r || origin < 0 || origin > 2) return -1;
    long long here = r->file.pos() - static_cast<long long>(r->len - r->pos);
    if (origin == 1 && offset == 0) return here;
    long long target = offset + (origin == 0 ? 0 : origin == 1 ? here : r->file.size());
    if (target < 0) return -1;
    r->pos = r->len = 0;
    r->eof = false;
    r->buf[0] = '\0';
    return r->file.seek(target) ? target : -1;
}

int FmtFileV(int handle, const char* format, std::initializer_list<FmtArg> args) {
    FileRec* r = record(handle);
    if (!r) return -1;
    char small[512];
    fmtlang::Sink out{small, sizeof small, 0};
    fmtlang::format(out, format ? format : "", args.begin(), args.size());
    std::vector<char> big;
    const char* text = small;
    if (out.len >= sizeof small) {  // a long text: format again into room of its own
        big.resize(out.len + 1);
        fmtlang::Sink again{big.data(), big.size(), 0};
        fmtlang::format(again, format, args.begin(), args.size());
        text = big.data();
    }
    r->dropReadAhead();
    qint64 at = r->file.pos();
    qint64 n = r->file.write(text, static_cast<qint64>(out.len));
    if (n == static_cast<qint64>(out.len)) return static_cast<int>(n);
    // A full disk or a size limit cut the text short: take back what part of it was
    // written, so the file holds whole lines only.
    r->file.resize(at);
    return -1;
}

int WriteFileData(int handle, const char* data, std::size_t size) {
    FileRec* r = record(handle);
    if (!r || !data) return -1;
    r->dropReadAhead();
    qint64 at = r->file.pos();
    if (r->file.write(data, static_cast<qint64>(size)) == static_cast<qint64>(size)) return 0;
    r->file.resize(at);
    return -1;
}

int ScanFileV(int handle, const char* format, std::initializer_list<ScanArg> targets) {
    FileRec* r = record(handle);
    if (!r) return -1;
    if (!format) format = "";
    if (fmtlang::plainReals(format)) {
        // Reading a recording: straight over the buffer, with room for any number it holds.
        r->ensure(4096);
        const char* p = r->buf.get() + r->pos;
        int filled = fmtlang::scanRealsFast(p, r->buf.get() + r->len, r->eof, format, targets.begin(), targets.size());
        if (filled >= 0) {
            r->pos = static_cast<std::size_t>(p - r->buf.get());
            return filled;
        }
    }
    FileSource src{r};
    return fmtlang::scan(src, format, targets.begin(), targets.size());
}

const char* PeekFile(int handle, std::size_t n, std::size_t* available) {
    FileRec* r = record(handle);
    if (!r) return nullptr;
    r->ensure(n);
    *available = r->len - r->pos;
    return r->buf.get() + r->pos;
}

void SkipFile(int handle, std::size_t n) {
    if (FileRec* r = record(handle)) r->pos += std::min(n, r->len - r->pos);
}

// The window of a FileReader: its own descriptor read with pread, so the handle's position
// and read-ahead stay the program thread's.
struct FileReader::Window {
    explicit Window(std::size_t size) : chunk(std::max<std::size_t>(size, 64)) {}
    const std::size_t chunk;
    int fd = -1;
#ifndef Q_OS_UNIX
    QFile file;
#endif
    std::unique_ptr<char[]> buf{new char[chunk + 17]()};
    std::size_t pos = 0, len = 0;
    long long at = 0;  // file offset of buf[len]
    bool eof = false;

    long long readAt(char* into, std::size_t n) {
#ifdef Q_OS_UNIX
        for (;;) {
            ssize_t got = ::pread(fd, into, n, static_cast<off_t>(at));
            if (got >= 0 || errno != EINTR) return got;
        }
#else
        return file.seek(at) ? file.read(into, static_cast<qint64>(n)) : -1;
#endif
    }
    void ensure(std::size_t n) {
        if (len - pos >= n || eof) return;
        std::memmove(buf.get(), buf.get() + pos, len - pos);
        len -= pos;
        pos = 0;
        while (len < n && !eof) {
            long long got = readAt(buf.get() + len, chunk - len);
            if (got <= 0) {
                eof = true;
            } else {
                len += static_cast<std::size_t>(got);
                at += got;
            }
        }
        buf[len] = '\0';
    }
};

FileReader::FileReader(int handle, std::size_t chunk) : w_(std::make_unique<Window>(chunk)) {
    FileRec* r = record(handle);
    if (!r) return;
#ifdef Q_OS_UNIX
    w_->fd = ::fcntl(r->file.handle(), F_DUPFD_CLOEXEC, 0);
#else
    w_->file.setFileName(r->file.fileName());
    if (w_->file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) w_->fd = 0;
#endif
}

FileReader::~FileReader() {
#ifdef Q_OS_UNIX
    if (w_->fd >= 0) ::close(w_->fd);
#endif
}

bool FileReader::ok() const { return w_->fd >= 0; }

const char* FileReader::peek(std::size_t n, std::size_t* available) {
    if (w_->fd < 0) return nullptr;
    w_->ensure(n);
    *available = w_->len - w_->pos;
    return w_->buf.get() + w_->pos;
}

void FileReader::skip(std::size_t n) { w_->pos += std::min(n, w_->len - w_->pos); }

long long FileReader::tell() const { return w_->at - static_cast<long long>(w_->len - w_->pos); }

void FileReader::seek(long long offset) {
    w_->at = std::max(offset, 0LL);
    w_->pos = w_->len = 0;
    w_->eof = false;
    w_->buf[0] = '\0';
}

int LockFile(int handle) {
    FileRec* r = record(handle);
    if (!r) return -1;
    return ::flock(r->file.handle(), LOCK_EX | LOCK_NB) == 0 ? 0 : -1;
}

int FileLockedElsewhere(const char* path) {
    if (!path) return 0;
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return 0;
    int held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // releases it where it was taken here
    return held ? 1 : 0;
}

int TruncateFile(const char* path, long long size) {
    if (!path || size < 0) return -1;
    return ::truncate(path, static_cast<off_t>(size)) == 0 ? 0 : -1;
}

int RenameFile(const char* oldPath, const char* newPath) {
    if (!oldPath || !newPath) return -1;
    return std::rename(oldPath, newPath) == 0 ? 0 : -1;  // replaces the target in one step
}

int ResolveLink(const char* path, char* target) {
    if (!path || !*path) return -1;
    std::error_code ec;
    std::filesystem::path p(path);
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(p, ec); ++hops) {
        std::filesystem::path next = std::filesystem::read_symlink(p, ec);
        if (ec) return -1;
        p = next.is_absolute() ? next : p.parent_path() / next;
    }
    std::string s = p.lexically_normal().string();
    if (s.size() >= kMaxPathname) return -1;
    std::memcpy(target, s.c_str(), s.size() + 1);
    return 0;
}

#ifdef Q_OS_UNIX
// The file's (or folder's) data and entry on the device; 0 on success.
static int syncPath(const char* path, int flags) {
    int fd = ::open(path, flags | O_CLOEXEC);
    if (fd < 0) return -1;
    int r = ::fsync(fd);
    ::close(fd);
    return r == 0 ? 0 : -1;
}
#endif

int SyncFile(const char* path) {
#ifdef Q_OS_UNIX
    return path ? syncPath(path, O_RDONLY) : -1;
#else
    return path ? 0 : -1;
#endif
}

int ReplaceFileDurably(const char* newPath, const char* path) {
    if (!newPath || !path) return -1;
#ifdef Q_OS_UNIX
    if (syncPath(newPath, O_RDONLY) != 0) return -1;
    struct stat old;
    if (::stat(path, &old) == 0) {
        struct stat made;
        if (::stat(newPath, &made) != 0) return -1;
        if ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) && ::chown(newPath, old.st_uid, old.st_gid) != 0)
            return kReplaceKeepsOwner;
        if (::chmod(newPath, old.st_mode & 07777) != 0) return -1;
    }
    if (std::rename(newPath, path) != 0) return -1;
    std::string dir = std::filesystem::path(path).parent_path().string();
    syncPath(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);  // the new entry, on the device
    return 0;
#else
    return RenameFile(newPath, path);
#endif
}

// Writes the whole of `data` into a new file `path` (mode 0600 when private); 1 when it could
// not be made, -1 when the data did not all reach it.
static int writeNew(const QString& path, const char* data, std::size_t size, bool privateFile) {
    QFile f(path);
    QFileDevice::Permissions own = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    bool made = privateFile ? f.open(QIODevice::WriteOnly | QIODevice::Truncate, own)
                            : f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (!made) return 1;
    bool ok = f.write(data, static_cast<qint64>(size)) == static_cast<qint64>(size) && f.flush();
    f.close();
    return ok && f.error() == QFileDevice::NoError ? 0 : -1;
}

int AppendFileWhole(const char* path, const char* data, std::size_t size) {
    if (!path || !data) return -1;
#ifdef Q_OS_UNIX
    int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    struct stat st;
    off_t before = ::fstat(fd, &st) == 0 ? st.st_size : -1;
    ssize_t n = ::write(fd, data, size);
    // A write cut short (a full disk) is taken back: the file never ends in half a line.
    if (n != static_cast<ssize_t>(size) && n > 0 && before >= 0 && ::ftruncate(fd, before) != 0) n = -1;
    ::close(fd);
    return n == static_cast<ssize_t>(size) ? 0 : -1;
#else
    QFile f(QString::fromUtf8(path));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) return -1;
    return f.write(data, static_cast<qint64>(size)) == static_cast<qint64>(size) ? 0 : -1;
#endif
}

int WriteFileDurably(const char* path, const char* data, std::size_t size, bool privateFile) {
    char target[kMaxPathname];
    if (!path || !data || ResolveLink(path, target) != 0) return -1;
    QString file = QString::fromUtf8(target);
    QString beside = file + QStringLiteral(".new");
    int made = writeNew(beside, data, size, privateFile);
    if (made == 0) {
        QByteArray b = beside.toUtf8();
        int r = ReplaceFileDurably(b.constData(), target);
        if (r == 0 && privateFile) QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        if (r == 0) return 0;
        QFile::remove(beside);
        if (r != kReplaceKeepsOwner) return -1;
    } else if (made < 0) {
        QFile::remove(beside);
        return -1;
    }
    // No new file beside it, or its owner not to be kept: written in place.
    if (writeNew(file, data, size, privateFile) != 0) return -1;
    return SyncFile(target);
}

int DeleteFile(const char* path) { return path && QFile::remove(QString::fromUtf8(path)) ? 0 : -1; }

long long GetFileModified(const char* path) {
    QFileInfo info(QString::fromUtf8(path ? path : ""));
    return path && *path && info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1;
}

int GetFileInfo(const char* path, long long* size) {
    QFileInfo info(QString::fromUtf8(path ? path : ""));
    bool exists = path && *path && info.exists() && !info.isDir();
    if (size) *size = exists ? info.size() : 0;
    return exists ? 1 : 0;
}

static int copyPath(const QString& s, char* out) {
    QByteArray b = s.toUtf8();
    if (static_cast<std::size_t>(b.size()) >= kMaxPathname) {
        out[0] = '\0';
        return -1;
    }
    std::memcpy(out, b.constData(), static_cast<std::size_t>(b.size()) + 1);
    return 0;
}

void GetUserAndHost(char (&user)[64], char (&host)[64]) {
    QByteArray u = qgetenv("USER");
#ifdef Q_OS_UNIX
    if (const passwd* pw = ::getpwuid(::geteuid())) u = pw->pw_name;
#endif
    QByteArray h = QSysInfo::machineHostName().toUtf8();
    std::snprintf(user, sizeof user, "%s", u.constData());
    std::snprintf(host, sizeof host, "%s", h.constData());
}

bool InstanceNameValid(const char* name) {
    if (!name) return false;
    std::size_t n = 0;
    for (; name[n]; ++n) {
        unsigned char c = static_cast<unsigned char>(name[n]);
        if (c >= 0x80 || n >= 64 || (!std::isalnum(c) && c != '-' && c != '_')) return false;
    }
    return n > 0;
}

const char* InstanceName() {
    static char name[65];
    const char* v = std::getenv("PAVRO_INSTANCE");
    std::snprintf(name, sizeof name, "%s", v && InstanceNameValid(v) ? v : "");
    return name;
}

int GetProjectDir(char* directory) { return copyPath(platform::projectDir(), directory); }

int MakePathname(const char* directory, const char* name, char* path) {
    QString dir = QString::fromUtf8(directory ? directory : "");
    QString joined = dir.isEmpty() ? QString::fromUtf8(name) : QDir(dir).filePath(QString::fromUtf8(name));
    return copyPath(QDir::toNativeSeparators(joined), path);
}

namespace platform {

// The folder of the path the program was started by, made absolute, links not resolved.
QString programDir() {
    const QString& arg0 = startPath();
    if (arg0.contains('/') || arg0.contains(QDir::separator())) {
        QFileInfo info(QDir::current(), arg0);
        return QDir::cleanPath(info.absolutePath());
    }
    QString found = QStandardPaths::findExecutable(arg0);
    if (!found.isEmpty()) return QFileInfo(found).absolutePath();
    return QCoreApplication::applicationDirPath();
}

QString projectDir() {
    static const QString started = programDir();
    return projectDirOverride.isEmpty() ? started : projectDirOverride;
}

void setProjectDirOverride(const QString& dir) { projectDirOverride = dir; }

}  // namespace platform
