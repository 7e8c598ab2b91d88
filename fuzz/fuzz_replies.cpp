// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the reply handling of every transaction site. The input is a script: operations of
// the operator and the timers (re-synchronise, which is what connecting exchanges, live poll,
// settings read and write, zero-point reset and adjust, pump, recorder start, sample and
// stop, display mode), and for every command the program sends, the module's answer: a
// well-formed reply with a number from the input, one with another first letter, one without
// its carriage return, raw bytes of any kind, a reply that comes late (in front of the next
// command's), or none.
// The port is answered in-process, so a missing terminator costs no real time-out.
// Beyond the sanitizers it checks that every D and S8 write carries a value the module has
// itself reported for that entry (or the panel's initial one): no reply is ever taken for
// another command's.
#include "program_state.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Script {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0, at = 0;

    int next() { return at < size ? data[at++] : -1; }
    std::int32_t number() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | static_cast<std::uint32_t>(next() & 0xFF);
        return static_cast<std::int32_t>(v);
    }
};

Script script;

std::string text(double v, std::chars_format f, int precision) {
    char b[64];
    auto r = std::to_chars(b, b + sizeof b, v, f, precision);
    return std::string(b, r.ptr);
}

// What a working module answers to `command`, with the number taken from the script.
std::string plausible(std::string command) {
    while (!command.empty() && (command.back() == '\r' || command.back() == '\n')) command.pop_back();
    std::int32_t n = script.number();
    double v = n / 1000.0;
    if (command.size() == 2 && command[0] == 'u') return "u" + text(v, std::chars_format::fixed, 3);
    if (command == "m2") return "M=" + text(v, std::chars_format::fixed, 4);
    if (command.size() == 2 && command[0] == 's') return command + " " + std::to_string(n % 100000);
    if (command == "t12") return "t12 " + std::to_string(n % 1000);
    if (command.size() == 2 && command[0] == 'd') return command + " " + text(v, std::chars_format::scientific, 3);
    if (command.size() >= 2 && (command[0] == 'D' || command[0] == 'S')) return command.substr(0, 2);
    if (command == "VV") return "VV";
    return "?";
}

std::string late;  // a reply held back, to arrive in front of the next command's

// What the module has reported for d1..d3 (1..3) and s8 (0), and the panel's initial values:
// the only values a write may carry.
std::vector<double> reported[4];

// Notes the values of every reply the bytes hold, as the program may read them: each piece
// up to a carriage return, in reads of at most 24 bytes.
void remember(const std::string& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t cr = bytes.find('\r', at);
        std::size_t end = std::min(cr == std::string::npos ? bytes.size() : cr, at + kReplyMax);
        char b[kBufSize] = {};
        std::memcpy(b, bytes.data() + at, end - at);
        double v;
        int n;
        if (b[0] == 'd' && b[1] >= '1' && b[1] <= '3' && Scan(b + 2, "%f", &v) == 1) reported[b[1] - '0'].push_back(v);
        if (b[0] == 's' && b[1] == '8' && Scan(b + 2, "%d", &n) == 1) reported[0].push_back(n);
        at = end < bytes.size() && bytes[end] == '\r' ? end + 1 : end;
    }
}

bool wasReported(int entry, double v) {
    for (double r : reported[entry])
        if (std::fabs(v - r) <= 5e-4 * std::fabs(r) + 1e-300) return true;  // D goes out with 4 digits
    return false;
}

// A D or S8 write must carry a value the module reported.
void checkWrite(const std::string& command) {
    int entry = -1, n = 0;
    double v = 0;
    if (command[0] == 'D' && command[1] >= '1' && command[1] <= '3' && Scan(command.c_str() + 2, "%f", &v) == 1) {
        entry = command[1] - '0';
    } else if (command.rfind("S8", 0) == 0 && Scan(command.c_str() + 2, "%d", &n) == 1) {
        entry = 0;
        v = n;
    }
    if (entry >= 0 && !wasReported(entry, v)) {
        std::fprintf(stderr, "wrote %s: a value the module never reported\n", command.c_str());
        std::abort();
    }
}

std::string reply(const std::string& command) {
    int kind = script.next();
    if (kind < 0) return {};  // the script has ended: the module is silent
    switch (kind % 7) {
    case 0:
    case 1:
        return plausible(command) + '\r';
    case 2: {
        std::string r = plausible(command);
        r[0] = static_cast<char>(script.next());
        return r + '\r';
    }
    case 3:
        return plausible(command);  // no carriage return
    case 4: {
        int n = script.next();
        std::string raw;
        for (int i = 0; i < (n < 0 ? 0 : n % 48); ++i) raw += static_cast<char>(script.next());
        return raw;
    }
    case 5:
        late = plausible(command) + '\r';
        return {};
    default:
        return {};
    }
}

std::string answer(const std::string& command) {
    checkWrite(command);
    std::string before = late;
    late.clear();
    std::string r = reply(command);
    remember(before);
    remember(r);
    return before + r;
}

void check() {
    // The reply buffer stays terminated, and so does the command.
    if (in_buf[kReplyMax] != 0 || !std::memchr(out_buf, 0, sizeof out_buf)) std::abort();
}

void operate(int op) {
    switch (op % 10) {
    case 0:
        seam::Commit(p1, P1_GO);
        break;
    case 1:
        seam::Tick(p1, P1_TIMER);
        break;
    case 2:
        holset();
        break;
    case 3:
        seam::Commit(p1, P1_SAVE);
        break;
    case 4:
        seam::AnswerConfirm(script.next() & 1);
        seam::Commit(p1, P1_ZERO_RESET);
        break;
    case 5:
        seam::AnswerConfirm(script.next() & 1);
        seam::Commit(p1, P1_ZERO_ADJUST);
        break;
    case 6:
        seam::Commit(p1, P1_PUMP);
        break;
    case 7:
        if (!plot) {
            seam::AnswerFileSelect(0, "");  // recording without a file
            seam::Commit(psc, PSC_IDLE_CTRL);
        } else {
            seam::Tick(psc, PSC_TIMER);
        }
        break;
    case 8:
        seam::Commit(psc, PSC_STOP);
        break;
    default:
        SetCtrlVal(p1, P1_MODE, script.next() & 3);
        seam::Commit(p1, P1_MODE);
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    seam::Init(*argc, *argv);
    seam::QuietPopups(true);
    seam::UseVirtualTime(true);  // the zero point's wait and the sample's pause pass at once
    std::filesystem::path dir = "/tmp/pavro-fuzz-replies-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(std::filesystem::read_symlink("/proc/self/exe").parent_path() / "pavro_5.uir",
                               dir / "pavro_5.uir", std::filesystem::copy_options::overwrite_existing);
    seam::SetProjectDir(dir.string());
    start_program();
    double d;
    for (int i = 1; i <= 3; ++i) {
        GetCtrlVal(p1, i == 1 ? P1_D1 : i == 2 ? P1_D2 : P1_D3, &d);
        reported[i].push_back(d);
    }
    int s8 = 0;
    GetCtrlVal(p1, P1_S8, &s8);
    reported[0].push_back(s8);
    seam::AnswerPort(1, answer);
    seam::Type(p4, P4_PORT, "1");  // the operator confirms port 1; the empty script is silent
    seam::ChooseMenuItem(m1, MENUBAR_RECORDER_SHOW);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    script = Script{data, size, 0};
    late.clear();
    seam::ResetPopups();
    if (plot) seam::Commit(psc, PSC_STOP);
    reset_globals();
    hol = 1;
    while (script.at < script.size) {
        operate(script.next());
        check();
    }
    return 0;
}
