// SPDX-License-Identifier: GPL-3.0-or-later
// Application shell: start-up, shutdown and the settings file.
#pragma once

#include "panels.h"

extern int p1;   // main panel
extern int p4;   // serial-port panel, a child of p1
extern int psc;  // recorder panel
extern int m1;   // the main panel's menu bar

extern int com_nummer;  // serial port number
extern double abtast;   // recorder sampling interval [s]
extern int was[2];      // was[0]: recorder y autoscale (non-zero on); was[1]: carried only
extern double skl[4];   // skl[0], skl[1]: recorder y minimum and maximum; skl[2], skl[3]: carried only
extern char p1_titel[];  // the main panel's title

// The name of the panel file and of the settings file, both in the program's directory.
extern const char kPanelFile[];
extern const char kSettingsFile[];

// Start-up up to the event loop: binds the callbacks, loads the panels, runs setup, and
// leaves polling off.
void starten();
// Loads p1, psc and p4 (in that order) and takes the menu bar.
void panels_laden();
// Restores the settings and puts the main and serial-port panels on the screen.
void setup();
// Settings file: read at start (defaults unless all eight values are read), written at close.
void ini_lesen();
void ini_schreiben();
// Writes the settings file and ends the process with status 0.
[[noreturn]] void enden();
int schluss(int panel, int event, void* callbackData, int eventData1, int eventData2);

// The callback table that binds the panel file's callback names.
struct CallbackEntry;
const CallbackEntry* callback_table(unsigned long* count);
