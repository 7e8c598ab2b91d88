// SPDX-License-Identifier: GPL-3.0-or-later
// Private to platform/ and its testing library: the places where a test puts its own side in
// place of the machine's. The shipped program runs the real side only; the scripted sides
// live in the testing library.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The clock Timer() and Delay() use.
struct Clock {
    virtual ~Clock() = default;
    virtual double now() = 0;  // [s] from a fixed origin
    virtual void sleep(double seconds) = 0;
};
// Null: the steady clock and a real sleep.
void useClock(Clock* clock);

// What FileSelectPopup was asked to show.
struct FileSelectArgs {
    std::string directory, defaultSpec, filters, title;
    int buttonLabel = 0, restrictExtension = 0, allowMakeDirectory = 0;
};

// The answers to the popups.
struct Popups {
    virtual ~Popups() = default;
    virtual void message(const char* title, const char* text) = 0;
    virtual int confirm(const char* title, const char* text) = 0;
    // 0 nothing chosen, negative an error, positive a path chosen into `path`.
    virtual int fileSelect(const FileSelectArgs& args, std::string* path) = 0;
    // Where a picture of a graph goes and how wide: 1 chosen, 0 cancelled.
    virtual int pictureSave(int graphWidth, std::string* path, int* width) = 0;
    // A form of these labels, `values` holding the fields' values: 1 applied with `values`
    // edited, 0 cancelled.
    virtual int form(const std::string& title, const std::vector<std::string>& labels,
                     std::vector<std::string>* values) = 0;
};
// Null: the real dialogs.
void usePopups(Popups* popups);
// True while popups are answered in place of the operator: nothing may wait for a person.
bool popupsReplaced();
// The answers in force, null for the real dialogs.
Popups* givenPopups();

// The far end of a serial port, in the same process.
struct Line {
    virtual ~Line() = default;
    virtual void write(const std::string& bytes) = 0;  // what the program sends
    virtual void flushIn() = 0;                        // drops what arrived before the latest write
    // Moves received bytes into `buffer` up to `terminator` (consumed, not stored) or
    // `maxCount`; *complete tells whether it got there. Never waits.
    virtual int read(char* buffer, int maxCount, int terminator, bool* complete) = 0;
};
// Null: the device behind the port number.
void useLine(int port, Line* line);

// A progress window shown after `showAfter` seconds (negative: as the program has it), and its
// Cancel pressed once the work reaches `cancelAt` (above 1: never); for the next progress only.
void progressScript(double cancelAt, double showAfter);
// Whether the last progress showed its window.
bool progressShown();

// The device's side of KeepFileSynced: what a sync of an open file does.
struct Disk {
    virtual ~Disk() = default;
    virtual int datasync(int fd) = 0;  // as fdatasync
};
// Null: fdatasync. Taken by the syncing thread at its next sync.
void useDisk(Disk* disk);

// The open log window asks its source now, as its timer does each second.
void refreshLogWindow();

}  // namespace platform
