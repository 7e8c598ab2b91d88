// Fuzzes the reply handling of every transaction site. The input is a script: operations of
// the operator and the timers (re-synchronise, which is what connecting exchanges, live poll,
// settings read and write, zero-point reset and adjust, pump, recorder start, sample and
// stop, display mode), and for every command the program sends, the module's answer: a
// well-formed reply with a number from the input, one with another first letter, one without
// its carriage return, raw bytes of any kind, or none.
// The port is answered in-process, so a missing terminator costs no real time-out.
#include "program_state.h"

#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

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

std::string answer(const std::string& command) {
    int kind = script.next();
    if (kind < 0) return {};  // the script has ended: the module is silent
    switch (kind % 6) {
    case 0:
    case 1: return plausible(command) + '\r';
    case 2: {
        std::string r = plausible(command);
        r[0] = static_cast<char>(script.next());
        return r + '\r';
    }
    case 3: return plausible(command);  // no carriage return
    case 4: {
        int n = script.next();
        std::string raw;
        for (int i = 0; i < (n < 0 ? 0 : n % 48); ++i) raw += static_cast<char>(script.next());
        return raw;
    }
    default: return {};
    }
}

void check() {
    // The reply buffer stays terminated, and so does the command.
    if (in_buf[kReplyMax] != 0 || !std::memchr(out_buf, 0, sizeof out_buf)) std::abort();
}

void operate(int op) {
    switch (op % 10) {
    case 0: seam::Commit(p1, P1_GO); break;
    case 1: seam::Tick(p1, P1_TIMER); break;
    case 2: holset(); break;
    case 3: seam::Commit(p1, P1_SAVE); break;
    case 4:
        seam::AnswerConfirm(script.next() & 1);
        seam::Commit(p1, P1_ZERO_RESET);
        break;
    case 5:
        seam::AnswerConfirm(script.next() & 1);
        seam::Commit(p1, P1_ZERO_ADJUST);
        break;
    case 6: seam::Commit(p1, P1_PUMP); break;
    case 7:
        if (!plot) {
            seam::AnswerFileSelect(0, "");  // recording without a file
            seam::Commit(psc, PSC_IDLE_CTRL);
        } else {
            seam::Tick(psc, PSC_TIMER);
        }
        break;
    case 8: seam::Commit(psc, PSC_STOP); break;
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
    seam::AnswerPort(1, answer);
    seam::Type(p4, P4_PORT, "1");  // the operator confirms port 1; the empty script is silent
    seam::ChooseMenuItem(m1, MENUBAR_RECORDER_SHOW);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    script = Script{data, size, 0};
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
