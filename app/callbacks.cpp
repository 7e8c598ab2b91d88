// SPDX-License-Identifier: GPL-3.0-or-later
// Binds every callback name of the panel file to its routine.
#include "app.h"

#include "config.h"
#include "eventlog.h"
#include "live.h"
#include "publish.h"
#include "recorder.h"
#include "ui.h"
#include "viewer.h"
#include "watch.h"

static const CallbackEntry kCallbacks[] = {
    // name         control callback  panel callback  menu callback
    {"schluss", nullptr, schluss, nullptr}, {"comok", comok, nullptr, nullptr},
    {"go", go, nullptr, nullptr},           {"setsp", setsp, nullptr, nullptr},
    {"dimmen", dimmen, nullptr, nullptr},   {"nullen", nullen, nullptr, nullptr},
    {"setzen", setzen, nullptr, nullptr},   {"st_pumpe", st_pumpe, nullptr, nullptr},
    {"timer1", timer1, nullptr, nullptr},   {"stripch", nullptr, nullptr, stripch},
    {"endSC", nullptr, endSC, nullptr},     {"skalieren", skalieren, nullptr, nullptr},
    {"m_run", m_run, nullptr, nullptr},     {"m_stop", m_stop, nullptr, nullptr},
    {"timer2", timer2, nullptr, nullptr},   {"oeffnen", oeffnen, nullptr, nullptr},
    {"grafik", grafik, nullptr, nullptr},   {"ansicht", ansicht, nullptr, nullptr},
    {"quittieren", quittieren, nullptr, nullptr}, {"grenzen", nullptr, nullptr, grenzen},
    {"zeitachse", zeitachse, nullptr, nullptr},   {"exportieren", exportieren, nullptr, nullptr},
    {"ereignisse", nullptr, nullptr, ereignisse}, {"veroeffentlichen", nullptr, nullptr, veroeffentlichen},
    {"fortsetzen", fortsetzen, nullptr, nullptr},
};

const CallbackEntry* callback_table(unsigned long* count) {
    *count = sizeof kCallbacks / sizeof kCallbacks[0];
    return kCallbacks;
}
