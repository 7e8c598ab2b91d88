// SPDX-License-Identifier: GPL-3.0-or-later
// Module settings (read and write) and zero-point calibration.
#include "config.h"

#include "feed.h"
#include "handles.h"
#include "io.h"
#include "link.h"
#include "live.h"
#include "protocol.h"
#include "ui.h"

int solltemp;

// ----- settings word ---------------------------------------------------------------------------

// Bits 2, 6 and 7 pass through; 0, 1 and 3 are the flags; 4 and 5 the display mode.
constexpr int kKeptBits = 0xC4;

int mode_of_word(int word) {
    if (!(word & 0x10)) return 2;
    return (word & 0x20) ? 1 : 0;
}

int settings_word(int word, int flag0, int flag1, int flag3, int mode) {
    word &= kKeptBits;
    if (flag0) word |= 1;
    if (flag1) word |= 2;
    if (flag3) word |= 8;
    if (mode != 0) word |= 0x20;
    if (mode != 2) word |= 0x10;
    return word;
}

// ----- settings read ---------------------------------------------------------------------------

// One query of the settings read: build, clear, flush out, write, flush in, read. True when
// the reply echoes the query; only such a reply is parsed, so no other command's reply
// (a late one, above all) ever becomes a setting.
static bool query(Cmd c, int i) {
    if (i >= 0)
        Fmt(out_buf, kCommands[c].format, i, kCR);
    else
        Fmt(out_buf, kCommands[c].format, kCR);
    clear_in_buf();
    tx_exchange();
    return reply_echoes(in_buf, out_buf);
}

void holset() {
    SetCtrlVal(p1, P1_STATUS, "GET");
    for (int i = 0; i <= 8; ++i) {
        bool echoed = query(kCmdS, i);
        if (echoed) reply_int(kCmdS, in_buf, &set[i]);
        if (ReturnRS232Err() != 0 || !echoed) return uebertragungsfehler();
    }
    // A t12 that fails goes unnoticed; one answered by some other command's reply does not.
    bool echoed = query(kCmdT12, -1);
    if (echoed)
        reply_int(kCmdT12, in_buf, &set[12]);
    else if (ReturnRS232Err() == 0)
        return uebertragungsfehler();
    for (int i = 1; i <= 3; ++i) {
        echoed = query(kCmdD, i);
        if (echoed) reply_double(kCmdD, in_buf, &ewert[i]);
        if (ReturnRS232Err() != 0 || !echoed) return uebertragungsfehler();
    }
    int w = set[0];
    SetCtrlVal(p1, P1_FLAG0, (w & 1) ? 1 : 0);
    SetCtrlVal(p1, P1_FLAG1, (w & 2) ? 1 : 0);
    SetCtrlVal(p1, P1_FLAG3, (w & 8) ? 1 : 0);
    SetCtrlVal(p1, P1_MODE, mode_of_word(w));
    SetCtrlVal(p1, P1_D1, ewert[1]);
    SetCtrlVal(p1, P1_D2, ewert[2]);
    SetCtrlVal(p1, P1_D3, ewert[3]);
    SetCtrlVal(p1, P1_S8, set[8]);
    SetCtrlVal(p1, P1_S6, set[6]);
    solltemp = static_cast<int>(static_cast<unsigned>(set[3]) * 10u);  // wraps, never overflows
    SetCtrlVal(p1, P1_SOLLTEMP, solltemp);
    dimzpoint();
    SetCtrlVal(p1, P1_STATUS, "ok");
    dimSaveSettings(0);
    feed_unit_setzen(unit_of_mode(mode_of_word(w)));
    char details[256];
    Fmt(details, "word=%d s1=%d s2=%d s3=%d s4=%d s5=%d s6=%d s7=%d s8=%d type=%d d1=%f d2=%f d3=%f", set[0], set[1],
        set[2], set[3], set[4], set[5], set[6], set[7], set[8], set[12], ewert[1], ewert[2], ewert[3]);
    feed_event("settings-read", details);
}

// ----- settings write --------------------------------------------------------------------------

// One command of the settings write; true when the link held.
static bool send_d(int i) {
    Fmt(out_buf, kCommands[kCmdDWrite].format, i, ewert[i], kCR);
    tx_flush_out();
    clear_in_buf();
    tx_flush_in();  // input is flushed before the write here
    tx_write();
    tx_read();
    return ReturnRS232Err() == 0;
}

static bool send_s(Cmd c, int value) {
    if (c == kCmdStore)
        Fmt(out_buf, kCommands[c].format, kCR);
    else
        Fmt(out_buf, kCommands[c].format, value, kCR);
    clear_in_buf();
    tx_exchange();
    return ReturnRS232Err() == 0;
}

// The settings write as an event: each field sent, before and after, and whether the read-back
// that follows shows what was sent.
struct Written {
    double d[4];
    int s0, s8;
};
static Written before_write, sent;
static const char* write_failed;  // the command the write stopped at, null when all went

static void settings_written_event() {
    char details[512];
    if (write_failed) {
        Fmt(details, "D1 %f -> %f; D2 %f -> %f; D3 %f -> %f; S0 %d -> %d; S8 %d -> %d; failed at %s", before_write.d[1],
            sent.d[1], before_write.d[2], sent.d[2], before_write.d[3], sent.d[3], before_write.s0, sent.s0,
            before_write.s8, sent.s8, write_failed);
    } else {
        bool same = ewert[1] == sent.d[1] && ewert[2] == sent.d[2] && ewert[3] == sent.d[3] && set[0] == sent.s0 &&
                    set[8] == sent.s8;
        Fmt(details, "D1 %f -> %f; D2 %f -> %f; D3 %f -> %f; S0 %d -> %d; S8 %d -> %d; read back: %s",
            before_write.d[1], sent.d[1], before_write.d[2], sent.d[2], before_write.d[3], sent.d[3], before_write.s0,
            sent.s0, before_write.s8, sent.s8, same ? "as sent" : "differs");
    }
    feed_event("settings-written", details);
}

static void write_stopped(const char* at) {
    write_failed = at;
    uebertragungsfehler();
}

void stset() {
    before_write = {{0.0, ewert[1], ewert[2], ewert[3]}, set[0], set[8]};
    write_failed = nullptr;
    SetCtrlVal(p1, P1_STATUS, "SAVE");
    unsigned char f0 = 0, f1 = 0, f3 = 0, m = 0;
    GetCtrlVal(p1, P1_FLAG0, &f0);
    GetCtrlVal(p1, P1_FLAG1, &f1);
    GetCtrlVal(p1, P1_FLAG3, &f3);
    GetCtrlVal(p1, P1_MODE, &m);
    set[0] = settings_word(set[0], f0, f1, f3, m);
    GetCtrlVal(p1, P1_D1, &ewert[1]);
    GetCtrlVal(p1, P1_D2, &ewert[2]);
    GetCtrlVal(p1, P1_D3, &ewert[3]);
    GetCtrlVal(p1, P1_S8, &set[8]);
    sent = {{0.0, ewert[1], ewert[2], ewert[3]}, set[0], set[8]};
    static const char* const kD[] = {"", "D1", "D2", "D3"};
    for (int i = 1; i <= 3; ++i)
        if (!send_d(i)) return write_stopped(kD[i]);
    if (!send_s(kCmdS0, set[0])) return write_stopped("S0");
    if (!send_s(kCmdS8, set[8])) return write_stopped("S8");
    if (!send_s(kCmdStore, 0)) return write_stopped("S!S!");
    holset();
}

int setsp(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    SetComTime(com_nummer, kTimeoutSave);
    stset();
    SetComTime(com_nummer, kTimeoutNormal);
    settings_written_event();
    return 0;
}

// ----- zero point ------------------------------------------------------------------------------

constexpr double kZeroWindow = 50.0;  // u1 must lie within ±50, bounds included
constexpr double kZeroWait = 1.0;     // [s] after a successful command

struct ZeroCommand {
    const char* kind;  // of its event
    const char* question;
    Cmd command;
    const char* failure;  // P1_STATUS text when the exchange fails
};

static const ZeroCommand kReset = {"zero-reset", "Reset Zero Point ?", kCmdZeroReset, "ERROR NO CONNECT"};
static const ZeroCommand kAdjust = {"zero-adjust", "Adjust Zero Point ?", kCmdZeroAdjust, "NO CONNECT"};

static void zero_event(const ZeroCommand& z, const char* answer, const char* outcome) {
    char details[160];
    Fmt(details, "u1=%f answer=%s outcome=%s", wert[1], answer, outcome);
    feed_event(z.kind, details);
}

static void zero_point(const ZeroCommand& z) {
    if (fehlx) {
        MessagePopup("Calibration", " ERROR !");
        return zero_event(z, "none", "refused: the last poll failed");
    }
    if (wert[1] > kZeroWindow || wert[1] < -kZeroWindow) {
        MessagePopup("Calibration", "ERROR OUT OF RANGE !");
        return zero_event(z, "none", "refused: u1 out of range");
    }
    if (!ConfirmPopup("CALIBRATION", z.question)) return zero_event(z, "no", "not sent");
    SetCtrlVal(p1, P1_BUSY, 1);
    SetCtrlVal(p1, P1_STATUS, "SAVE");
    Fmt(out_buf, kCommands[z.command].format, kCR);
    tx_exchange();
    if (ReturnRS232Err() != 0) {
        SetCtrlVal(p1, P1_STATUS, z.failure);
    } else {
        Delay(kZeroWait);
        SetCtrlVal(p1, P1_STATUS, "ok");
        hol_setzen(1);
    }
    SetCtrlVal(p1, P1_BUSY, 0);
    zero_event(z, "yes", ReturnRS232Err() != 0 ? "failed: no answer" : "done");
}

int nullen(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) zero_point(kReset);
    return 0;
}

int setzen(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) zero_point(kAdjust);
    return 0;
}

void stpumpe() {}

int st_pumpe(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT && hol) stpumpe();
    return 0;
}
