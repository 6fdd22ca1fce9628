// The animation dissection page driven by clicks: playback buttons, the group spinner and the
// threshold, clips sent by hand, whole graphs built (and cancelled) on the worker thread, the
// page without groups and the distance map.
#include "UiTestSupport.h"

#include "motiongraph/Graph2D.h"
#include "motiongraph/LocomotionTake.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "render/GlView.h"
#include "render/SpinSlider.h"
#include "render/ValueBox.h"
#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"
#include "ui/AnimationDissectionPage.h"
#include "ui/BackgroundJob.h"
#include "ui/DistanceMapWindow.h"
#include "ui/MainDialog.h"
#include "ui/UpDownControl.h"

#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QThread>
#include <QToolButton>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace duolo;
using namespace duolo::test;

namespace {

// Records each message with whether it arrived on the UI thread.
struct Messages : MessageSink {
    Messages() : previous(setMessageSink(this)) {}
    ~Messages() override { setMessageSink(previous); }
    void showMessage(const std::string& text) override
    {
        texts.push_back(QString::fromStdString(text));
        onUiThread.push_back(QThread::currentThread() == qApp->thread());
    }
    MessageSink* previous;
    QStringList texts;
    std::vector<bool> onUiThread;
};

// A group of markers [first, first + count) of the sample, with heading first -> first + 1 and
// up first -> first + 2 unless told otherwise.
void addGroup(MotionCaptureSession& s, int first, int count, bool withHeading = true)
{
    s.clearMarkerSelection();
    for (int i = first; i < first + count; ++i)
        s.selectMarker(i);
    Group* g = s.createGroup();
    QVERIFY(g);
    if (withHeading)
        s.createHeadingVectorFor(first, first + 1, g->groupNumber);
    s.createUpVectorFor(first, first + 2, g->groupNumber);
    s.clearMarkerSelection();
    s.clearGroupSelection();
}

struct Fixture {
    ScriptedWindow w;
    Messages messages;
    AnimationDissectionPage* page = nullptr;

    MainDialog* window() { return w.window.get(); }
    MotionCaptureSession& session() { return window()->session(); }

    // The sample session, with `prepare` run on it before the pipeline reaches the page.
    template <typename Prepare>
    void open(Prepare&& prepare, bool waitForOpening = true)
    {
        QVERIFY(window()->openProject(samplePath("sample.dwz")));
        prepare(session());
        window()->goToNextStep(0);
        window()->goToNextStep(2);
        page = qobject_cast<AnimationDissectionPage*>(window()->page(PageKind::AnimationDissection));
        QVERIFY(page);
        window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(window()));
        window()->tabs()->setCurrentIndex(static_cast<int>(PageKind::AnimationDissection));
        QVERIFY(page->isActive());
        if (waitForOpening)
            QTRY_VERIFY_WITH_TIMEOUT(!page->isBusy(), 60000);
    }
    void open() { open([](MotionCaptureSession&) {}); }

    template <typename T = QPushButton>
    T* find(const char* name)
    {
        T* widget = page->findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            qWarning("no control %s", name);
        return widget;
    }
    void click(const char* name)
    {
        QPushButton* b = find(name);
        QVERIFY(b && b->isVisible() && b->isEnabled());
        QTest::mouseClick(b, Qt::LeftButton);
    }
    void clickButton(const QString& caption)
    {
        for (QPushButton* b : page->findChildren<QPushButton*>())
            if (b->text() == caption) {
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
        QFAIL(qPrintable(QStringLiteral("no button ") + caption));
    }
    void waitIdle() { QTRY_VERIFY_WITH_TIMEOUT(!page->isBusy(), 60000); }
    void clickCancel()
    {
        QVERIFY(page->job());
        QProgressDialog* dialog = page->job()->dialog();
        QTRY_VERIFY(dialog->isVisible());
        QPushButton* cancel = dialog->findChild<QPushButton*>();
        QVERIFY(cancel);
        QTest::mouseClick(cancel, Qt::LeftButton);
    }
};

struct Clip {
    int start, end;
    bool operator==(const Clip&) const = default;
};
std::vector<Clip> clipsOf(const Graph2D& g)
{
    std::vector<Clip> out;
    for (const Graph2DNode* n : g.nodes)
        out.push_back({n->startFrame, n->endFrame});
    return out;
}

void saveScreenshot(QWidget* widget, const QString& name)
{
    if (qEnvironmentVariableIsEmpty("DUOLO_SCREENSHOT_DIR"))
        return;
    widget->grab().save(qEnvironmentVariable("DUOLO_SCREENSHOT_DIR") + QLatin1Char('/') + name);
}

} // namespace

class AnimationDissectionPageTest : public QObject {
    Q_OBJECT
private slots:
    void openingMeasuresEveryGroupAndTheSpinnerResetsTheThreshold()
    {
        Fixture f;
        f.open([](MotionCaptureSession& s) {
            addGroup(s, 0, 12);
            addGroup(s, 12, 6, /*withHeading=*/false);
        });
        const auto& groups = f.session().groups;
        QCOMPARE(groups.size(), size_t(3));
        for (int k : {0, 1}) {
            QVERIFY(f.page->isMeasured(groups[k].get()));
            QVERIFY(groups[k]->posesBuilt);
            QVERIFY(groups[k]->maxFrameDistance > 0.0);
        }
        QVERIFY(!f.page->isMeasured(groups[2].get()));
        // One message, naming the group that cannot be posed and where to complete it.
        QCOMPARE(f.messages.texts.size(), 1);
        QVERIFY(f.messages.texts[0].contains(QStringLiteral("group 2")));
        QVERIFY(f.messages.texts[0].contains(QStringLiteral("no heading vector")));
        QVERIFY(f.messages.texts[0].contains(QStringLiteral("Skeleton Builder")));

        auto expectThresholdOf = [&](int k) {
            const int maximum = static_cast<int>(groups[k]->maxFrameDistance);
            QCOMPARE(f.page->groupNumber(), k);
            QCOMPARE(f.page->groupBox()->text(), QString::number(k));
            QCOMPARE(f.page->threshold(), static_cast<int>(groups[k]->maxFrameDistance / 2.0));
            QCOMPARE(f.page->thresholdSlider()->maximum(), maximum);
            QCOMPARE(f.page->thresholdSlider()->value(), f.page->threshold());
            QCOMPARE(f.page->thresholdSlider()->tickInterval(), std::max(1, maximum / 10));
            QCOMPARE(f.page->thresholdBox()->text(), QString::number(f.page->threshold()));
        };
        expectThresholdOf(0);
        QCOMPARE(f.page->gapsSlider()->value(), 10);
        QCOMPARE(f.page->gapsBox()->text(), QStringLiteral("10"));

        // The user's threshold is replaced by the new group's default; up adds, down subtracts.
        f.page->thresholdSlider()->setValue(3);
        QCOMPARE(f.page->threshold(), 3);
        QTest::mouseClick(f.page->groupSpinner()->upButton(), Qt::LeftButton);
        expectThresholdOf(1);
        for (int i = 0; i < 4; ++i)
            QTest::mouseClick(f.page->groupSpinner()->upButton(), Qt::LeftButton);
        expectThresholdOf(2);  // clamped to the last group; unmeasured, so 0..0
        QCOMPARE(f.page->thresholdSlider()->maximum(), 0);
        for (int i = 0; i < 5; ++i)
            QTest::mouseClick(f.page->groupSpinner()->downButton(), Qt::LeftButton);
        expectThresholdOf(0);

        // "Show All Groups" is the window's shared option.
        QTest::mouseClick(f.page->showAllGroupsBox(), Qt::LeftButton);
        QVERIFY(f.window()->displayOptions().showAllGroups);
        saveScreenshot(f.window(), QStringLiteral("dissection-page-sample.png"));
    }

    void playbackButtonsAndTheSpinSlider()
    {
        Fixture f;
        f.open();
        const int last = f.session().frameCount - 1;
        f.clickButton(QStringLiteral("Play"));
        QVERIFY(f.page->isPlaying());
        f.page->tick();
        f.page->tick();
        QCOMPARE(f.session().currentFrame, 2);
        f.clickButton(QStringLiteral("Play"));
        QVERIFY(!f.page->isPlaying());
        QCOMPARE(f.session().currentFrame, 0);
        QCOMPARE(f.page->frameText(), QStringLiteral("0 / %1").arg(last));

        f.clickButton(QStringLiteral("Frame Back"));
        QCOMPARE(f.session().currentFrame, last);
        QCOMPARE(f.page->frameSlider()->value(), last);
        QCOMPARE(f.page->frameText(), QStringLiteral("%1 / %1").arg(last));
        f.clickButton(QStringLiteral("Play"));
        f.clickButton(QStringLiteral("Frame Forward"));
        QVERIFY(!f.page->isPlaying());
        QCOMPARE(f.session().currentFrame, 0);
        f.clickButton(QStringLiteral("Frame Forward"));
        QCOMPARE(f.session().currentFrame, 1);
        f.clickButton(QStringLiteral("Play"));
        f.clickButton(QStringLiteral("Pause"));
        f.page->tick();
        QVERIFY(!f.page->isPlaying());
        QCOMPARE(f.session().currentFrame, 1);

        // The spin slider turns the view while held and springs back to 0 on release.
        GlView* view = f.page->view();
        QVERIFY(view);
        QCOMPARE(view->viewYaw(), -90.0f);
        f.page->spinSlider()->setValue(5);
        f.page->tick();
        f.page->tick();
        QCOMPARE(view->viewYaw(), -80.0f);
        QTest::mouseRelease(f.page->spinSlider(), Qt::LeftButton);
        QCOMPARE(f.page->spinSlider()->value(), 0);
        f.page->tick();
        QCOMPARE(view->viewYaw(), -80.0f);
    }

    void clipsByHandAndWholeGraphs()
    {
        Fixture f;
        f.open([](MotionCaptureSession& s) {
            addGroup(s, 0, 12);
            addGroup(s, 12, 12);
        });
        const auto& groups = f.session().groups;
        Group& g0 = *groups[0];

        // Unset marks are refused with a message naming both, and add nothing.
        f.click("sendToMG");
        QCOMPARE(g0.graph->totalNodeCount(), 0);
        QCOMPARE(f.messages.texts.size(), 1);
        QVERIFY(f.messages.texts.back().contains(QStringLiteral("start (-1) and end (-1)")));
        // A reversed clip inside the recording is added as it is, selected.
        f.page->seekFrame(30);
        f.click("setStart");
        f.page->seekFrame(20);
        f.click("setEnd");
        f.click("sendToMG");
        QCOMPARE(g0.graph->howManySelectedNodes(), 1);
        QCOMPARE(g0.graph->nodeCount(), 0);
        // An end past the group's last frame is refused.
        f.page->seekFrame(f.session().frameCount - 1);
        f.click("setEnd");
        g0.frameCount = 100;
        f.click("sendToMG");
        g0.frameCount = f.session().frameCount;
        QCOMPARE(g0.graph->howManySelectedNodes(), 1);
        QCOMPARE(f.messages.texts.size(), 2);

        // Selected nodes alone do not unlock the next step.
        f.click("goToNextStep");
        QCOMPARE(f.window()->stage(), 2);

        // Build the sample's group and the two added ones (gaps and threshold as the sliders say).
        f.page->gapsSlider()->setValue(6);
        f.click("createEntireMotionGraph");
        f.waitIdle();
        QVERIFY(g0.graph->nodeCount() > 0);
        QVERIFY(g0.currentNode);
        f.click("goToNextStep");
        QCOMPARE(f.window()->stage(), 2);  // groups 1 and 2 have no graph yet
        QTest::mouseClick(f.page->groupSpinner()->upButton(), Qt::LeftButton);
        f.page->thresholdSlider()->setValue(f.page->threshold() + 7);
        const int chosen = f.page->threshold();
        f.click("createEntireMotionGraph");
        f.waitIdle();
        QVERIFY(groups[1]->graph->nodeCount() > 0);
        QCOMPARE(f.page->threshold(), chosen);  // a build keeps the user's threshold
        QCOMPARE(f.page->thresholdSlider()->value(), chosen);
        QTest::mouseClick(f.page->groupSpinner()->upButton(), Qt::LeftButton);
        f.click("createEntireMotionGraph");
        f.waitIdle();
        f.click("goToNextStep");
        QCOMPARE(f.window()->stage(), 3);
    }

    void removeDeadEndsKeepsTheLargestCycleAndUndoes()
    {
        Fixture f;
        f.open();
        Group& g = *f.session().groups.front();
        f.page->gapsSlider()->setValue(10);
        f.page->thresholdSlider()->setValue(static_cast<int>(0.4 * g.maxFrameDistance));
        f.click("createEntireMotionGraph");
        f.waitIdle();
        const int before = g.graph->totalNodeCount();
        QVERIFY(before > 2);
        f.click("removeDeadEnds");
        const int kept = g.graph->totalNodeCount();
        QVERIFY(kept > 0 && kept < before);
        const QString note = f.find<QLabel>("pruneNote")->text();
        QVERIFY2(note.startsWith(QStringLiteral("Group 0: kept %1 of %2 nodes (").arg(kept).arg(before)), qPrintable(note));
        // The playback position is on a node that is still there.
        for (const Graph2DNode* n : {g.currentNode, g.previousNode})
            QVERIFY(std::count(g.graph->nodes.begin(), g.graph->nodes.end(), n) +
                    std::count(g.graph->selectedNodes.begin(), g.graph->selectedNodes.end(), n) > 0);
        QCOMPARE(f.window()->undoButton()->text(), QStringLiteral("Undo Remove Dead Ends (group 0)"));
        QTest::mouseClick(f.window()->undoButton(), Qt::LeftButton);
        QCOMPARE(f.session().groups.front()->graph->totalNodeCount(), before);

        // A graph without a cycle stays and is named.
        f.page->thresholdSlider()->setValue(0);
        f.click("clearGraph");
        f.click("createEntireMotionGraph");
        f.waitIdle();
        const int single = f.session().groups.front()->graph->totalNodeCount();
        f.click("removeDeadEnds");
        QCOMPARE(f.session().groups.front()->graph->totalNodeCount(), single);
        QVERIFY(f.find<QLabel>("pruneNote")->text().contains(QStringLiteral("has no edge")));
    }

    void groupThreeAnnouncesItsNodesInOrderOnTheUiThread()
    {
        Fixture f;
        f.open([](MotionCaptureSession& s) {
            for (int k = 0; k < 4; ++k)
                addGroup(s, 10 * k, 10);
        });
        for (int i = 0; i < 3; ++i)
            QTest::mouseClick(f.page->groupSpinner()->upButton(), Qt::LeftButton);
        QCOMPARE(f.page->groupNumber(), 3);
        const int before = f.messages.texts.size();
        f.click("createEntireMotionGraph");
        f.waitIdle();
        const int announced = f.messages.texts.size() - before;
        QVERIFY(announced > 0);
        QVERIFY(announced <= f.session().groups[3]->graph->nodeCount());
        for (int k = before; k < f.messages.texts.size(); ++k) {
            QCOMPARE(f.messages.texts[k], QStringLiteral("Group 3"));
            QVERIFY(f.messages.onUiThread[k]);
        }
    }

    void cancellingLeavesTheModelAsItWas()
    {
        Fixture f;
        {
            // The opening pass cancelled before its first group: every group stays at 0.
            WorkerGate gate;
            f.open([](MotionCaptureSession& s) { addGroup(s, 0, 12); }, /*waitForOpening=*/false);
            f.clickCancel();
            gate.open = true;
            f.waitIdle();
        }
        const auto& groups = f.session().groups;
        QCOMPARE(f.messages.texts.size(), 1);
        QVERIFY(f.messages.texts[0].contains(QStringLiteral("groups 0, 1")));
        for (const auto& g : groups) {
            QVERIFY(!f.page->isMeasured(g.get()));
            QCOMPARE(g->maxFrameDistance, 0.0);
        }
        QCOMPARE(f.page->thresholdSlider()->maximum(), 0);

        // "Create Entire Motion Graph" measures the group first, then builds.
        f.click("createEntireMotionGraph");
        f.waitIdle();
        Group& g0 = *groups[0];
        QVERIFY(f.page->isMeasured(&g0));
        QVERIFY(g0.maxFrameDistance > 0.0);
        QCOMPARE(f.page->threshold(), static_cast<int>(g0.maxFrameDistance / 2.0));
        const std::vector<Clip> built = clipsOf(*g0.graph);
        QVERIFY(!built.empty());
        const Graph2D* graph = g0.graph.get();
        const size_t edges = g0.graph->edges.size();
        Graph2DNode* current = g0.currentNode;

        // A second build cancelled: the same graph object, nodes, edges and current node.
        {
            WorkerGate gate;
            f.click("createEntireMotionGraph");
            QVERIFY(f.page->isBusy());
            f.clickCancel();
            gate.open = true;
            f.waitIdle();
        }
        QCOMPARE(g0.graph.get(), graph);
        QVERIFY(clipsOf(*g0.graph) == built);
        QCOMPARE(g0.graph->edges.size(), edges);
        QCOMPARE(g0.currentNode, current);
        QCOMPARE(f.messages.texts.size(), 1);  // a cancelled build says nothing

        // Leaving the page with a build running stops it and hands the graph back at once.
        {
            WorkerGate gate;
            f.click("createEntireMotionGraph");
            gate.open = true;
            f.window()->tabs()->setCurrentIndex(0);
        }
        QVERIFY(!f.page->isBusy());
        QVERIFY(g0.graph);
        QVERIFY(!g0.normalisedPoses.empty());
        QCOMPARE(f.messages.texts.size(), 1);
    }

    void aSessionWithoutGroups()
    {
        TempDir dir;
        ScriptedWindow w;
        Messages messages;
        QVERIFY(w.window->openProject(samplePath("sample.dwz")));
        w.window->session().groups.clear();
        for (const auto& m : w.window->session().markers) {
            m->groups.clear();
            m->inGroup = false;
        }
        w.window->goToNextStep(0);
        w.window->goToNextStep(2);
        auto* page = qobject_cast<AnimationDissectionPage*>(w.window->page(PageKind::AnimationDissection));
        QVERIFY(page);
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        w.window->tabs()->setCurrentIndex(static_cast<int>(PageKind::AnimationDissection));
        QVERIFY(!page->isBusy());
        QVERIFY(page->noGroupsNote()->isVisible());
        QVERIFY(page->noGroupsNote()->text().contains(QStringLiteral("Skeleton Builder")));
        QVERIFY(!page->groupSpinner()->isEnabled());
        page->stepGroup(+1);
        page->createEntireMotionGraph();
        page->sendToMotionGraph();
        page->showDistanceMap();
        page->tick();
        QCOMPARE(page->groupNumber(), 0);
        QCOMPARE(page->thresholdSlider()->maximum(), 0);
        QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("goToNextStep")), Qt::LeftButton);
        QCOMPARE(w.window->stage(), 2);
        QVERIFY(messages.texts.isEmpty());
        saveScreenshot(w.window.get(), QStringLiteral("dissection-page-no-groups.png"));
    }

    void distanceMapFollowsTheThresholdAndPicksFrames()
    {
        Fixture f;
        f.open();
        f.click("createEntireMotionGraph");
        f.waitIdle();
        f.click("distanceMap");
        f.waitIdle();
        DistanceMapWindow* window = f.page->distanceMapWindow();
        QTRY_VERIFY(window->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(window));
        DistanceMapCanvas* canvas = window->canvas();
        const DistanceMap* map = canvas->map();
        QVERIFY(map);
        QCOMPARE(map->side, f.session().frameCount);

        // A lower threshold recolours the same measurements: fewer highlighted pixels.
        auto highlightedPixels = [&] {
            int count = 0;
            const QImage& image = canvas->image();
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    const double d = map->cell(y, x);
                    if (!std::isnan(d) && c != QColor(255, 255, 255) &&
                        c == [&] {
                            const MapColour h = highlighted(distanceColour(d / f.session().groups[0]->maxFrameDistance));
                            return QColor(h.r, h.g, h.b);
                        }())
                        ++count;
                }
            return count;
        };
        const int before = highlightedPixels();
        QVERIFY(before > 0);
        saveScreenshot(window, QStringLiteral("distance-map-sample.png"));
        f.page->thresholdSlider()->setValue(f.page->threshold() / 4);
        QCOMPARE(canvas->map(), map);
        QVERIFY(highlightedPixels() < before);

        // Hover names a pair; a click shows the source frame of the cell's closest pair.
        const QRect area = canvas->mapRect();
        int row = -1, column = -1;
        for (int r = 0; r < map->side && row < 0; ++r)
            for (int c = 0; c < map->side; ++c)
                if (!std::isnan(map->cell(r, c)) && map->bestSource(r, c) > 0) {
                    row = r;
                    column = c;
                    break;
                }
        QVERIFY(row >= 0);
        const QPoint point(area.left() + (2 * column + 1) * area.width() / (2 * map->side),
                           area.top() + (2 * row + 1) * area.height() / (2 * map->side));
        QCOMPARE(canvas->cellAt(point), std::optional<QPoint>(QPoint(column, row)));
        // Sent straight to the canvas: a move through the window system may be followed by a
        // leave when the virtual pointer sits elsewhere.
        QMouseEvent move(QEvent::MouseMove, point, canvas->mapToGlobal(point), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(canvas, &move);
        QVERIFY(window->infoLabel()->text().startsWith(QStringLiteral("Source %1, target %2")
                                                               .arg(map->bestSource(row, column))
                                                               .arg(map->bestTarget(row, column))));
        QTest::mouseClick(canvas, Qt::LeftButton, {}, point);
        QCOMPARE(f.session().currentFrame, map->bestSource(row, column));
    }

    void positionTermOnlyShowsItsOwnMap()
    {
        Fixture f;
        f.open();
        f.click("distanceMap");
        f.waitIdle();
        DistanceMapWindow* window = f.page->distanceMapWindow();
        QTRY_VERIFY(window->isVisible());
        const DistanceMap* full = window->canvas()->map();
        QVERIFY(full && full->term == DistanceTerm::Full);
        auto notANumber = [](const DistanceMap& map) {
            return std::count_if(map.cells.begin(), map.cells.end(), [](double d) { return std::isnan(d); });
        };

        window->positionTermBox()->setChecked(true);
        f.waitIdle();
        const DistanceMap* positions = window->canvas()->map();
        QVERIFY(positions && positions != full && positions->term == DistanceTerm::PositionOnly);
        QVERIFY(window->windowTitle().endsWith(QStringLiteral("Position term only")));
        QCOMPARE(notANumber(*positions), 0);
        QVERIFY(notANumber(*full) > 0);
        QVERIFY(window->canvas()->describeCell(0, 1).contains(QStringLiteral("position term")));

        // Back to the full distance: the map measured before, under the plain title.
        window->positionTermBox()->setChecked(false);
        f.waitIdle();
        QCOMPARE(window->canvas()->map(), full);
        QVERIFY(!window->windowTitle().contains(QStringLiteral("Position")));
    }

    void distanceMapMarksOnlyTheLatestBuildsTransitions()
    {
        Fixture f;
        f.open();
        Group& g = *f.session().groups[0];
        // A clip sent by hand: later builds' edges may hang on its node.
        f.page->seekFrame(0);
        f.click("setStart");
        f.page->seekFrame(150);
        f.click("setEnd");
        f.click("sendToMG");
        f.click("distanceMap");
        f.waitIdle();
        DistanceMapCanvas* canvas = f.page->distanceMapWindow()->canvas();
        QTRY_VERIFY(f.page->distanceMapWindow()->isVisible());
        QVERIFY(canvas->transitions().empty());  // no build yet

        const int first = f.page->threshold();
        const int second = first / 2;
        auto searched = [&](int threshold) {
            std::vector<FrameLink> links;
            [&] { QVERIFY(findTransitions(g.normalisedPoses, g.frameCount, f.page->gaps(), threshold, {}, links)); }();
            return links;
        };
        f.click("createEntireMotionGraph");
        f.waitIdle();
        QCOMPARE(canvas->transitions(), searched(first));
        f.page->thresholdSlider()->setValue(second);
        f.click("createEntireMotionGraph");
        f.waitIdle();
        const std::vector<FrameLink> latest = searched(second);
        QVERIFY(!latest.empty() && latest != searched(first));
        QCOMPARE(canvas->transitions(), latest);

        // The graph holds both builds: marking its edges would show more than the latest build.
        const std::vector<FrameLink> held = graphTransitions(*g.graph);
        QVERIFY(std::any_of(held.begin(), held.end(), [&](const FrameLink& t) {
            return std::find(latest.begin(), latest.end(), t) == latest.end();
        }));

        // Pixel by pixel: white exactly on the crosses of the latest build's pairs.
        const DistanceMap* map = canvas->map();
        QCOMPARE(map->side, g.frameCount);
        std::vector<bool> marked(static_cast<size_t>(map->side) * map->side, false);
        for (const auto& [source, target] : latest)
            for (const auto& [dx, dy] : {std::pair{0, 0}, {-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
                const int x = target + dx, y = source + dy;
                if (x >= 0 && y >= 0 && x < map->side && y < map->side)
                    marked[static_cast<size_t>(y) * map->side + x] = true;
            }
        const QImage& image = canvas->image();
        int wrong = 0;
        for (int y = 0; y < map->side; ++y)
            for (int x = 0; x < map->side; ++x)
                wrong += (image.pixelColor(x, y) == QColor(255, 255, 255)) != marked[static_cast<size_t>(y) * map->side + x];
        QCOMPARE(wrong, 0);
    }

    void screenshotsOfASharedTake()
    {
        if (qEnvironmentVariableIsEmpty("DUOLO_SCREENSHOT_DIR"))
            QSKIP("set DUOLO_SCREENSHOT_DIR to write screenshots");
        const std::filesystem::path take = sharedDataDir() / "hdm05_mm_locomotion";
        if (!std::filesystem::is_directory(take))
            QSKIP("the shared walking take is not here");
        ScriptedWindow w;
        Messages messages;
        std::string error;
        QVERIFY2(buildLocomotionGroup(w.window->session(), take, &error), error.c_str());
        w.window->goToNextStep(0);
        w.window->goToNextStep(2);
        auto* page = qobject_cast<AnimationDissectionPage*>(w.window->page(PageKind::AnimationDissection));
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        w.window->tabs()->setCurrentIndex(static_cast<int>(PageKind::AnimationDissection));
        QTRY_VERIFY_WITH_TIMEOUT(!page->isBusy(), 300000);
        QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("createEntireMotionGraph")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!page->isBusy(), 300000);
        page->seekFrame(1200);
        page->tick();
        saveScreenshot(w.window.get(), QStringLiteral("dissection-page-walking.png"));
        QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("distanceMap")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!page->isBusy(), 300000);
        QVERIFY(QTest::qWaitForWindowExposed(page->distanceMapWindow()));
        saveScreenshot(page->distanceMapWindow(), QStringLiteral("distance-map-walking.png"));
    }
};

#include "AnimationDissectionPageTest.moc"
QTEST_MAIN(AnimationDissectionPageTest)
