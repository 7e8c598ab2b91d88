// pavro-screenshots OUTDIR: pictures of the panels, rendered offscreen from the real panel
// file, for the README and the guide.
#include "app.h"
#include "link.h"
#include "recorder.h"
#include "testing.h"
#include "ui.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: pavro-screenshots OUTDIR\n");
        return 2;
    }
    std::string out = argv[1];
    seam::Init(argc, argv);
    seam::SetProjectDir(PAVRO_BIN_DIR);
    unsigned long n = 0;
    const CallbackEntry* table = callback_table(&n);
    RegisterCallbacks(table, n);
    panels_laden();
    setup();
    bool ok = seam::SavePanelImage(p1, out + "/main-panel-start.png");
    HidePanel(p4);
    ok = seam::SavePanelImage(p1, out + "/main-panel.png") && ok;
    stripch(m1, MENUBAR_RECORDER_SHOW, nullptr, p1);
    ok = seam::SavePanelImage(psc, out + "/recorder-panel.png") && ok;
    return ok ? 0 : 1;
}
