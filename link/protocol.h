// SPDX-License-Identifier: GPL-3.0-or-later
// The module's reply forms, read as pure functions of the text: no port, no globals.
#pragma once

constexpr char kCR = 13;       // ends every command line and every reply
constexpr char kPercent = 37;  // lets one Fmt build the format of another

// True when `reply` echoes `command` (a command line as sent, up to its carriage return).
bool reply_echoes(const char* reply, const char* command);
// True when `reply` has the form of the reply to `command`: its first letter for u and m2,
// its echo for s, t12, d and VV. Replies to the write and zero-point commands have no form
// the program knows, so nothing is ever taken for one of them.
bool reply_of(const char* reply, const char* command);
