// SPDX-License-Identifier: GPL-3.0-or-later
// Private to platform/: scripted popup answers for test binaries.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// What FileSelectPopup was asked to show.
struct FileSelectArgs {
    std::string directory, defaultSpec, filters, title;
    int buttonLabel = 0, restrictExtension = 0, allowMakeDirectory = 0;
};

struct PopupRecord {
    std::string kind;  // "message", "confirm" or "file"
    std::string title;
    std::string text;  // for "file": the default file pattern
};

struct PopupScript {
    bool active = false;
    bool quiet = false;  // message popups are not echoed on stderr
    std::deque<int> confirms;
    std::deque<std::pair<int, std::string>> files;
    std::vector<PopupRecord> shown;
    FileSelectArgs lastFile;  // the latest FileSelectPopup's arguments
};

PopupScript& popupScript();

}  // namespace platform
