// Scene drawing rules, value boxes, and real frames rendered by the 3D view.

#include "UiTestSupport.h"

#include "session/MotionCaptureSession.h"
#include "render/GlView.h"
#include "render/SceneDrawing.h"
#include "render/ValueBox.h"
#include "skeleton/Edge.h"
#include "skeleton/Group.h"
#include "ui/MainDialog.h"
#include "ui/OpenSessionPage.h"
#include "ui/SimplePlaybackPage.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <algorithm>

using namespace duolo;
using namespace duolo::test;

namespace {

struct PixelCounts {
    int grid = 0;     // the dark grey floor lines
    int contact = 0;  // green: markers touching the floor
    int bright = 0;   // markers in the air: white, or their group's colour
};

PixelCounts countPixels(const QImage& image)
{
    PixelCounts counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int r = c.red(), g = c.green(), b = c.blue();
            if (std::abs(r - g) < 6 && std::abs(g - b) < 6 && r >= 40 && r <= 90)
                ++counts.grid;
            else if (g > 120 && r < 90 && b < 90)
                ++counts.contact;
            else if (std::max({r, g, b}) > 120)
                ++counts.bright;
        }
    }
    return counts;
}

void saveScreenshot(QWidget* widget, const QString& name)
{
    const QByteArray dir = qgetenv("DUOLO_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    widget->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// Lets the window paint and the view render a few passes.
void renderPasses(SimplePlaybackPage* page, int passes = 3)
{
    for (int i = 0; i < passes; ++i) {
        page->tick();
        QTest::qWait(PipelinePage::kFrameIntervalMs);
    }
}

// The tiny session's markers in a bare session, for views drawn without a main window.
void loadTinySession(MotionCaptureSession& session, const TempDir& dir)
{
    std::vector<std::string> files;
    for (const QString& f : writeTinySession(dir))
        files.push_back(f.toStdString());
    session.loadMarkers(files);
}

} // namespace

class RenderTest : public QObject {
    Q_OBJECT
private slots:
    void contactIsStrictlyBelowTheContactHeight()
    {
        const Material atHeight = markerMaterial(false, std::nullopt, kContactHeight);
        QCOMPARE(atHeight.diffuse, (Rgba{1, 1, 1, 1}));
        const Material below = markerMaterial(false, std::nullopt, 0.71);
        QCOMPARE(below.diffuse, (Rgba{0, 1, 0, 1}));
        QCOMPARE(below.ambient, (Rgba{0, 0.3f, 0, 1}));
    }

    void aSelectedMarkerOnTheFloorIsGreen()
    {
        const Material m = markerMaterial(true, Rgb{10, 20, 30}, 0.2);
        QCOMPARE(m.diffuse, (Rgba{0, 1, 0, 1}));
        QCOMPARE(m.colour, (std::array<float, 3>{1, 0, 0}));  // the current colour stays red
        const Material up = markerMaterial(true, Rgb{10, 20, 30}, 3.0);
        QCOMPARE(up.diffuse, (Rgba{1, 0, 0, 1}));
        QCOMPARE(up.shininess, 100.0f);
    }

    void groupColoursAreScaledFromBytes()
    {
        const Material m = markerMaterial(false, rgbFromColourRef(0x0000FF), 3.0);  // red low byte
        QCOMPARE(m.diffuse, (Rgba{1, 0, 0, 1}));
        QCOMPARE(m.ambient, (Rgba{0.3f, 0, 0, 1}));
        QCOMPARE(m.specular, (Rgba{1, 0, 0, 1}));
        QCOMPARE(m.shininess, 50.0f);
    }

    void edgeColoursFollowTheirMarkersGroups()
    {
        AnimatedMarker a(0, "a"), b(1, "b"), c(2, "c");
        Group g1(-1, 0, 1), g2(-1, 1, 1);
        Edge edge(0, &a, &b);
        QCOMPARE(edgeMaterial(edge).colour, (std::array<float, 3>{1, 1, 1}));
        edge.selected = true;
        QCOMPARE(edgeMaterial(edge).colour, (std::array<float, 3>{1, 0, 0}));
        edge.selected = false;
        g1.addMember(&a);
        QCOMPARE(edgeMaterial(edge).colour, (std::array<float, 3>{1, 1, 0}));  // one grouped, one not
        g1.addMember(&b);
        const Rgb own = rgbFromColourRef(g1.colour);
        QCOMPARE(edgeMaterial(edge).diffuse, (Rgba{own.r / 255.0f, own.g / 255.0f, own.b / 255.0f, 1}));
        g2.addMember(&b);
        QCOMPARE(edgeMaterial(edge).colour, (std::array<float, 3>{1, 1, 0}));  // b in two groups
        Edge across(1, &a, &c);
        g2.addMember(&c);
        QCOMPARE(edgeMaterial(across).colour, (std::array<float, 3>{1, 1, 0}));  // different groups
    }

    void valueBoxCentresAndClipsWideTexts()
    {
        QImage image(60, 30, QImage::Format_RGB32);
        image.fill(Qt::blue);
        {
            QPainter painter(&image);
            drawValueBox(painter, QRect(0, 0, 60, 30), QStringLiteral("88888888888888"), ValueBoxStyle{});
        }
        // The border, the fill, and black text reaching both sides of the box.
        QCOMPARE(image.pixelColor(0, 0), QColor(Qt::white));
        auto darkInColumn = [&](int x) {
            for (int y = 1; y < 29; ++y)
                if (image.pixelColor(x, y).lightness() < 80)
                    return true;
            return false;
        };
        QVERIFY(darkInColumn(2));
        QVERIFY(darkInColumn(57));
        QCOMPARE(image.pixelColor(30, 1), colourFromColourRef(0xC8D0D4));
    }

    void theViewRendersMarkersOnTheFloorGrid()
    {
        TempDir dir;
        ScriptedWindow w;
        openSampleOrTinySession(w, dir);
        QVERIFY(w.window->session().loaded);
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        w.window->openPage()->nextStepButton()->click();
        w.window->tabs()->setCurrentIndex(1);
        auto* page = static_cast<SimplePlaybackPage*>(w.window->page(PageKind::SimplePlayback));
        QVERIFY(page->view());
        renderPasses(page);
        QVERIFY(!page->view()->hasFailed());

        const QImage frame = page->view()->grabFramebuffer();
        QVERIFY(!frame.isNull());
        const PixelCounts counts = countPixels(frame);
        QVERIFY2(counts.grid > 200, qPrintable(QStringLiteral("grid pixels: %1").arg(counts.grid)));
        QVERIFY2(counts.contact > 10, qPrintable(QStringLiteral("contact pixels: %1").arg(counts.contact)));
        QVERIFY2(counts.bright > 10, qPrintable(QStringLiteral("bright pixels: %1").arg(counts.bright)));
        saveScreenshot(w.window.get(), QStringLiteral("simple-playback"));

        // "Save Picture" in the view's context menu writes what the view shows.
        auto* savePicture = page->view()->findChild<QAction*>(QStringLiteral("savePicture"));
        QVERIFY(savePicture && page->view()->actions().contains(savePicture));
        const QString png = QString::fromStdString(dir.file("view.png").string());
        w.script->picturesToSave.push_back(png);
        savePicture->trigger();
        QCOMPARE(QImage(png).convertToFormat(QImage::Format_RGB32),
                 page->view()->grabFramebuffer().convertToFormat(QImage::Format_RGB32));
        const size_t errorsBefore = w.script->errors.size();
        w.script->picturesToSave.push_back(QString::fromStdString(dir.file("missing/view.png").string()));
        savePicture->trigger();
        QCOMPARE(w.script->errors.size(), errorsBefore + 1);
        QVERIFY(w.script->errors.back().text.contains(QStringLiteral("missing/view.png: cannot write the picture")));

        // Hiding every marker leaves the grid alone.
        page->showUngroupedBox()->setChecked(false);
        page->showGroupedBox()->setChecked(false);
        renderPasses(page);
        const PixelCounts hidden = countPixels(page->view()->grabFramebuffer());
        QCOMPARE(hidden.contact, 0);
        QVERIFY(hidden.grid > 200);
    }

    void theUnlitViewDrawsFlatColours()
    {
        TempDir dir;
        MotionCaptureSession session;
        loadTinySession(session, dir);
        const DisplayOptions options;
        GlView view(SceneLighting::Unlit, [&] { drawSessionFrame(session, options, 0.3, 8, -1); });
        view.resize(640, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.renderFrame();
        const QImage frame = view.grabFramebuffer();
        int grid = 0, white = 0, green = 0;
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x) {
                const QColor c = frame.pixelColor(x, y);
                if (c == QColor(51, 51, 51))
                    ++grid;        // the unlit grid is a flat 0.2 grey
                else if (c == QColor(255, 255, 255))
                    ++white;       // unlit markers keep their current colour: white
                else if (c.green() > 120 && c.red() < 90)
                    ++green;
            }
        QVERIFY2(grid > 200, qPrintable(QString::number(grid)));
        QVERIFY2(white > 10, qPrintable(QString::number(white)));
        QCOMPARE(green, 0);  // contact colouring is a lit material: the unlit view ignores it
    }

    void skeletonLinesKeepTheirColourAsTheViewTurns()
    {
        // A white edge between two ungrouped markers, drawn after the (tiny) spheres in the lit
        // view: it must stay white whichever way the view faces.
        TempDir dir;
        MotionCaptureSession session;
        loadTinySession(session, dir);
        session.selectMarker(0);
        session.selectMarker(3);
        QVERIFY(session.createEdge());
        session.clearMarkerSelection();
        const DisplayOptions options;
        GlView view(SceneLighting::Lit, [&] { drawSessionFrame(session, options, 0.05, 4, -1); });
        view.resize(640, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.setSpinSpeed(30);
        for (int turn = 0; turn < 12; ++turn) {
            view.renderFrame();
            const QImage frame = view.grabFramebuffer();
            int white = 0;
            for (int y = 0; y < frame.height(); ++y)
                for (int x = 0; x < frame.width(); ++x)
                    white += frame.pixelColor(x, y) == QColor(255, 255, 255);
            QVERIFY2(white > 60, qPrintable(QStringLiteral("yaw %1: %2 white pixels").arg(view.viewYaw()).arg(white)));
        }
    }

    void eachShowOptionHidesItsPart()
    {
        TempDir dir;
        ScriptedWindow w;
        w.script->markerFiles.push_back(writeTinySession(dir));
        w.window->openPage()->openFilesButton()->click();
        MotionCaptureSession& session = w.window->session();
        // Markers 1 and 2 form a group with a heading vector; edges join 0-3 and 1-2.
        session.selectMarker(1);
        session.selectMarker(2);
        QVERIFY(session.createGroup());
        QVERIFY(session.createEdge());
        session.clearMarkerSelection();
        session.createHeadingVectorFor(1, 2, 0);
        QVERIFY(session.groups[0]->hasHeading());
        session.selectMarker(0);
        session.selectMarker(3);
        QVERIFY(session.createEdge());
        session.clearMarkerSelection();
        session.setFrame(0);

        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        w.window->openPage()->nextStepButton()->click();
        w.window->tabs()->setCurrentIndex(1);
        auto* page = static_cast<SimplePlaybackPage*>(w.window->page(PageKind::SimplePlayback));
        renderPasses(page);
        const QImage all = page->view()->grabFramebuffer();
        saveScreenshot(page->view(), QStringLiteral("groups-edges-vectors"));

        QCheckBox* boxes[] = {page->showSkeletonBox(), page->showHeadingBox(), page->showGroupedBox(),
                              page->showUngroupedBox()};
        QImage previous = all;
        for (QCheckBox* box : boxes) {
            box->setChecked(false);
            renderPasses(page, 2);
            const QImage now = page->view()->grabFramebuffer();
            QVERIFY2(now != previous, qPrintable(box->text()));
            previous = now;
        }
        // Nothing but the grid is left.
        int other = 0;
        for (int y = 0; y < previous.height(); ++y)
            for (int x = 0; x < previous.width(); ++x) {
                const QColor c = previous.pixelColor(x, y);
                if (c.red() > 100 || c.green() > 100 || c.blue() > 100)
                    ++other;
            }
        QCOMPARE(other, 0);
    }

    void screenshotsOfEveryPage()
    {
        if (qEnvironmentVariableIsEmpty("DUOLO_SCREENSHOT_DIR"))
            QSKIP("set DUOLO_SCREENSHOT_DIR to write screenshots");
        TempDir dir;
        ScriptedWindow w;
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        saveScreenshot(w.window.get(), QStringLiteral("open-empty"));
        QStringList files = writeTinySession(dir);
        // A real take for the pictures when one is at hand (DUOLO_SCREENSHOT_TAKE names its folder).
        QString take = qEnvironmentVariable("DUOLO_SCREENSHOT_TAKE");
        if (take.isEmpty())
            take = QString::fromStdString((sharedDataDir() / "c3dorg_phoenix_dance").string());
        const QDir dance(take);
        if (dance.exists()) {
            files.clear();
            for (const QString& name : dance.entryList({QStringLiteral("*.mov")}, QDir::Files, QDir::Name))
                files << dance.absoluteFilePath(name);
        }
        if (take.endsWith(QStringLiteral(".dwz"))) {
            w.window->openProject(take);
        } else {
            w.script->markerFiles.push_back(files);
            w.window->openPage()->openFilesButton()->click();
        }
        w.window->openPage()->nextStepButton()->click();
        for (int code : {2, 3, 4})
            w.window->goToNextStep(code);
        QTest::qWait(50);
        saveScreenshot(w.window.get(), QStringLiteral("open-loaded"));
        for (int tab = 1; tab < w.window->tabs()->count(); ++tab) {
            w.window->tabs()->setCurrentIndex(tab);
            QTest::qWait(150);
            saveScreenshot(w.window.get(), QStringLiteral("tab-%1").arg(tab));
        }
    }
};

#include "RenderTest.moc"
QTEST_MAIN(RenderTest)
