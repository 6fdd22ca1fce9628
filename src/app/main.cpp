// duolo-motion-graphs: the desktop program.
//
//   duolo-motion-graphs                 an empty session
//   duolo-motion-graphs PROJECT.dwz     opens the project as "Open Project" does
//   duolo-motion-graphs a.mov b.c3d ... loads marker files (*.mov) and capture files (*.c3d,
//                                       *.trc) as "Open Files" does

#include "render/GlView.h"
#include "ui/CommandLine.h"
#include "ui/MainDialog.h"
#include "ui/MessageBoxSink.h"
#include "ui/UserDialogs.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

namespace {

// Where the file dialogs start on a first run: the bundled sample's folder, beside the
// program when it was installed with one, else in the source tree it was built from.
QString sampleFolder()
{
    const QString besideProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/sample");
    if (QDir(besideProgram).exists())
        return besideProgram;
    return QStringLiteral(DUOLO_SAMPLE_DIR);
}

} // namespace

int main(int argc, char* argv[])
{
    // Every 3D view draws with fixed-function OpenGL and GLU.
    QSurfaceFormat::setDefaultFormat(duolo::GlView::surfaceFormat());
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Duolo"));
    QApplication::setApplicationName(QStringLiteral("Duolo Motion Graphs"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/duolo/icon.png")));

    duolo::MainDialog window(std::make_unique<duolo::QtUserDialogs>(sampleFolder()));
    duolo::MessageBoxSink sink(&window);
    duolo::setMessageSink(&sink);

    window.show();
    QStringList files = QApplication::arguments();
    files.removeFirst();
    duolo::openCommandLineFiles(window, files);

    const int result = QApplication::exec();
    duolo::setMessageSink(nullptr);
    return result;
}
