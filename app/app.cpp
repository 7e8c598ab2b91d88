// SPDX-License-Identifier: GPL-3.0-or-later
#include "app.h"

#include "eventlog.h"
#include "publish.h"
#include "feed.h"
#include "handles.h"
#include "io.h"
#include "link.h"
#include "live.h"
#include "recorder.h"
#include "resume.h"
#include "ui.h"
#include "viewer.h"
#include "settings.h"
#include "watch.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

char p1_titel[] = "Kelto O2-Messung";

const char kSettingsFile[] = "pavro.ini";

static const char kSettingsWrite[] = " %d %f %d %d %f %f %f %f Lu_2002\n";
static const char kSettingsRead[] = "%s>%d%f%d%d%f%f%f%f";

static void start_event();
static bool connect_at_start();
static int resume_mode();

void starten() {
    unsigned long n = 0;
    const CallbackEntry* table = callback_table(&n);
    RegisterCallbacks(table, n);
    panels_laden();
    setup();
    hol_setzen(0);
    speichern = 0;
    anschliessen();
    start_event();
    watch_starten();
    recorder_resume_mode(resume_mode());
    // Unattended: the remembered port confirmed as the operator's Connect would.
    if (connect_at_start()) comok(p4, P4_OK, EVENT_COMMIT, nullptr, 0, 0);
}

// [link] connect_at_start of pavro-watch.ini: true confirms the remembered port at start.
static bool connect_at_start() {
    char path[kMaxPathname];
    if (!watch_settings_path(path)) return false;
    IniEntry e[1] = {{"connect_at_start", "", false}};
    IniReadGroup(path, "link", e, 1);
    if (!e[0].found) return false;
    if (!std::strcmp(e[0].value, "true") || !std::strcmp(e[0].value, "1")) return true;
    if (std::strcmp(e[0].value, "false") && std::strcmp(e[0].value, "0"))
        std::fprintf(stderr, "pavro: pavro-watch.ini [link] connect_at_start: not true or false, false taken\n");
    return false;
}

// [recording] resume of pavro-watch.ini: offer (the default), always or never.
static int resume_mode() {
    char path[kMaxPathname];
    if (!watch_settings_path(path)) return kResumeOffer;
    IniEntry e[1] = {{"resume", "", false}};
    IniReadGroup(path, "recording", e, 1);
    if (!e[0].found || !std::strcmp(e[0].value, "offer")) return kResumeOffer;
    if (!std::strcmp(e[0].value, "always")) return kResumeAlways;
    if (!std::strcmp(e[0].value, "never")) return kResumeNever;
    std::fprintf(stderr, "pavro: pavro-watch.ini [recording] resume: not offer, always or never, offer taken\n");
    return kResumeOffer;
}

void anschliessen() {
    feed_on_reading(watch_reading);
    feed_on_event(viewer_event);
    feed_on_event(watch_event);
    feed_on_event(event_log);
    feed_on_reading(publish_reading);
    feed_on_alarm(publish_alarm);
    feed_on_event(publish_event);
}

// Who started the program, where, with which version.
static void start_event() {
    char dir[kMaxPathname], user[64], host[64], details[kMaxPathname + 200];
    if (GetProjectDir(dir) != 0) dir[0] = '\0';
    GetUserAndHost(user, host);
    Fmt(details, "version=%s folder=%s user=%s host=%s", PAVRO_VERSION, dir, user, host);
    feed_event("start", details);
}

// The settings file's path, or false when the program's directory does not fit.
static bool settingsPath(char (&path)[kMaxPathname]) {
    char dir[kMaxPathname];
    return GetProjectDir(dir) == 0 && MakePathname(dir, kSettingsFile, path) == 0;
}

static const Einstellungen kDefaults = {1, 1.0, {1, 1}, {0.0, 10.0, 0.0, 10.0}};

// The settings file's record, or the defaults unless all eight values are read: the file is
// taken whole or not at all.
static Einstellungen settings_read() {
    Einstellungen e = kDefaults;
    char path[kMaxPathname];
    int n = -1;
    if (settingsPath(path)) {
        int h = OpenFile(path, 1, 0, 1);
        if (h > 0) {
            n = ScanFile(h, kSettingsRead, &e.com_nummer, &e.abtast, &e.was[0], &e.was[1], &e.skl[0], &e.skl[1],
                         &e.skl[2], &e.skl[3]);
            CloseFile(h);
        }
    }
    return n < 8 ? kDefaults : e;
}

void ini_lesen() {
    Einstellungen e = settings_read();
    port_setzen(e.com_nummer);
    recorder_einstellen(e.abtast, e.was, e.skl);
}

void ini_schreiben() {
    char name[kMaxPathname], line[256];
    if (!settingsPath(name)) return;
    const Einstellungen e = {com_nummer, abtast, {was[0], was[1]}, {skl[0], skl[1], skl[2], skl[3]}};
    int n = Fmt(line, kSettingsWrite, e.com_nummer, e.abtast, e.was[0], e.was[1], e.skl[0], e.skl[1], e.skl[2],
                e.skl[3]);
    // Written beside the file, on the device, then renamed over it (a link's target, the link
    // kept): a full disk or a power cut leaves the old line or the new one, never a truncated
    // file. Where nothing can be made beside it, or its owner could not be kept, in place.
    WriteFileDurably(name, line, static_cast<std::size_t>(n));
}

void enden() {
    recording_ended("program closed");
    feed_event("end", "the main panel was closed");
    publish_enden();
    ini_schreiben();
    std::fflush(nullptr);
    std::exit(0);
}

int schluss(int, int event, void*, int, int) {
    if (event == EVENT_CLOSE) enden();
    return 0;
}

void setup() {
    port_setzen(1);
    speichern = 0;
    plot = 0;
    ini_lesen();
    DisplayPanel(p1);
    SetPanelAttribute(p1, ATTR_TITLE, p1_titel);
    set[12] = 1;
    dimzpoint();
    DisplayPanel(p4);
    SetCtrlVal(p4, P4_PORT, com_nummer);
}
