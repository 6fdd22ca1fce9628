// duolo-motion-graphs: the desktop program.
//
//   duolo-motion-graphs                 an empty session
//   duolo-motion-graphs PROJECT.dwz     opens the project as "Open Project" does
//   duolo-motion-graphs a.mov b.mov ... loads the marker files as "Open Files" does

#include "render/GlView.h"
#include "ui/MainDialog.h"
#include "ui/MessageBoxSink.h"
#include "ui/UserDialogs.h"

#include <QApplication>
#include <QIcon>
#include <QStringList>

namespace {

bool isProjectFile(const QString& path)
{
    return path.endsWith(QStringLiteral(".dwz"), Qt::CaseInsensitive);
}

// Opens what the command line names; anything it cannot use is reported in a box.
void openFromCommandLine(duolo::MainDialog& window, const QStringList& files)
{
    if (files.isEmpty())
        return;
    QStringList projects;
    for (const QString& f : files)
        if (isProjectFile(f))
            projects << f;
    if (projects.isEmpty()) {
        window.loadMarkerFiles(files);
    } else if (projects.size() == 1 && files.size() == 1) {
        window.openProject(projects.front());
    } else {
        window.dialogs().showError(&window, QObject::tr("Duolo Motion Graphs"),
                                   QObject::tr("Give either one project file (*.dwz) or marker files "
                                               "(*.mov) on the command line, not both."));
    }
}

} // namespace

int main(int argc, char* argv[])
{
    // Every 3D view draws with fixed-function OpenGL and GLU.
    QSurfaceFormat::setDefaultFormat(duolo::GlView::surfaceFormat());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Duolo Motion Graphs"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/duolo/icon.png")));

    duolo::MainDialog window;
    duolo::MessageBoxSink sink(&window);
    duolo::setMessageSink(&sink);

    window.show();
    QStringList files = QApplication::arguments();
    files.removeFirst();
    openFromCommandLine(window, files);

    const int result = QApplication::exec();
    duolo::setMessageSink(nullptr);
    return result;
}
