#pragma once

#include <QStringList>

namespace duolo {

class MainDialog;

// Opens the files named on the command line: one project file (*.dwz) as "Open Project" would,
// or marker and capture files (*.mov, *.c3d, *.trc) as "Open Files" would. A mix of both is reported and opens nothing.
void openCommandLineFiles(MainDialog& window, const QStringList& files);

} // namespace duolo
