// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the event log's line writer: every line it writes is one line of three fields with no
// raw tab, line end or byte outside printable ASCII in its details, and reads back as the
// event it logged.
#include "eventlog.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte splits the input into a kind and details.
    if (size == 0) return 0;
    std::size_t cut = data[0] % size;
    std::string kind(reinterpret_cast<const char*>(data + 1), cut > 0 ? cut - 1 : 0);
    std::string details(reinterpret_cast<const char*>(data) + cut, size - cut);
    kind = kind.c_str();  // the writer takes zero-terminated texts
    details = details.c_str();
    static char line[1 << 16];
    std::size_t n = event_line(line, sizeof line, "2026-12-10T14:32:05.123+01:00", kind.c_str(), details.c_str());
    if (n == 0) return 0;
    if (line[n - 1] != '\n' || std::memchr(line, '\n', n - 1)) std::abort();
    int tabs = 0;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c == '\t') ++tabs;
        else if (c < 0x20 || c >= 0x7f) std::abort();
    }
    if (tabs != 2) std::abort();
    static char t[64], k[1 << 16], d[1 << 16];
    if (!event_parse(line, n, t, sizeof t, k, sizeof k, d, sizeof d)) std::abort();
    if (details != d) std::abort();
    bool word = !kind.empty() && kind.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-") == std::string::npos;
    if (std::string(k) != (word ? kind : "unknown")) std::abort();
    return 0;
}
