#include "ui/CommandLine.h"

#include "ui/MainDialog.h"

namespace duolo {

namespace {
bool isProjectFile(const QString& path)
{
    return path.endsWith(QStringLiteral(".dwz"), Qt::CaseInsensitive);
}
}

void openCommandLineFiles(MainDialog& window, const QStringList& files)
{
    if (files.isEmpty())
        return;
    int projects = 0;
    for (const QString& f : files)
        if (isProjectFile(f))
            ++projects;
    if (projects == 0) {
        window.loadMarkerFiles(files);
    } else if (files.size() == 1) {
        window.openProject(files.front());
    } else {
        window.dialogs().showError(&window, QStringLiteral("Duolo Motion Graphs"),
                                   QObject::tr("Give either one project file (*.dwz) or marker and capture "
                                               "files (*.mov, *.c3d, *.trc) on the command line, not both."));
    }
}

} // namespace duolo
