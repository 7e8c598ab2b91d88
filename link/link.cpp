// SPDX-License-Identifier: GPL-3.0-or-later
// The module protocol: every exchange is one transaction over out_buf and in_buf, built from
// the steps below in the order each site prescribes.
#include "link.h"

#include "feed.h"
#include "handles.h"
#include "io.h"
#include "protocol.h"
#include "ui.h"

#include <cstring>

int com_nummer = 1;
char in_buf[kBufSize];
char out_buf[kBufSize];
char owed[kBufSize];
double wert[8];
int set[13];
double ewert[4];

void clear_in_buf() { std::memset(in_buf, 0, kReplyMax); }

// ----- transaction steps ---------------------------------------------------------------------

void tx_flush_out() { FlushOutQ(com_nummer); }
void tx_write() { ComWrt(com_nummer, out_buf, static_cast<int>(std::strlen(out_buf))); }
void tx_flush_in() { FlushInQ(com_nummer); }

// Reads the reply into in_buf; byte 24 on is never written, so in_buf stays terminated.
// Notes the command as owed when the read times out.
static bool lost;  // the link failed and no exchange has held since

// The command of this exchange as text, without its carriage return.
static void command_text(char (&out)[kBufSize]) {
    std::memcpy(out, out_buf, kBufSize);
    out[std::strcspn(out, "\r")] = '\0';
}

static void read_reply() {
    ComRdTerm(com_nummer, in_buf, kReplyMax, kCR);
    if (lost && ReturnRS232Err() == 0) {
        lost = false;
        char details[64], c[kBufSize];
        command_text(c);
        Fmt(details, "command=%s", c);
        feed_event("link-restored", details);
    }
    if (ReturnRS232Err() == kRs232Timeout)
        std::memcpy(owed, out_buf, kBufSize);
    else
        owed[0] = '\0';
}

void tx_read_any() { read_reply(); }

void tx_read() {
    char late[kBufSize];
    std::memcpy(late, owed, kBufSize);
    read_reply();
    // The late reply of the command before, which cannot be this command's own: passed
    // over, and this command's reply read within a time-out of its own.
    if (ReturnRS232Err() == 0 && late[0] && reply_of(in_buf, late) && !reply_of(in_buf, out_buf)) {
        clear_in_buf();
        read_reply();
    }
}

void tx_exchange() {
    tx_flush_out();
    tx_write();
    tx_flush_in();
    tx_read();
}

void tx_exchange_any() {
    tx_flush_out();
    tx_write();
    tx_flush_in();
    tx_read_any();
}

// ----- shared routines -----------------------------------------------------------------------

void vollen() {
    Fmt(out_buf, kCommands[kCmdVV].format, kCR);
    tx_exchange();
}

void dimSaveSettings(int dim) { SetCtrlAttribute(p1, P1_SAVE, ATTR_DIMMED, dim); }

void uebertragungsfehler() {
    SetCtrlVal(p1, P1_STATUS, "NO CONNECTION");
    dimSaveSettings(1);
    if (lost) return;
    lost = true;
    char details[96], c[kBufSize];
    command_text(c);
    Fmt(details, "command=%s error=%d", c, ReturnRS232Err());
    feed_event("link-lost", details);
}

void port_setzen(int port) { com_nummer = port; }
