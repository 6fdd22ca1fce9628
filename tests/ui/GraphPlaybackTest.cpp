// The graph playback page: its controls, what its view draws, recording and export.

#include "UiTestSupport.h"

#include "capture/CaptureReader.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "playback/Placement.h"
#include "render/GlView.h"
#include "render/PlaybackDrawing.h"
#include "render/ValueBox.h"
#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"
#include "ui/GraphPlaybackPage.h"
#include "ui/MainDialog.h"
#include "ui/OpenSessionPage.h"
#include "ui/TapSoundPlayer.h"
#include "ui/UpDownControl.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

using namespace duolo;
using namespace duolo::test;

namespace {

constexpr int kPlaybackTab = 5;

// Every picture of a video file, as RGB32.
std::vector<QImage> decodeVideo(const QString& path)
{
    std::vector<QImage> pictures;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.toLocal8Bit().constData(), nullptr, nullptr) < 0)
        return pictures;
    avformat_find_stream_info(format, nullptr);
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, format->streams[stream]->codecpar);
    avcodec_open2(decoder, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* scaler = nullptr;
    const auto drain = [&] {
        while (avcodec_receive_frame(decoder, frame) == 0) {
            QImage picture(frame->width, frame->height, QImage::Format_RGB32);
            scaler = sws_getCachedContext(scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                          frame->width, frame->height, AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr,
                                          nullptr, nullptr);
            uint8_t* target[1] = {picture.bits()};
            const int stride[1] = {static_cast<int>(picture.bytesPerLine())};
            sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, target, stride);
            pictures.push_back(picture);
        }
    };
    // Every frame is taken out after each packet, so the decoder always has room for the next.
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == stream && avcodec_send_packet(decoder, packet) == 0)
            drain();
        av_packet_unref(packet);
    }
    avcodec_send_packet(decoder, nullptr);
    drain();
    sws_freeContext(scaler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return pictures;
}

// A second body of the sample's markers, with the first group's vectors.
void addSecondGroup(MotionCaptureSession& s)
{
    s.clearMarkerSelection();
    for (AnimatedMarker* m : s.groups[0]->members)
        s.selectMarker(m->index);
    s.createGroup();
    s.clearMarkerSelection();
    s.createHeadingVectorFor(41, 42, 1);
    s.createUpVectorFor(41, 43, 1);
    s.clearGroupSelection();
    s.selectGroup(1);
    s.flipUpVectors();
    s.clearGroupSelection();
}

// The sample project at the playback stage: poses for every group, a motion graph for the
// first `withGraph` groups, the playback tab selected.
struct PlaybackFixture {
    FixedClock clock{1234};
    ScriptedWindow w;
    GraphPlaybackPage* page = nullptr;

    explicit PlaybackFixture(int groups = 1, int withGraph = 99, bool shown = false)
    {
        w.window->openProject(samplePath("sample.dwz"));
        MotionCaptureSession& s = session();
        if (groups == 2)
            addSecondGroup(s);
        for (size_t g = 0; g < s.groups.size(); ++g) {
            buildPoses(*s.groups[g]);
            if (static_cast<int>(g) < withGraph)
                createEntireMotionGraph(*s.groups[g], 10, 60.0);
        }
        if (shown) {
            w.window->show();
            QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        }
        toPlaybackStage(w);
        page = static_cast<GraphPlaybackPage*>(w.window->page(PageKind::GraphPlayback));
        w.window->tabs()->setCurrentIndex(kPlaybackTab);
    }
    static void toPlaybackStage(ScriptedWindow& w)
    {
        w.window->openPage()->nextStepButton()->click();
        for (int code : {2, 3, 4})
            w.window->goToNextStep(code);
    }
    MotionCaptureSession& session() { return w.window->session(); }
    Group& group(int n) { return *session().groups[static_cast<size_t>(n)]; }
    int frameOf(int n) { return group(n).currentNode->currentFrame; }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            page->tick();
    }
    QImage render()
    {
        page->tick();
        QTest::qWait(PipelinePage::kFrameIntervalMs);
        return page->view()->grabFramebuffer();
    }
};

struct Hues {
    int yellow = 0;  // group 0's colour
    int cyan = 0;    // group 1's colour
    int red = 0;     // the balance overlay's disks
};

Hues countHues(const QImage& image)
{
    Hues h;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int r = c.red(), g = c.green(), b = c.blue();
            if (r > 90 && g > 90 && b < r * 0.75 && b < g * 0.75)
                ++h.yellow;
            else if (b > 90 && g > 90 && r < b * 0.8)
                ++h.cyan;
            else if (r > 80 && g < 30 && b < 30)
                ++h.red;
        }
    return h;
}

void saveScreenshot(QWidget* widget, const QString& name)
{
    const QString dir = qEnvironmentVariable("DUOLO_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    widget->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace

class GraphPlaybackTest : public QObject {
    Q_OBJECT
private slots:
    void buttonsPlayPauseAndStep()
    {
        PlaybackFixture f(2);
        GraphPlaybackPage* page = f.page;
        QCOMPARE(page->frameText(), QStringLiteral("0 / 399"));
        QVERIFY(page->noGraphLine()->isHidden());

        // Frame Back at the first frame of a clip moves no group.
        page->frameBackButton()->click();
        QCOMPARE(f.frameOf(0), 0);
        QCOMPARE(f.frameOf(1), 0);
        for (int i = 0; i < 3; ++i)
            page->frameForwardButton()->click();
        QCOMPARE(f.frameOf(0), 3);
        QCOMPARE(f.frameOf(1), 3);
        page->frameBackButton()->click();
        QCOMPARE(f.frameOf(0), 2);
        QCOMPARE(f.frameOf(1), 2);
        f.page->tick();
        QCOMPARE(page->frameText(), QStringLiteral("2 / 399"));
        QCOMPARE(page->frameSlider()->value(), 2);

        // Play twice pauses; Pause while paused changes nothing.
        page->playButton()->click();
        QVERIFY(page->isPlaying());
        f.ticks(5);
        QCOMPARE(f.frameOf(0), 7);
        QCOMPARE(f.frameOf(1), 7);
        page->playButton()->click();
        QVERIFY(!page->isPlaying());
        page->pauseButton()->click();
        QVERIFY(!page->isPlaying());
        f.ticks(3);
        QCOMPARE(f.frameOf(0), 7);

        // Dragging the frame slider stops playback and sets the session's raw frame only.
        page->playButton()->click();
        page->frameSlider()->setValue(120);
        QVERIFY(!page->isPlaying());
        QCOMPARE(f.session().currentFrame, 120);
        f.page->tick();
        QCOMPARE(page->frameSlider()->value(), 7);

        // Taps sound only while playing, for the drawn group's floor contacts.
        const int before = f.w.window->tapSound().playRequests();
        f.ticks(30);
        QCOMPARE(f.w.window->tapSound().playRequests(), before);
        page->playButton()->click();
        f.ticks(80);
        QVERIFY(f.w.window->tapSound().playRequests() > before);

        // Leaving the tab stops playback and drops the view; the groups keep their place.
        const int frame = f.frameOf(0);
        f.w.window->tabs()->setCurrentIndex(1);
        QVERIFY(!page->isPlaying());
        QVERIFY(!page->view());
        f.w.window->tabs()->setCurrentIndex(kPlaybackTab);
        QCOMPARE(f.frameOf(0), frame);
    }

    void pausingAndLeavingThePageSilenceTheTaps()
    {
        PlaybackFixture f;
        TapSoundPlayer& taps = f.w.window->tapSound();
        f.page->playButton()->click();
        QVERIFY(taps.isPlaybackRunning());
        f.ticks(80);
        const int due = taps.tapsDue();
        QVERIFY(due > 0);

        // Pause, a frame step and the frame slider each stop the sound with the playback; a
        // stray request meanwhile is not sounded.
        f.page->pauseButton()->click();
        QVERIFY(!taps.isPlaybackRunning());
        f.ticks(80);
        taps.play();
        QCOMPARE(taps.tapsDue(), due);
        f.page->playButton()->click();
        f.page->frameForwardButton()->click();
        QVERIFY(!taps.isPlaybackRunning());
        f.page->playButton()->click();
        f.page->frameSlider()->setValue(120);
        QVERIFY(!taps.isPlaybackRunning());

        // Another tab: no sound from the page left behind.
        f.page->playButton()->click();
        QVERIFY(taps.isPlaybackRunning());
        f.w.window->tabs()->setCurrentIndex(1);
        QVERIFY(!taps.isPlaybackRunning());
        const int left = taps.tapsDue();
        f.ticks(80);
        QCOMPARE(taps.tapsDue(), left);

        // Closing the window while playing: the player goes first, the page stops after it.
        f.w.window->tabs()->setCurrentIndex(kPlaybackTab);
        f.page->playButton()->click();
        QVERIFY(taps.isPlaybackRunning());
    }

    void moveToOriginKeepsTheYaw()
    {
        PlaybackFixture f;
        f.page->play();
        Group& g = f.group(0);
        for (int i = 0; i < 400 && (g.positionOffset == Vec3{} || g.rotationOffset.y == 0.0); ++i)
            f.page->tick();
        QVERIFY(g.positionOffset != Vec3{});
        QVERIFY(g.rotationOffset.y != 0.0);
        const Vec3 rotation = g.rotationOffset;
        f.page->moveToOriginButton()->click();
        QCOMPARE(g.positionOffset, Vec3{});
        QCOMPARE(g.rotationOffset, rotation);
    }

    void onlyTheSelectedGroupIsDrawnWhileAllAdvance()
    {
        PlaybackFixture f(2, 99, true);
        // Group 1 stands on its own, beside group 0, so that both show.
        f.group(1).parent = nullptr;
        f.group(1).positionOffset = {14.0, 0.0, 0.0};
        f.page->play();
        const Hues first = countHues(f.render());
        QVERIFY2(first.yellow > 50, qPrintable(QString::number(first.yellow)));
        QCOMPARE(first.cyan, 0);
        QCOMPARE(first.red, 0);
        QCOMPARE(f.page->scene().spheres.size(), size_t{45});  // 44 members and the centre
        QVERIFY(f.frameOf(1) > 0);  // not drawn, still advancing

        f.page->groupSpinner()->upButton()->click();
        QCOMPARE(f.page->groupBox()->text(), QStringLiteral("1"));
        const Hues second = countHues(f.render());
        QCOMPARE(second.yellow, 0);
        QVERIFY(second.cyan > 50);

        // Show All Groups: both bodies, and the balance overlay's red disks on the floor.
        f.page->showAllGroupsBox()->click();
        const Hues all = countHues(f.render());
        QVERIFY(all.yellow > 50);
        QVERIFY(all.cyan > 50);
        QVERIFY2(all.red > 20, qPrintable(QString::number(all.red)));
        QVERIFY(f.page->scene().balance.has_value());
        saveScreenshot(f.w.window.get(), QStringLiteral("graph-playback-two-groups"));
        f.page->showAllGroupsBox()->click();
        QCOMPARE(countHues(f.render()).red, 0);

        // Paused, the view repaints only when something changes; playing, on every pass.
        f.page->stopFrameTimer();
        auto paintsOver = [&](int passes) {
            const long before = f.page->view()->paintCount();
            for (int i = 0; i < passes; ++i) {
                f.page->tick();
                QTest::qWait(25);
            }
            return f.page->view()->paintCount() - before;
        };
        f.page->pause();
        paintsOver(1);
        QCOMPARE(paintsOver(3), 0L);
        f.page->frameForwardButton()->click();
        QCOMPARE(paintsOver(1), 1L);
        f.page->play();
        QCOMPARE(paintsOver(3), 3L);

        // The 2D panel shows the selected group's graph, its current node in red.
        const QImage panel = f.page->panelImage();
        int red = 0;
        for (int y = 0; y < panel.height(); ++y)
            for (int x = 0; x < panel.width(); ++x)
                if (panel.pixelColor(x, y) == QColor(255, 0, 0))
                    ++red;
        QVERIFY(red > 10);
    }

    void constraintControlsEditTheSession()
    {
        PlaybackFixture f(2);
        MotionCaptureSession& s = f.session();
        QVERIFY(!f.page->rotationConstraintBox()->isChecked());
        QCOMPARE(f.page->rotationSlider()->maximum(), 180);
        QCOMPARE(f.page->rotationSlider()->value(), 60);
        QCOMPARE(f.page->rotationBox()->text(), QStringLiteral("60"));
        QCOMPARE(f.page->balanceSlider()->maximum(), 20);
        QCOMPARE(f.page->balanceBox()->text(), QStringLiteral("10"));

        f.page->rotationConstraintBox()->click();
        QVERIFY(s.rotationConstraintOn);
        f.page->balanceConstraintBox()->click();
        QVERIFY(s.balanceConstraintOn);
        // Each click inverts the session's flag, whatever the box shows.
        s.balanceConstraintOn = false;
        f.page->balanceConstraintBox()->click();
        QVERIFY(s.balanceConstraintOn);

        f.page->rotationSlider()->setValue(90);
        QCOMPARE(s.rotationLimit, 90);
        QCOMPARE(f.page->rotationBox()->text(), QStringLiteral("90"));
        f.page->balanceSlider()->setValue(3);
        QCOMPARE(s.balanceTolerance, 3.0);
        QCOMPARE(f.page->balanceBox()->text(), QStringLiteral("3"));

        // The group spinner stays within the groups.
        for (int i = 0; i < 3; ++i)
            f.page->groupSpinner()->upButton()->click();
        QCOMPARE(f.page->selectedGroupNumber(), 1);
        for (int i = 0; i < 3; ++i)
            f.page->groupSpinner()->downButton()->click();
        QCOMPARE(f.page->groupBox()->text(), QStringLiteral("0"));

        // A strict rotation limit turns candidates down, and the strip counts them.
        f.page->rotationSlider()->setValue(0);
        f.page->play();
        f.ticks(400);
        QVERIFY(f.page->player().counters().rejectedByRotation > 0);
        QVERIFY(f.page->clipStrip()->text().contains(
            QStringLiteral("%1 by rotation").arg(f.page->player().counters().rejectedByRotation)));
    }

    void groupsWithoutAGraphAreLeftOut()
    {
        PlaybackFixture f(2, 1);
        QCOMPARE(f.page->noGraphLine()->text(), QStringLiteral("Group 1 has no motion graph and is not played."));
        QVERIFY(!f.page->noGraphLine()->isHidden());
        f.page->showAllGroupsBox()->click();
        f.page->play();
        f.ticks(20);
        QCOMPARE(f.frameOf(0), 20);
        QCOMPARE(f.page->scene().spheres.size(), size_t{45});
        // Selecting the group without a graph shows nothing and moves nothing.
        f.page->showAllGroupsBox()->click();
        f.page->groupSpinner()->upButton()->click();
        f.ticks(2);
        QVERIFY(f.page->scene().spheres.empty());
        QCOMPARE(f.page->frameText(), QStringLiteral("0 / 399"));
        QVERIFY(f.page->clipStrip()->text().startsWith(QStringLiteral("Group 0: node")));

        // A session without groups: a note in the view's place, and nothing to press.
        TempDir dir;
        ScriptedWindow empty;
        empty.script->markerFiles.push_back(writeTinySession(dir));
        empty.window->openPage()->openFilesButton()->click();
        PlaybackFixture::toPlaybackStage(empty);
        empty.window->tabs()->setCurrentIndex(kPlaybackTab);
        auto* page = static_cast<GraphPlaybackPage*>(empty.window->page(PageKind::GraphPlayback));
        page->tick();
        page->groupSpinner()->upButton()->click();
        QVERIFY(page->noGroupNote()->isVisibleTo(page));
        QVERIFY(!page->playButton()->isEnabled());
        QCOMPARE(page->frameText(), QStringLiteral("0 / 9"));
        QVERIFY(page->selectedGroup() == nullptr);
    }

    void openingTakesTheFrameOfTheEditorsSelection()
    {
        FixedClock clock(99);
        ScriptedWindow w;
        w.window->openProject(samplePath("sample.dwz"));
        Group& g = *w.window->session().groups[0];
        buildPoses(g);
        createEntireMotionGraph(g, 10, 60.0);
        Graph2D& graph = *g.graph;
        graph.deselectAll();
        auto later = std::find_if(graph.nodes.begin(), graph.nodes.end(), [](auto* n) { return n->startFrame > 0; });
        QVERIFY(later != graph.nodes.end());
        Graph2DNode* node = *later;
        QVERIFY(graph.toggleNodeAt(node->x, node->y));
        QCOMPARE(graph.howManySelectedNodes(), 1);
        PlaybackFixture::toPlaybackStage(w);
        QCOMPARE(w.window->session().currentFrame, graph.selectedNodes.front()->startFrame);
    }

    void screenshotsWhilePlaying()
    {
        if (qEnvironmentVariableIsEmpty("DUOLO_SCREENSHOT_DIR"))
            QSKIP("set DUOLO_SCREENSHOT_DIR to write screenshots");
        // Any project (DUOLO_SCREENSHOT_PROJECT), else the sample.
        QString project = qEnvironmentVariable("DUOLO_SCREENSHOT_PROJECT");
        if (project.isEmpty())
            project = samplePath("sample.dwz");
        const QString name = QFileInfo(project).completeBaseName();
        FixedClock clock(7);
        ScriptedWindow w;
        QVERIFY(w.window->openProject(project));
        for (auto& g : w.window->session().groups) {
            buildPoses(*g);
            createEntireMotionGraph(*g, 10, 60.0);
        }
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        PlaybackFixture::toPlaybackStage(w);
        w.window->tabs()->setCurrentIndex(kPlaybackTab);
        auto* page = static_cast<GraphPlaybackPage*>(w.window->page(PageKind::GraphPlayback));
        page->showAllGroupsBox()->click();
        page->play();
        for (int shot = 1; shot <= 3; ++shot) {
            for (int i = 0; i < 120; ++i)
                page->tick();
            QTest::qWait(2 * PipelinePage::kFrameIntervalMs);
            saveScreenshot(w.window.get(), QStringLiteral("playback-%1-%2").arg(name).arg(shot));
        }
        page->showAllGroupsBox()->click();
        page->tick();
        QTest::qWait(2 * PipelinePage::kFrameIntervalMs);
        saveScreenshot(w.window.get(), QStringLiteral("playback-%1-selected").arg(name));
    }

    void aFloorPointUnderAPixelProjectsBackToThatPixel()
    {
        // Forward through the camera: turn by the yaw, then from the side shift by (0, -10, -50),
        // from above tip the scene's up towards the eye; project.
        const double width = 640, height = 480, radians = 3.14159265358979323846 / 180.0;
        const double halfHeight = std::tan(22.5 * radians);
        for (bool above : {false, true})
            for (double yaw : {-90.0, 0.0, 37.0})
                for (const Vec3 floor : {Vec3{0, 0, 0}, Vec3{5, 0, -3}, Vec3{-12, 0, 8}}) {
                    const double t = yaw * radians;
                    const double ex = floor.x * std::cos(t) + floor.z * std::sin(t);
                    const double tz = -floor.x * std::sin(t) + floor.z * std::cos(t);
                    const double ez = above ? -kCameraHeightAbove : tz - 50.0;
                    const double ey = above ? -tz : -10.0;
                    const double px = (ex / -ez / (halfHeight * width / height) + 1.0) * width / 2.0;
                    const double py = (1.0 - ey / -ez / halfHeight) * height / 2.0;
                    const std::optional<Vec3> back = floorPointUnderPixel(px, py, width, height, yaw, above);
                    QVERIFY(back && std::abs(back->x - floor.x) < 1e-9 && std::abs(back->z - floor.z) < 1e-9);
                }
        QVERIFY(!floorPointUnderPixel(320, 10, width, height, 0.0));  // above the horizon
    }

    void exportVideoRendersWhatTheViewShowsAndADrawnPathSteersTheSelectedGroup()
    {
        PlaybackFixture f(2, 99, true);
        QWidget* view = f.page->view();
        QVERIFY(view);
        QTRY_VERIFY(view->width() > 200);  // laid out
        QVERIFY(f.page->exportVideoButton()->isEnabled());
        TempDir dir;
        const QString path = QString::fromStdString(dir.file("dance.mp4").string());
        std::vector<QImage> shown;
        QVERIFY(f.page->exportVideo(path, 1, &shown));
        QVERIFY(f.w.script->errors.empty());
        QCOMPARE(shown.size(), size_t{25});
        QVERIFY(shown.front() != shown.back());  // it played on

        // Frame by frame the video is the view's picture, within the codec's loss.
        const std::vector<QImage> decoded = decodeVideo(path);
        QCOMPARE(decoded.size(), shown.size());
        for (size_t i = 0; i < decoded.size(); ++i) {
            const QImage want = shown[i].convertToFormat(QImage::Format_RGB32);
            QCOMPARE(decoded[i].size(), QSize(want.width() & ~1, want.height() & ~1));
            double difference = 0;
            for (int y = 0; y < decoded[i].height(); ++y)
                for (int x = 0; x < decoded[i].width(); ++x) {
                    const QRgb a = decoded[i].pixel(x, y), b = want.pixel(x, y);
                    difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                                  std::abs(qBlue(a) - qBlue(b));
                }
            difference /= 3.0 * decoded[i].width() * decoded[i].height();
            // About 4 of 255 on these mostly black pictures: the 4:2:0 colour conversion there and back.
            QVERIFY2(difference < 8.0, qPrintable(QStringLiteral("frame %1 differs by %2 on average").arg(i).arg(difference)));
        }

        // The button asks for the seconds and the file; Cancel in the progress dialog removes it.
        const QString cancelled = QString::fromStdString(dir.file("cancelled.mp4").string());
        f.w.script->videosToSave.push_back({cancelled, 3});
        QTimer::singleShot(200, f.page, [&] {
            if (auto* progress = f.page->findChild<QProgressDialog*>())
                progress->cancel();
        });
        f.page->exportVideoButton()->click();
        QVERIFY(!QFileInfo::exists(cancelled));
        QVERIFY(f.w.script->errors.empty());

        // A path drawn from above steers the chosen group (or its parent) until cleared.
        QCOMPARE(f.page->pathGroupNumber(), 0);
        f.page->groupSpinner()->upButton()->click();
        QCOMPARE(f.page->pathGroupNumber(), placementParent(f.group(1)) ? 0 : 1);  // a child walks through its parent
        f.page->topViewBox()->click();
        QVERIFY(f.page->view()->isViewFromAbove());
        f.page->turnTravelBox()->click();
        f.page->drawPathButton()->click();
        // From above the picture's top half is floor too.
        for (double x : {0.3, 0.5, 0.7})
            QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(int(x * view->width()), int(0.2 * view->height())));
        QCOMPARE(f.page->pathPoints().size(), size_t{3});
        QVERIFY(!f.page->isFollowingPath());
        f.page->drawPathButton()->click();
        QVERIFY(f.page->isFollowingPath());
        f.page->playButton()->click();
        f.ticks(100);
        QCOMPARE(f.page->scene().path.size(), size_t{3});
        QVERIFY(f.group(0).travelTurns && f.group(1).travelTurns);
        f.page->turnTravelBox()->click();
        f.ticks(1);
        QVERIFY(!f.group(0).travelTurns && !f.group(1).travelTurns);
        f.page->clearPathButton()->click();
        QVERIFY(!f.page->isFollowingPath());
        QVERIFY(f.page->pathPoints().empty());
        f.ticks(2);
        QVERIFY(f.page->scene().path.empty());
    }

    void recordingExportsATrcFile()
    {
        PlaybackFixture f(2);
        TempDir dir;
        QVERIFY(!f.page->exportButton()->isEnabled());
        f.page->recordButton()->click();
        QVERIFY(f.page->recording().isRecording());
        f.ticks(5);  // paused: nothing kept
        QCOMPARE(f.page->recording().frameCount(), 0);
        f.page->playButton()->click();
        f.ticks(60);
        f.page->recordButton()->click();
        f.ticks(5);
        const PlaybackRecording& rec = f.page->recording();
        QCOMPARE(rec.frameCount(), 60);
        QCOMPARE(rec.markerCount(), size_t{88});
        QCOMPARE(QString::fromStdString(rec.markerNames()[0]), QStringLiteral("Group0_LFHD"));
        QCOMPARE(QString::fromStdString(rec.markerNames()[44]), QStringLiteral("Group1_LFHD"));
        QVERIFY(f.page->exportButton()->isEnabled());

        const QString path = QString::fromStdString(dir.file("dance.trc").string());
        f.w.script->trcFilesToSave.push_back(path);
        f.page->exportButton()->click();
        // The program's own importer reads the points back where they were recorded.
        CaptureFile file;
        std::string error;
        QVERIFY2(readCaptureFile(path.toStdString(), file, error), error.c_str());
        QCOMPARE(file.frameRate, 25.0);
        QCOMPARE(file.units, std::string("cm"));
        QCOMPARE(file.trajectories.size(), rec.markerCount());
        QVERIFY(QString::fromStdString(file.trajectories[44].name).endsWith(QStringLiteral("Group1_LFHD")));
        QCOMPARE(file.trajectories[0].samples.size(), size_t{60});
        for (int fr = 0; fr < 60; fr += 7)
            for (size_t m = 0; m < rec.markerCount(); m += 5) {
                const Vec3 want = rec.point(fr, m);
                const Vec3 got = file.trajectories[m].samples[static_cast<size_t>(fr)].position;
                QVERIFY(std::abs(got.x - want.x) < 1e-6 && std::abs(got.y - want.y) < 1e-6 &&
                        std::abs(got.z - want.z) < 1e-6);
            }

        // A folder that does not exist: the failure names the file.
        QVERIFY(!f.page->exportRecording(QString::fromStdString((dir.path() / "no" / "x.trc").string())));
        QCOMPARE(f.w.script->errors.size(), size_t{1});
        QVERIFY(f.w.script->errors[0].text.contains(QStringLiteral("x.trc")));

        // A group dropping out of playback ends a new recording; what it kept stays.
        f.page->recordButton()->click();
        f.ticks(3);
        f.group(1).currentNode = nullptr;
        f.ticks(2);
        QVERIFY(!f.page->recording().isRecording());
        QVERIFY(!f.page->recordButton()->isChecked());
        QCOMPARE(f.page->recording().frameCount(), 3);
        QVERIFY(f.page->findChild<QLabel*>(QStringLiteral("recordingLabel"))->text().contains(QStringLiteral("stopped")));
    }
};

#include "GraphPlaybackTest.moc"
QTEST_MAIN(GraphPlaybackTest)
