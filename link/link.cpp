// The module protocol: every exchange is one transaction over out_buf and in_buf, built from
// the steps below in the order each site prescribes.
#include "link.h"

#include "app.h"
#include "config.h"
#include "io.h"
#include "ui.h"

#include <cstdlib>
#include <cstring>

char in_buf[kBufSize];
char out_buf[kBufSize];
int hol;
double wert[8];
int set[13];
double ewert[4];

void clear_in_buf() { std::memset(in_buf, 0, kReplyMax); }

// ----- transaction steps ---------------------------------------------------------------------

void tx_flush_out() { FlushOutQ(com_nummer); }
void tx_write() { ComWrt(com_nummer, out_buf, static_cast<int>(std::strlen(out_buf))); }
void tx_flush_in() { FlushInQ(com_nummer); }
// Reads the reply into in_buf; byte 24 on is never written, so in_buf stays terminated.
void tx_read() { ComRdTerm(com_nummer, in_buf, kReplyMax, 13); }
void tx_exchange() {
    tx_flush_out();
    tx_write();
    tx_flush_in();
    tx_read();
}

// ----- shared routines -----------------------------------------------------------------------

void vollen() {
    Fmt(out_buf, "VV%c", 13);
    tx_exchange();
}

void dimSaveSettings(int dim) { SetCtrlAttribute(p1, P1_SAVE, ATTR_DIMMED, dim); }

void uebertragungsfehler() {
    SetCtrlVal(p1, P1_STATUS, "NO CONNECTION");
    dimSaveSettings(1);
}

// ----- serial link ---------------------------------------------------------------------------

// Synchronises with the module, reads its settings and enables polling.
static void synchronisieren() {
    vollen();
    holset();
    hol = 1;
}

int comok(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    GetCtrlVal(p4, P4_PORT, &com_nummer);
    OpenComConfig(com_nummer, "", 9600, 0, 8, 1, 128, 24);
    if (*_GetRs232Err() != 0) {
        MessagePopup("", "COM-PORT kann nicht geoeffnet werden !");
        std::exit(0);  // the settings file keeps its previous contents
    }
    SetComTime(com_nummer, kTimeoutNormal);
    HidePanel(p4);
    synchronisieren();
    return 0;
}

int go(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    synchronisieren();
    return 0;
}
