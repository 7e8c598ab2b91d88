// SPDX-License-Identifier: GPL-3.0-or-later
// The wire time of the module's traffic at 9600 baud, for the benchmarks that compare with it.
#pragma once

#include "io.h"
#include "link.h"

#include <cstring>

constexpr double kByte = 10.0 / 9600.0;  // wire time of one byte [s]

// The wire time of one live poll: 7 commands of 3 bytes, the replies "uX.XXX" + CR of the u
// values the module sent last and "M=NN.NNNN" + CR.
inline double poll_wire_time() {
    double replyBytes = 0;
    for (int i = 1; i <= 6; ++i) {
        char b[32];
        Fmt(b, "u%f[p3]", wert[i]);
        replyBytes += static_cast<double>(std::strlen(b) + 1);
    }
    char m[32];
    Fmt(m, "M=%f[p4]", wert[7]);
    replyBytes += static_cast<double>(std::strlen(m) + 1);
    return (7 * 3 + replyBytes) * kByte;
}
