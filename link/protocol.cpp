// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol.h"

#include "io.h"

#include <cstring>

// The echo: the reply begins with the command's own text, every character before the
// carriage return ("s4" for s4, "t12" for t12, "d2" for d2, "VV" for VV). The module puts
// the command it answers in front of the value, so the value position is the echo's length.
bool reply_echoes(const char* reply, const char* command) {
    std::size_t n = std::strcspn(command, "\r");
    return n > 0 && std::strncmp(reply, command, n) == 0;
}

bool reply_letter_ok(Cmd c, const char* reply) { return reply[0] == kCommands[c].letter; }

int command_of(const char* line) {
    const int none = kCmdZeroAdjust + 1;
    switch (line[0]) {
    case 'u':
        return kCmdU;
    case 'm':
        return kCmdM2;
    case 'V':
        return kCmdVV;
    case 's':
        return kCmdS;
    case 't':
        return kCmdT12;
    case 'd':
        return kCmdD;
    case 'D':
        return line[1] == '?' ? kCmdZeroReset : line[1] == '!' ? kCmdZeroAdjust : kCmdDWrite;
    case 'S':
        return line[1] == '0' ? kCmdS0 : line[1] == '8' ? kCmdS8 : line[1] == '!' ? kCmdStore : none;
    default:
        return none;
    }
}

bool reply_of(const char* reply, const char* command) {
    int c = command_of(command);
    if (c > kCmdZeroAdjust) return false;
    switch (kCommands[c].form) {
    case ReplyForm::Letter:
        return reply_letter_ok(static_cast<Cmd>(c), reply);
    case ReplyForm::Echo:
        return reply_echoes(reply, command);
    default:
        return false;
    }
}

bool reply_double(Cmd c, const char* reply, double* value) {
    int at = kCommands[c].value_at;
    return at >= 0 && Scan(reply + at, "%f", value) == 1;
}

bool reply_int(Cmd c, const char* reply, int* value) {
    int at = kCommands[c].value_at;
    return at >= 0 && Scan(reply + at, "%d", value) == 1;
}
