// SPDX-License-Identifier: GPL-3.0-or-later
// The program's process-wide state, put back to a fresh start: shared by the tests and the
// fuzz targets that run the program in-process.
#pragma once

#include "app.h"
#include "config.h"
#include "feed.h"
#include "handles.h"
#include "io.h"
#include "link.h"
#include "live.h"
#include "publish.h"
#include "recorder.h"
#include "testing.h"
#include "ui.h"

#include <cstring>

// Puts every global back to what a new process holds.
inline void reset_globals() {
    hol = plot = speichern = fehlx = 0;
    std::memset(wert, 0, sizeof wert);
    std::memset(set, 0, sizeof set);
    std::memset(ewert, 0, sizeof ewert);
    std::memset(in_buf, 0, sizeof in_buf);
    std::memset(out_buf, 0, sizeof out_buf);
    std::memset(owed, 0, sizeof owed);
    mpoint = xmin = xmax = 0;
    mw = mzeit = 0.0;
    wat = 0;
    publish_enden();
    feed_clear();
}

// Runs main's start-up up to the event loop.
inline void start_program() {
    seam::DiscardPanels();
    seam::ResetPopups();
    reset_globals();
    starten();
}
