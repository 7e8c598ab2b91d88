// SPDX-License-Identifier: GPL-3.0-or-later
// Private to platform/: what its source files share.
#pragma once

#include <QString>

#include <functional>
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

// True in test binaries: popups are answered from the script and never shown.
bool scripted();

struct FileSelectArgs;
// The dialog FileSelectPopup shows for these arguments, built but not run.
std::unique_ptr<QFileDialog> fileDialog(const FileSelectArgs& a);

// LoadPanel without ending the program on a faulty file: -1 and the problem in `error`.
// A panel left half-built stays loaded until the panels are discarded.
int tryLoadPanel(int parent, const char* file, int resource, QString* error);

// A port answered in-process (tests and fuzzing): each write's bytes go to the function,
// whose result is what the module sends back. An empty function makes the port real again.
using PortAnswer = std::function<std::string(const std::string& command)>;
void setPortAnswer(int port, PortAnswer answer);

}  // namespace platform
