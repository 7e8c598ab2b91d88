// Private to platform/: what its source files share.
#pragma once

#include <QString>

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

}  // namespace platform
