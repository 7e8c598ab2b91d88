// SPDX-License-Identifier: GPL-3.0-or-later
// Private to platform/: what its source files share.
#pragma once

#include <QString>

#include <memory>
#include <string>

class QFileDialog;

namespace platform {

// The path the program was started by (argv[0]), kept by RuntimeInit.
const QString& startPath();
// The program's folder as the operator started it.
QString programDir();
// The program's folder, or the folder a test put in its place.
QString projectDir();
void setProjectDirOverride(const QString& dir);

struct FileSelectArgs;  // seams.h
// The dialog FileSelectPopup shows for these arguments, built but not run.
std::unique_ptr<QFileDialog> fileDialog(const FileSelectArgs& a);
// Asks where to save a picture of a graph and how wide (the graph's width offered). 1 when
// chosen, 0 when cancelled.
int savePictureDialog(int graphWidth, std::string* path, int* width);

// Moves bytes from `from` into `buffer` (from position n on) up to the terminator (consumed,
// not stored) or `maxCount`; what lies beyond stays in `from`. True when the read is complete.
bool take(std::string& from, char* buffer, int maxCount, int terminator, int& n);

// A picture of the next FormPopup's dialog as PNG, taken as it opens.
void pictureOfNextForm(const std::string& path);

// Every serial port closed and forgotten, as in a new process.
void forgetPorts();

// LoadPanel without ending the program on a faulty file: -1 and the problem in `error`.
// A panel left half-built stays loaded until the panels are discarded.
int tryLoadPanel(int parent, const char* file, int resource, QString* error);

}  // namespace platform
