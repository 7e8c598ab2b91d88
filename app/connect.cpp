// SPDX-License-Identifier: GPL-3.0-or-later
// The connection to the module: port open, first settings read, re-synchronisation. The one
// place that knows the link, live polling and the settings together.
#include "app.h"

#include "config.h"
#include "feed.h"
#include "handles.h"
#include "io.h"
#include "link.h"
#include "live.h"
#include "publish.h"
#include "recorder.h"
#include "ui.h"

#include <cstdlib>

// Synchronises with the module, reads its settings and enables polling.
static void synchronisieren() {
    vollen();
    holset();
    hol_setzen(1);
}

int comok(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    int port = 0;
    GetCtrlVal(p4, P4_PORT, &port);
    port_setzen(port);
    OpenComConfig(com_nummer, "", 9600, 0, 8, 1, 128, 24);
    char device[kMaxPathname], details[kMaxPathname + 64];
    if (ComPortDevice(com_nummer, device, sizeof device) != 0) device[0] = '\0';
    Fmt(details, "number=%d device=%s %s", com_nummer, device, *_GetRs232Err() == 0 ? "opened" : "failed");
    publish_starten(com_nummer);  // the prefix names the port
    feed_event("port", details);
    if (*_GetRs232Err() != 0) {
        MessagePopup("", "COM-PORT kann nicht geoeffnet werden !");
        std::exit(0);  // the settings file keeps its previous contents
    }
    SetComTime(com_nummer, kTimeoutNormal);
    HidePanel(p4);
    synchronisieren();
    recorder_link_up();  // under [recording] resume=always, a cut-off recording goes on
    return 0;
}

int go(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    synchronisieren();
    return 0;
}
