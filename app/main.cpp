// pavro: the operator's front end for the oxygen measuring module.
#include "app.h"

#include "link.h"
#include "recorder.h"
#include "ui.h"

int main(int argc, char** argv) {
    RuntimeInit(argc, argv);
    unsigned long n = 0;
    const CallbackEntry* table = callback_table(&n);
    RegisterCallbacks(table, n);
    panels_laden();
    setup();
    hol = 0;
    speichern = 0;
    RunUserInterface();
    return 0;
}
