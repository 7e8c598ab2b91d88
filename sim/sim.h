// SPDX-License-Identifier: GPL-3.0-or-later
// The module simulator: plays the oxygen measuring module on a pseudo-terminal, answering
// every command of the protocol in the module's reply forms, with switchable faults.
// Runs its own thread; every method may be called from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sim {

// What goes wrong with the reply to one command.
struct Fault {
    bool silent = false;    // no reply at all
    double delay = 0.0;     // extra seconds before the reply
    char letter = 0;        // a wrong first letter in place of the right one
    bool overlong = false;  // a reply of 30 characters before the carriage return
    bool noCR = false;      // the reply without its carriage return
    bool garbage = false;   // binary bytes (NULs included) and a carriage return
    std::string reply;      // this text in place of the module's reply ("" the module's own)
};

struct Options {
    std::uint64_t seed = 1;
    bool pace = false;          // send every reply byte at 9600-baud wire time
    int typeCode = 11;          // the t12 reply
    int silentAfter = -1;       // answer nothing from this many commands on (-1: never)
    int hangupAfter = -1;       // close the pty after this many commands (-1: never)
    double returnAfter = -1.0;  // seconds until a closed pty comes back at the same link (-1: never)
    std::string logFile;        // where every command line is appended as it arrives ("" none)
    double latency = -1.0;      // seconds before a reply; -1: the command's wire time at 9600 baud
};

// The module's own state, as the commands leave it.
struct ModuleState {
    int word = 0x31;  // s0: flag 0 set, display mode 1 (bits 4 and 5)
    int s[9] = {0x31, 4, 0, 75, 120, 3, 12, 0, 3};
    double d[4] = {0.0, 15.0, 200.0, -0.5};
    double zeroOffset = 0.0;
    int zeroResets = 0, zeroAdjusts = 0;
    bool stored = false;  // S!S! received since the last write
};

class Simulator {
public:
    explicit Simulator(Options options = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens a pty and links it at `link` (replacing what is there). False on failure.
    bool start(const std::string& link);
    void stop();
    std::string ptyPath() const;

    // Faults by command text ("u1", "m2", "s4", "D2", "VV", "D?D?" ...), or "*" for all.
    void setFault(const std::string& command, const Fault& f);
    void clearFaults();
    // Closes the pty now; it comes back at the same link after `returnAfter` seconds
    // (never when negative).
    void hangUp(double returnAfter);
    void silentAfter(int commands);
    // Closes the pty at the `commands`-th command from now (mid-operation), coming back
    // after `returnAfter` seconds (never when negative).
    void hangUpAfter(int commands, double returnAfter);

    // Waits until every command sent has been answered (late replies included), at most
    // `seconds`; false when it was still busy then.
    bool waitIdle(double seconds);

    // Every command line received (without the carriage return), in order.
    std::vector<std::string> commands() const;
    void clearCommands();
    // The reply latency applied to the last command [s]: wire time plus any delay fault.
    double lastLatency() const;
    ModuleState state() const;
    // The main reading the next m2 would report before drift.
    void setReading(double base);
    void setU1(double value);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Parses "CMD:KIND[=VALUE]" (KIND: silent, delay=S, letter=C, long, nocr, garbage, reply=TEXT) into
// `command` and `fault` (kinds add to what `fault` already holds); false when malformed.
bool parseFault(const std::string& option, std::string& command, Fault& fault);

}  // namespace sim
