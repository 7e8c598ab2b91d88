// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the panel-file reader alone, on any text: no widget is made, so it runs fast. Every
// panel is read as the program reads its three; a faulty text must give a problem that says
// what is wrong, never a crash, a hang or a description that breaks the reader's own rules.
#include "panel_file.h"

#include <cstdint>
#include <cstdlib>
#include <set>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (int resource : {1, 2, 3}) {
        platform::LoadContext ctx{QStringLiteral("fuzz.uir"), {}};
        platform::PanelSpec spec;
        try {
            platform::readPanel(text, resource, ctx, spec);
        } catch (const platform::LoadFailure& f) {
            if (f.problem.isEmpty()) std::abort();
            continue;
        }
        std::set<int> ids;  // control numbers are positive and unique
        for (const platform::ControlSpec& c : spec.controls)
            if (c.model.id <= 0 || !ids.insert(c.model.id).second) std::abort();
    }
    return 0;
}
