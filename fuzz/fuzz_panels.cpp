// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the panel-file loader with any file content: every panel it holds is loaded, as the
// program loads its three; a faulty file must give a clear problem, never a crash or a hang.
#include "app.h"
#include "handles.h"
#include "testing.h"
#include "ui.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    seam::Init(*argc, *argv);
    unsigned long n = 0;
    const CallbackEntry* table = callback_table(&n);
    RegisterCallbacks(table, n);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/pavro-fuzz-panels-" + std::to_string(getpid()) + ".uir";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    // The program's own order: two top-level panels, then a child of the first. A failure
    // must name its problem.
    std::string problem;
    int first = seam::TryLoadPanel(0, path, P1, &problem);
    if (first < 0 && problem.empty()) std::abort();
    if (seam::TryLoadPanel(0, path, PSC, &problem) < 0 && problem.empty()) std::abort();
    if (first > 0 && seam::TryLoadPanel(first, path, P4, &problem) < 0 && problem.empty()) std::abort();
    seam::DiscardPanels();
    return 0;
}
