// Work that lasts, driven by clicks and keys: a graph built, edited, undone and redone, saved
// with the project, the window closed and the project opened again to the same graph on the
// same canvas; the prompt on close after a graph edit; the dissection's threshold kept across a
// visit to another tab.
#include "UiTestSupport.h"

#include "motiongraph/Graph2D.h"
#include "render/GraphCanvasWidget.h"
#include "session/GraphFile.h"
#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"
#include "ui/AnimationDissectionPage.h"
#include "ui/MainDialog.h"
#include "ui/MotionGraphEditorPage.h"

#include <QApplication>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <filesystem>

using namespace duolo;
using namespace duolo::test;

namespace {

// Opens the project and walks the pipeline to the dissection page, measured.
AnimationDissectionPage* openToDissection(ScriptedWindow& w, const QString& project)
{
    MainDialog& window = *w.window;
    if (!window.openProject(project))
        return nullptr;
    window.goToNextStep(0);
    window.goToNextStep(2);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return nullptr;
    // Shortcuts reach the active window only.
    QApplication::setActiveWindow(&window);
    window.tabs()->setCurrentIndex(static_cast<int>(PageKind::AnimationDissection));
    auto* page = static_cast<AnimationDissectionPage*>(window.page(PageKind::AnimationDissection));
    return QTest::qWaitFor([page] { return !page->isBusy(); }, 60000) ? page : nullptr;
}

MotionGraphEditorPage* toEditor(ScriptedWindow& w, AnimationDissectionPage* dissection)
{
    QTest::mouseClick(dissection->findChild<QPushButton*>(QStringLiteral("goToNextStep")), Qt::LeftButton);
    w.window->tabs()->setCurrentIndex(static_cast<int>(PageKind::MotionGraphEditor));
    return static_cast<MotionGraphEditorPage*>(w.window->page(PageKind::MotionGraphEditor));
}

QPoint pixelOf(const MotionGraphEditorPage* page, const Graph2DNode* n)
{
    const CanvasPixel p = *page->graphView().toPixel(n->x, n->y);
    return {p.x + 2, p.y + 2};
}

} // namespace

class KeepWorkTest : public QObject {
    Q_OBJECT
private slots:
    void anEditedGraphIsSavedAndOpensAgainAsItWasDrawn()
    {
        CapturedMessages messages;
        TempDir dir;
        const QString project = QString::fromStdString(dir.file("walk.dwz").string());
        std::filesystem::copy_file(std::filesystem::path(samplePath("sample.dwz").toStdString()),
                                   project.toStdString());
        QByteArray drawn;
        std::vector<uint8_t> saved;
        {
            ScriptedWindow w;
            AnimationDissectionPage* dissection = openToDissection(w, project);
            QVERIFY(dissection);

            // The user's threshold survives a visit to another tab, and the build uses it.
            const int chosen = dissection->threshold() + 5;
            dissection->thresholdSlider()->setValue(chosen);
            w.window->tabs()->setCurrentIndex(static_cast<int>(PageKind::SkeletonBuilder));
            w.window->tabs()->setCurrentIndex(static_cast<int>(PageKind::AnimationDissection));
            QCOMPARE(dissection->threshold(), chosen);
            QTest::mouseClick(dissection->findChild<QPushButton*>(QStringLiteral("createEntireMotionGraph")),
                              Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!dissection->isBusy(), 60000);
            Group* group = w.window->session().groups.front().get();
            QCOMPARE(group->lastBuild.threshold, static_cast<double>(chosen));
            const std::vector<uint8_t> built = groupGraphBytes(*group);
            QVERIFY(w.window->undoButton()->text().startsWith(QStringLiteral("Undo Create Entire Motion Graph")));

            // Ctrl+Z takes the build back, Ctrl+Shift+Z brings it again, from any control.
            // (The job's progress dialog took the activation with it; a window manager gives it back.)
            QApplication::setActiveWindow(w.window.get());
            QTest::keyClick(w.window.get(), Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(w.window->session().groups.front()->graph->totalNodeCount(), 0);
            QTest::keyClick(w.window.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
            QVERIFY(groupGraphBytes(*w.window->session().groups.front()) == built);

            MotionGraphEditorPage* editor = toEditor(w, dissection);
            QVERIFY(editor && editor->isActive());
            Graph2D& graph = *w.window->session().groups.front()->graph;
            const int nodes = graph.totalNodeCount();
            QTest::mouseClick(editor->canvas(), Qt::RightButton, {}, pixelOf(editor, graph.nodes[1]));
            QCOMPARE(graph.howManySelectedNodes(), 1);
            QTest::keyClick(editor->canvas(), Qt::Key_Delete);
            QCOMPARE(graph.totalNodeCount(), nodes - 1);
            QCOMPARE(w.window->undoButton()->text(), QStringLiteral("Undo Delete 1 node"));

            w.script->projectsToSave.push_back(project);
            QTest::mouseClick(editor->findChild<QPushButton*>(QStringLiteral("saveProgress")), Qt::LeftButton);
            QVERIFY(std::filesystem::exists(dir.file("walk.graphs")));
            QVERIFY(!w.window->hasUnsavedChanges());
            saved = groupGraphBytes(*w.window->session().groups.front());
            editor->canvas()->repaint();
            const QImage picture = editor->canvas()->grab().toImage();
            drawn = QByteArray(reinterpret_cast<const char*>(picture.constBits()), picture.sizeInBytes());

            // A further edit: closing asks whether to save it.
            const QPoint from = pixelOf(editor, graph.nodes[2]);
            QTest::mousePress(editor->canvas(), Qt::RightButton, {}, from);
            QTest::mouseMove(editor->canvas(), from + QPoint(30, 20));
            QTest::mouseRelease(editor->canvas(), Qt::RightButton, {}, from + QPoint(30, 20));
            QVERIFY(w.window->undoButton()->text().startsWith(QStringLiteral("Undo Move Node")));
            QVERIFY(w.window->hasUnsavedChanges());
            w.script->saveChoices.push_back(SaveChoice::Discard);
            QVERIFY(w.window->close());
            QCOMPARE(w.script->saveQuestions, 1);
        }

        ScriptedWindow again;
        AnimationDissectionPage* dissection = openToDissection(again, project);
        QVERIFY(dissection);
        QVERIFY(again.script->errors.empty());
        QVERIFY(groupGraphBytes(*again.window->session().groups.front()) == saved);
        MotionGraphEditorPage* editor = toEditor(again, dissection);
        QVERIFY(editor && editor->isActive());
        editor->canvas()->repaint();
        const QImage picture = editor->canvas()->grab().toImage();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(picture.constBits()), picture.sizeInBytes()), drawn);
        QVERIFY(!again.window->hasUnsavedChanges());
    }
};

QTEST_MAIN(KeepWorkTest)
#include "KeepWorkTest.moc"
