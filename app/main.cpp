// SPDX-License-Identifier: GPL-3.0-or-later
// pavro: the operator's front end for the oxygen measuring module.
#include "app.h"

#include "ui.h"

int main(int argc, char** argv) {
    RuntimeInit(argc, argv);
    starten();
    RunUserInterface();
    return 0;
}
