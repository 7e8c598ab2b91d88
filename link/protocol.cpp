// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol.h"

#include <cstring>

// The echo: the reply begins with the command's own text, every character before the
// carriage return ("s4" for s4, "t12" for t12, "d2" for d2, "VV" for VV). The module puts
// the command it answers in front of the value, so the value position is the echo's length.
bool reply_echoes(const char* reply, const char* command) {
    std::size_t n = std::strcspn(command, "\r");
    return n > 0 && std::strncmp(reply, command, n) == 0;
}

bool reply_of(const char* reply, const char* command) {
    switch (command[0]) {
    case 'u': return reply[0] == 'u';
    case 'm': return reply[0] == 'M';
    case 's':
    case 't':
    case 'd':
    case 'V': return reply_echoes(reply, command);
    default: return false;
    }
}
