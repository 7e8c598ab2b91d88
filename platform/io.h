// SPDX-License-Identifier: GPL-3.0-or-later
// Serial, formatting and file operations of the run-time layer.
//
// Names and argument orders follow the run-time the program was written against, so the
// routines above read as they always have. Nothing here exposes a Qt or POSIX type. Text
// (paths included) is UTF-8 on both sides; the layer converts only at the system's edge.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <memory>

constexpr std::size_t kMaxPathname = 260;  // a path and its terminating zero

// ---------------------------------------------------------------------------------------------
// Serial port

constexpr int kMaxPort = 96;  // port numbers run from 1 to 96

// Serial error values (ReturnRS232Err and the value behind _GetRs232Err).
constexpr int kRs232NoError = 0;
constexpr int kRs232BadPort = -2;      // port number outside 1..96
constexpr int kRs232NotOpen = -3;      // operation on a port that is not open
constexpr int kRs232CannotOpen = -7;   // the device could not be opened or configured
constexpr int kRs232WriteFailed = -8;  // the write did not complete within the time-out
constexpr int kRs232Timeout = -99;     // a read ended by its time-out

// Opens port `port` (device per the port-number mapping) and configures it. `name` ""
// means the default device for the port number. Sets the error state: 0 when open.
// An already open port is reconfigured. On failure one line on stderr names the device
// and the system's reason.
int OpenComConfig(int port, const char* name, long baud, int parity, int dataBits, int stopBits, int inputQueue,
                  int outputQueue);
// 1 once `port` has been opened and configured (it may have been lost since), else 0.
int ComPortConfigured(int port);
// Time-out of later reads and writes on `port`, in seconds.
int SetComTime(int port, double seconds);
// Discard output not yet sent / input not yet read.
int FlushOutQ(int port);
int FlushInQ(int port);
// Sends `count` bytes; returns the bytes written, negative on failure.
int ComWrt(int port, const char* buffer, int count);
// Reads until `terminator` (consumed, not stored), `maxCount` bytes, or the time-out since
// the read began, whichever comes first. Stores no terminating zero. Returns the bytes
// stored; a short read without terminator means the time-out was reached (error -99).
int ComRdTerm(int port, char* buffer, int maxCount, int terminator);
// 0 when the latest serial operation succeeded, negative otherwise.
int ReturnRS232Err();
// Address of the serial library's error state.
int* _GetRs232Err();

// The device file that port number `port` stands for, written into `device` (bounded).
// Returns 0, or kRs232BadPort for a number outside 1..96.
int ComPortDevice(int port, char* device, std::size_t size);

// What port number `port` stands for on this machine, for the operator's diagnosis.
struct ComPortInfo {
    char device[kMaxPathname];  // the device file (see ComPortDevice)
    bool exists;                // the device is there
    bool mayOpen;               // this user may read and write it
    char group[64];             // the group that owns it: the one to join when mayOpen is false
};
// Fills `info`; returns 0, or kRs232BadPort for a number outside 1..96.
int ComPortInfoOf(int port, ComPortInfo* info);

// ---------------------------------------------------------------------------------------------
// Formatting and scanning (locale independent)
//
// Format language: literals are copied; %d int, %f double, %s text, %c one character from
// an int; modifiers in brackets right after the letter: w<n> field width (right-aligned,
// blank-filled), p<n> digits after the point (6 when absent), e<n> scientific notation with
// n exponent digits. A scanning format may begin with "%s>" naming the source.

// One formatting argument: an int, a double or a text.
struct FmtArg {
    enum Kind { Int, Double, Text } kind;
    int i = 0;
    double d = 0.0;
    const char* s = nullptr;
    FmtArg(int v) : kind(Int), i(v) {}
    FmtArg(double v) : kind(Double), d(v) {}
    FmtArg(const char* v) : kind(Text), s(v) {}
    FmtArg(char* v) : kind(Text), s(v) {}
};

// One scanning target. A null target is matched as a number but not stored.
struct ScanArg {
    enum Kind { Int, Double } kind;
    void* p;
    ScanArg(int* v) : kind(Int), p(v) {}
    ScanArg(double* v) : kind(Double), p(v) {}
    ScanArg(std::nullptr_t) : kind(Double), p(nullptr) {}
};

// Core routines: format into `target` of `size` bytes (always zero-terminated, cut to fit);
// returns the length written. Scan returns the number of targets filled; a target whose
// text is not a number is not written and ends the scan.
int FmtV(char* target, std::size_t size, const char* format, std::initializer_list<FmtArg> args);
int ScanV(const char* source, const char* format, std::initializer_list<ScanArg> targets);

template <std::size_t N, class... A>
int Fmt(char (&target)[N], const char* format, A... args) {
    return FmtV(target, N, format, {FmtArg(args)...});
}
template <class... A>
int Scan(const char* source, const char* format, A... targets) {
    return ScanV(source, format, {ScanArg(targets)...});
}

// ---------------------------------------------------------------------------------------------
// Files

// access: 0 read/write, 1 read only, 2 write only; action: 0 truncate, 1 append, 2 as is;
// type: 1 text, 0 binary. Returns a handle > 0, negative on failure.
int OpenFile(const char* path, int access, int action, int type);
int CloseFile(int handle);
// Formats as Fmt and writes the text with one write call, so a written line reaches the
// operating system at once. Returns the bytes written; negative on failure, and then none of
// the text stays in the file.
int FmtFileV(int handle, const char* format, std::initializer_list<FmtArg> args);
// Writes `size` bytes with one write call: all of them, or none stays. 0 on success.
int WriteFileData(int handle, const char* data, std::size_t size);
// Scans the file from its current position as Scan does; the format may begin "%s>".
// Consumes what it read; returns the number of targets filled.
int ScanFileV(int handle, const char* format, std::initializer_list<ScanArg> targets);
// The file's next unread text without consuming it: at least `n` bytes where the file has
// them (*available tells how many), followed by a zero and 16 more readable bytes. Valid
// until the next operation on the file. Null for a bad handle.
const char* PeekFile(int handle, std::size_t n, std::size_t* available);
// Consumes `n` bytes of what PeekFile showed.
void SkipFile(int handle, std::size_t n);
// Moves the read position to `offset` bytes from the start (origin 0), from where it stands
// (1) or from the end (2); returns the new position from the start, negative on failure.
// SetFilePtr(h, 0, 1) tells the position.
long long SetFilePtr(int handle, long long offset, int origin);

// The file of a handle read through a window of its own, for a thread beside the program's:
// made on the program's thread, it never touches the handle or its position afterwards.
class FileReader {
public:
    // `chunk`: the bytes read at a time (a window holds up to that many).
    explicit FileReader(int handle, std::size_t chunk = 1 << 18);
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;
    bool ok() const;
    // As PeekFile and SkipFile.
    const char* peek(std::size_t n, std::size_t* available);
    void skip(std::size_t n);
    // The read position from the file's start, and a move to one.
    long long tell() const;
    void seek(long long offset);

private:
    struct Window;
    std::unique_ptr<Window> w_;
};

template <class... A>
int FmtFile(int handle, const char* format, A... args) {
    return FmtFileV(handle, format, {FmtArg(args)...});
}
template <class... A>
int ScanFile(int handle, const char* format, A... targets) {
    return ScanFileV(handle, format, {ScanArg(targets)...});
}

// Takes the open file's advisory lock (exclusive), held for as long as it stays open, so that
// no other pavro takes up a file one is still recording. 0 when taken, -1 when another holds it.
int LockFile(int handle);
// 1 when the file at `path` is held by LockFile in another open, 0 when not (or no such file).
int FileLockedElsewhere(const char* path);
// Cuts the file at `path` to `size` bytes. 0 on success.
int TruncateFile(const char* path, long long size);
// Renames a file, replacing `newPath` where it exists. 0 on success, negative otherwise.
int RenameFile(const char* oldPath, const char* newPath);
int DeleteFile(const char* path);
// The file `path` names once symbolic links are followed (the path itself when it is no
// link), into `target` (260 characters). Negative when it does not fit or a link is unreadable.
int ResolveLink(const char* path, char* target);
// Puts the finished file `newPath` in place of `path` so that a power cut leaves the one or
// the other whole: newPath's data reaches the device, it takes path's mode and owner, it is
// renamed over path, and the folder's new entry reaches the device. 0 on success;
// kReplaceKeepsOwner when path has an owner this process cannot give (nothing renamed);
// -1 on any other failure.
constexpr int kReplaceKeepsOwner = -2;
int ReplaceFileDurably(const char* newPath, const char* path);
// The file's data on the device. 0 on success.
int SyncFile(const char* path);
// Writes `data` as the whole new content of `path` as the settings file is written: a link
// is followed and its target written; the text goes beside it, reaches the device and is
// renamed over it, keeping the file's mode and owner (0600 when private). Where nothing can
// be made beside it, or the owner could not be kept, it is written in place. 0 on success.
int WriteFileDurably(const char* path, const char* data, std::size_t size, bool privateFile = false);

// Appends `data` to the file at `path` (made when missing) with one write: all of it, or none
// of it stays. 0 on success.
int AppendFileWhole(const char* path, const char* data, std::size_t size);

// Files of Qt's INI form: one key of a group and its value as text.
struct IniEntry {
    const char* key;
    char value[256];
    bool found;
};
// Reads the keys of [group] from the file at `path`. 0 when read; 1 when there is no such
// file (nothing found); negative when it could not be read or is not all of the form, with
// the keys that did read filled. A value with a comma comes back as written.
int IniReadGroup(const char* path, const char* group, IniEntry* entries, int count);
// Writes [group] with these keys and values first in the file, every other line after it as
// it was (lines before any group under [General]), with WriteFileDurably (private: mode
// 0600). 0 on success.
int IniWriteGroup(const char* path, const char* group, const IniEntry* entries, int count, bool privateFile = false);

// Keeps what is appended to the file at `path` reaching the device, so a power cut loses at most
// the last second: once a second a thread of its own syncs it (fdatasync) when it changed since
// it last did, never more often, so a slow disk holds up that thread and never the writer. The
// file may come later or be renamed away (a rotated log): whatever is at the path is taken.
void KeepFileSynced(const char* path);
// No longer, after a last sync of what was written (at the next second).
void StopFileSynced(const char* path);

// Stores the file's size in bytes; returns 1 when it exists, 0 when not (size 0).
int GetFileInfo(const char* path, long long* size);
// When the file was last written [ms since 1970 UTC]; -1 when there is no such file.
long long GetFileModified(const char* path);
// The user this process runs as and the machine's name, each cut to fit its 64 bytes.
void GetUserAndHost(char (&user)[64], char (&host)[64]);
// Whether `name` can name an instance: 1 to 64 letters, digits, '-' and '_' (no slash, no dot,
// no blank), so it is safe as a folder name, a window class and a topic level.
bool InstanceNameValid(const char* name);
// The instance this pavro runs as (PAVRO_INSTANCE, which the launcher's --instance sets), or ""
// when there is none or the name is not valid.
const char* InstanceName();
// The program's directory (the folder of the path it was started by, absolute, links not
// resolved), into a buffer of 260 characters. Returns 0, or negative when it does not fit.
int GetProjectDir(char* directory);
// Joins directory and name into `path` (260 characters). Negative when it does not fit.
int MakePathname(const char* directory, const char* name, char* path);

// ---------------------------------------------------------------------------------------------
// Time

// Seconds from a fixed origin on a steady clock.
double Timer();
// Blocks for `seconds` without processing events.
void Delay(double seconds);
// The local clock time now: form 0 "HH:MM:SS"; form 1 ISO 8601 with milliseconds and the UTC
// offset ("2026-12-10T14:32:05.123+01:00"); form 2 "YYYY-MM-DD HH:MM:SS". Returns the length
// written.
int LocalTimeText(char* out, std::size_t size, int form);
// The same for the moment `unixMs` (milliseconds since 1970 UTC).
int LocalTimeTextAt(long long unixMs, char* out, std::size_t size, int form);
// The wall clock: milliseconds since 1970 UTC.
long long UnixTimeMs();
