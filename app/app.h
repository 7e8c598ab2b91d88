// SPDX-License-Identifier: GPL-3.0-or-later
// Application shell: start-up, shutdown, the settings file and the connection to the module.
#pragma once

extern char p1_titel[];  // the main panel's title

// The name of the settings file, in the program's directory.
extern const char kSettingsFile[];

// What the settings file holds, gathered from and handed back to the folders that own each
// value: the port number (link/), the recorder's interval and scale (recorder/).
struct Einstellungen {
    int com_nummer;
    double abtast;
    int was[2];
    double skl[4];
};

// Start-up up to the event loop: binds the callbacks, loads the panels, runs setup, and
// leaves polling off.
void starten();
// Connects the feed's listeners: the watch.
void anschliessen();
// Restores the settings and puts the main and serial-port panels on the screen.
void setup();
// Settings file: read at start (defaults unless all eight values are read), written at close.
void ini_lesen();
void ini_schreiben();
// Writes the settings file and ends the process with status 0.
[[noreturn]] void enden();
int schluss(int panel, int event, void* callbackData, int eventData1, int eventData2);

// The connection: opens the confirmed port and synchronises; re-synchronises.
int comok(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int go(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// The callback table that binds the panel file's callback names.
struct CallbackEntry;
const CallbackEntry* callback_table(unsigned long* count);
