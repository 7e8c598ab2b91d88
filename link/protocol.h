// SPDX-License-Identifier: GPL-3.0-or-later
// The module's command set as data, and pure readers of its replies: functions of the reply
// text alone, no port, no globals.
#pragma once

constexpr char kCR = 13;       // ends every command line and every reply
constexpr char kPercent = 37;  // lets one Fmt build the format of another

// How a reply to a command is known: by its first letter, by its echo of the command's text
// (every character before the carriage return), or not at all.
enum class ReplyForm { Unknown, Letter, Echo };

// The twelve commands, in the order of the table below.
enum Cmd {
    kCmdU,
    kCmdM2,
    kCmdVV,
    kCmdS,
    kCmdT12,
    kCmdD,
    kCmdDWrite,
    kCmdS0,
    kCmdS8,
    kCmdStore,
    kCmdZeroReset,
    kCmdZeroAdjust
};

struct Command {
    const char* name;    // as the module log shows it; i stands for the index digit
    const char* format;  // Fmt format of the command line, the carriage return last
    ReplyForm form;      // how its reply is known
    char letter;         // ReplyForm::Letter: the letter the reply begins with
    int value_at;        // where the reply's value stands (after any blanks); -1: none is read
    char type;           // the value: 'f' a double, 'd' an int
    const char* fills;   // where the value goes
};

// clang-format off
static const Command kCommands[] = {
    // name    format            form                letter  at  type  fills
    {"ui", "u%d%c", ReplyForm::Letter, 'u', 1, 'f', "wert[i], i = 1..6"},
    {"m2", "m2%c", ReplyForm::Letter, 'M', 2, 'f', "wert[7] (live poll) or mw (recorder)"},
    {"VV", "VV%c", ReplyForm::Echo, 0, -1, 0, "nothing: the reply is read and ignored"},
    {"si", "s%d%c", ReplyForm::Echo, 0, 2, 'd', "set[i], i = 0..8"},
    {"t12", "t12%c", ReplyForm::Echo, 0, 3, 'd', "set[12], the module-type code"},
    {"di", "d%d%c", ReplyForm::Echo, 0, 2, 'f', "ewert[i], i = 1..3"},
    {"Di", "D%d%f[e2p3]%c", ReplyForm::Unknown, 0, -1, 0, "nothing: sends ewert[i]"},
    {"S0", "S0%d%c", ReplyForm::Unknown, 0, -1, 0, "nothing: sends the settings word"},
    {"S8", "S8%d%c", ReplyForm::Unknown, 0, -1, 0, "nothing: sends set[8]"},
    {"S!S!", "S!S!%c", ReplyForm::Unknown, 0, -1, 0, "nothing: the module stores its settings"},
    {"D?D?", "D?D?%c", ReplyForm::Unknown, 0, -1, 0, "nothing: zero-point reset"},
    {"D!D!", "D!D!%c", ReplyForm::Unknown, 0, -1, 0, "nothing: zero-point adjust"},
};
// clang-format on

// True when `reply` echoes `command` (a command line as sent, up to its carriage return).
bool reply_echoes(const char* reply, const char* command);
// True when `reply` begins with the letter replies to `c` begin with.
bool reply_letter_ok(Cmd c, const char* reply);
// The command a command line was built from; kCmdZeroAdjust + 1 when it is none of them.
int command_of(const char* line);
// True when `reply` has the form of the reply to the command line `command`: its first letter
// for u and m2, its echo for s, t12, d and VV. Replies to the write and zero-point commands
// have no known form, so nothing is ever taken for one of them.
bool reply_of(const char* reply, const char* command);
// The value of a reply to `c`, read from its value position; false (and *value untouched)
// when no number stands there. `reply` is a reply buffer as the read leaves it (in_buf: 25
// bytes, zero-terminated at 24), read from the value position whatever stands before it.
bool reply_double(Cmd c, const char* reply, double* value);
bool reply_int(Cmd c, const char* reply, int* value);
