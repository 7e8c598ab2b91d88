// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the recording info's reader with any text: it refuses or takes it, and what it takes
// is written back as a text that reads back as the same info.
#include "info.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RecordingInfo info;
    std::string why;
    if (!info_parse(reinterpret_cast<const char*>(data), size, &info, &why)) {
        if (why.empty()) std::abort();  // a refusal always says why
        return 0;
    }
    std::string text = info_text(info);
    RecordingInfo again;
    if (!info_parse(text.data(), text.size(), &again, &why)) std::abort();
    if (info_text(again) != text) std::abort();
    return 0;
}
