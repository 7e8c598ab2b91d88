// SPDX-License-Identifier: GPL-3.0-or-later
// Live polling and the presentation of values by display mode and module type.
#include "live.h"

#include "feed.h"
#include "handles.h"
#include "io.h"
#include "link.h"
#include "protocol.h"
#include "ui.h"

int hol;
int fehlx;
int Label_H;

// By display mode 0 (ppm, scientific), 1 (ppm, fixed point by size), 2 (mV).
static const int valformat[3] = {VAL_SCIENTIFIC_FORMAT, VAL_FLOATING_PT_FORMAT, VAL_FLOATING_PT_FORMAT};
static const int valprecision[3] = {3, 0, 1};
// P1_FLAG1's top [px]: with P1_D3 hidden (module-type digit 1), and with it shown.
static const int top_pos[2] = {389, 431};

static const char kUnitPpm[] = "ppm";
static const char kUnitMv[] = "mV      ";

// ----- display mode ---------------------------------------------------------------------------

// P1_MODE as a table index; the ring holds only 0, 1 and 2.
static unsigned char display_mode() {
    unsigned char m = 0;
    GetCtrlVal(p1, P1_MODE, &m);
    return m > 2 ? 2 : m;
}

void dimzpoint() {
    unsigned char m = display_mode();
    for (int ctrl : {P1_D1, P1_D2, P1_D3, P1_O2}) {
        SetCtrlAttribute(p1, ctrl, ATTR_FORMAT, valformat[m]);
        SetCtrlAttribute(p1, ctrl, ATTR_PRECISION, valprecision[m]);
    }
    const char* unit = m == 2 ? kUnitMv : kUnitPpm;
    for (int box : {P1_UNIT1, P1_UNIT2, P1_UNIT3, P1_UNIT4}) ReplaceTextBoxLine(p1, box, 0, unit);
    SetCtrlAttribute(p1, P1_O2, ATTR_LABEL_TEXT, m == 2 ? "Sensor Voltage" : "Oxygen");

    Label_H = set[12] % 10;  // takes the sign of the code
    bool d3_hidden = Label_H == 1;
    SetCtrlAttribute(p1, P1_D3, ATTR_VISIBLE, d3_hidden ? 0 : 1);
    SetCtrlAttribute(p1, P1_UNIT3, ATTR_VISIBLE, d3_hidden ? 0 : 1);
    SetCtrlAttribute(p1, P1_FLAG1, ATTR_TOP, top_pos[d3_hidden ? 0 : 1]);
    SetCtrlAttribute(p1, P1_U3, ATTR_VISIBLE, Label_H == 3 ? 0 : 1);
}

int dimmen(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) dimzpoint();
    return 0;
}

int digits_by_size(double r) {
    int p = 0;
    if (r < 100.0) p = 1;
    if (r < 10.0) p = 2;
    if (r < 1.0) p = 3;
    return p;
}

void dezimalpunkt() {
    if (display_mode() != 1) return;
    SetCtrlAttribute(p1, P1_O2, ATTR_PRECISION, digits_by_size(wert[7]));
}

// ----- live poll -------------------------------------------------------------------------------

void hol_setzen(int on) { hol = on; }

int timer1(int, int, int, void*, int, int) {
    if (hol) holen();
    return 0;
}

// The poll's main reading to the feed, with the values shown beside it.
static void to_feed(bool ok, const char* status) {
    static double aux[4];
    aux[0] = wert[1];
    aux[1] = wert[3];
    aux[2] = wert[5];
    aux[3] = wert[6];
    feed_reading({ok ? wert[7] : 0.0, ok, feed_unit(), kSourceLive, status, aux, Timer()});
}

// Ends the poll after a link failure.
static void poll_failed() {
    uebertragungsfehler();
    fehlx = 1;
    to_feed(false, "NO CONNECTION");
}

void holen() {
    SetCtrlVal(p1, P1_BUSY, 1);
    // The first reply is read into a cleared buffer, so a short one never carries the tail
    // of what the exchange before the poll left there.
    clear_in_buf();
    for (int i = 1; i <= 6; ++i) {
        Fmt(out_buf, kCommands[kCmdU].format, i, kCR);
        tx_exchange_any();
        reply_double(kCmdU, in_buf, &wert[i]);
        if (ReturnRS232Err() != 0) return poll_failed();
        if (!reply_letter_ok(kCmdU, in_buf)) {
            SetCtrlVal(p1, P1_STATUS, in_buf);
            vollen();
        }
        clear_in_buf();
    }
    Fmt(out_buf, kCommands[kCmdM2].format, kCR);
    tx_exchange_any();
    reply_double(kCmdM2, in_buf, &wert[7]);
    char status[kBufSize];
    Fmt(status, "%s", in_buf);
    if (reply_letter_ok(kCmdM2, in_buf)) {
        SetCtrlVal(p1, P1_STATUS, "ok");
        fehlx = 0;
    } else {
        SetCtrlVal(p1, P1_STATUS, in_buf);
        wert[7] = 0.0;
        fehlx = 1;
    }
    clear_in_buf();
    if (ReturnRS232Err() != 0) return poll_failed();
    dezimalpunkt();
    SetCtrlVal(p1, P1_U1, wert[1]);
    SetCtrlVal(p1, P1_U6, wert[6]);
    SetCtrlVal(p1, P1_U3, wert[3]);
    SetCtrlVal(p1, P1_U5, wert[5]);
    SetCtrlVal(p1, P1_O2, wert[7]);
    SetCtrlVal(p1, P1_BUSY, 0);
    to_feed(fehlx == 0, fehlx == 0 ? "ok" : status);
}
