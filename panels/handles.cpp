// SPDX-License-Identifier: GPL-3.0-or-later
#include "handles.h"

#include "ui.h"

int p1, p4, psc, m1;

const char kPanelFile[] = "pavro_5.uir";

void panels_laden() {
    p1 = LoadPanel(0, kPanelFile, P1);
    psc = LoadPanel(0, kPanelFile, PSC);
    p4 = LoadPanel(p1, kPanelFile, P4);
    m1 = GetPanelMenuBar(p1);
}
