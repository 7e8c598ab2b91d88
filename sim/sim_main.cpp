// SPDX-License-Identifier: GPL-3.0-or-later
// pavro-sim: the module simulator as a process, for the demo, benchmarks and end-to-end tests.
#include "sim.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void onSignal(int) { stopRequested = 1; }

const char kUsage[] =
    "usage: pavro-sim [options]\n"
    "Plays the oxygen measuring module on a pseudo-terminal until it is stopped.\n"
    "\n"
    "  --link PATH          link the pty at PATH (default: ports/com1 beside pavro-sim)\n"
    "  --seed N             seed of the reading's noise (default 1)\n"
    "  --pace               send every reply byte at 9600-baud wire time\n"
    "  --type N             module-type code of the t12 reply (default 11)\n"
    "  --fault CMD:KIND     a fault on the replies to CMD (u1..u6, m2, s0..s8, t12, d1..d3,\n"
    "                       D1..D3, S0, S8, S!S!, VV, D?D?, D!D!, or * for every command);\n"
    "                       KIND: silent, delay=SECONDS, letter=C, long, nocr, garbage,\n"
    "                       reply=TEXT (TEXT in place of the reply). May be given more\n"
    "                       than once; faults on one command combine.\n"
    "  --silent-after N     answer nothing from the (N+1)th command on\n"
    "  --hangup-after N     close the pty at the Nth command, as a pulled USB adapter\n"
    "  --return-after S     with --hangup-after: a new pty at the same link after S seconds\n"
    "  --log FILE           append every command line received to FILE\n"
    "  --latency S          answer S seconds after a command instead of after its wire time\n"
    "                       (for soak tests; below ~0.0002 a reply can race the flush)\n"
    "  --help               this text\n"
    "\n"
    "It prints one line with the pty's path when ready.\n";

std::string defaultLink(const char* argv0) {
    std::filesystem::path self(argv0);
    if (!self.has_parent_path()) self = std::filesystem::current_path() / self;
    return (self.parent_path() / "ports" / "com1").string();
}

}  // namespace

int main(int argc, char** argv) {
    sim::Options opt;
    std::string link = defaultLink(argv[0]);
    std::vector<std::pair<std::string, sim::Fault>> faults;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* name) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "pavro-sim: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--link")
            link = value("--link");
        else if (a == "--seed")
            opt.seed = std::strtoull(value("--seed").c_str(), nullptr, 10);
        else if (a == "--pace")
            opt.pace = true;
        else if (a == "--log")
            opt.logFile = value("--log");
        else if (a == "--latency")
            opt.latency = std::atof(value("--latency").c_str());
        else if (a == "--type")
            opt.typeCode = std::atoi(value("--type").c_str());
        else if (a == "--silent-after")
            opt.silentAfter = std::atoi(value("--silent-after").c_str());
        else if (a == "--hangup-after")
            opt.hangupAfter = std::atoi(value("--hangup-after").c_str());
        else if (a == "--return-after")
            opt.returnAfter = std::atof(value("--return-after").c_str());
        else if (a == "--fault") {
            std::string option = value("--fault"), cmd;
            sim::Fault f;
            if (!sim::parseFault(option, cmd, f)) {
                std::fprintf(stderr, "pavro-sim: bad fault '%s'\n%s", option.c_str(), kUsage);
                return 2;
            }
            // Faults on one command combine: --fault VV:delay=0.7 --fault "VV:reply=VV 7".
            auto same = std::find_if(faults.begin(), faults.end(), [&](auto& e) { return e.first == cmd; });
            if (same == faults.end())
                faults.emplace_back(cmd, f);
            else
                sim::parseFault(option, cmd, same->second);
        } else {
            std::fprintf(stderr, "pavro-sim: unknown option '%s'\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    sim::Simulator s(opt);
    for (auto& [cmd, f] : faults) s.setFault(cmd, f);
    if (!s.start(link)) {
        std::fprintf(stderr, "pavro-sim: cannot create a pty linked at %s\n", link.c_str());
        return 1;
    }
    std::printf("pavro-sim: module on %s, linked at %s\n", s.ptyPath().c_str(), link.c_str());
    std::fflush(stdout);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    while (!stopRequested) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    s.stop();
    return 0;
}
