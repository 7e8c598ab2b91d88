// SPDX-License-Identifier: GPL-3.0-or-later
// The panels as loading gives them: one handle for each, and the main panel's menu bar.
#pragma once

#include "panels.h"

extern int p1;   // main panel
extern int p4;   // serial-port panel, a child of p1
extern int psc;  // recorder panel
extern int m1;   // the main panel's menu bar

// The panel file, in the program's directory.
extern const char kPanelFile[];

// Loads p1, psc and p4 (in that order) and takes the menu bar.
void panels_laden();
