#pragma once

#include "render/SceneDrawing.h"

#include <QOpenGLWidget>

#include <functional>

namespace duolo {

// The 3D view of a page: a fixed camera looking at the floor grid, the page's scene drawn on
// top, the whole turning about the vertical axis by `spinSpeed` degrees per rendered frame.
// Pages create a fresh view each time they are shown, so the yaw starts at -90 on every visit.
//
// The page's frame timer calls renderFrame() once per tick; the drawing itself happens in
// paintGL with the context current. Pages create views only when isOpenGlAvailable(); a view
// whose own context still turns out unusable stays black and says so once per run.
class GlView : public QOpenGLWidget {
    Q_OBJECT
public:
    using SceneFunction = std::function<void()>;

    GlView(SceneLighting lighting, SceneFunction drawScene, QWidget* parent = nullptr);
    ~GlView() override;

    // The compatibility-profile format the views ask for (fixed-function GL with GLU).
    static QSurfaceFormat surfaceFormat();
    // Whether this run can create an OpenGL context at all (asked once, then remembered).
    // Without one no view may be created: pages show a note in the view's place instead.
    static bool isOpenGlAvailable();
    // Tells the user, once per run, that the 3D views stay empty.
    static void reportNoOpenGl();
    // Call before the top-level window is first shown. Qt composes a window that holds an
    // OpenGL widget differently from one that does not, and re-creates the native window when
    // the first such widget appears in it: under a window manager the window then jumps to
    // the screen's centre and loses its maximised state. A hidden OpenGL widget placed in the
    // window before it exists natively makes it an OpenGL window from the start. Does
    // nothing when this run has no OpenGL (the views are never created then).
    static void prepareWindow(QWidget* window);

    SceneLighting lighting() const { return lighting_; }
    int spinSpeed() const { return spinSpeed_; }
    float viewYaw() const { return viewYaw_; }
    void setSpinSpeed(int degreesPerFrame) { spinSpeed_ = degreesPerFrame; }
    // Look straight down on the floor instead of from the side (placeCameraAbove).
    bool isViewFromAbove() const { return fromAbove_; }
    void setViewFromAbove(bool fromAbove) { fromAbove_ = fromAbove; }

    // One frame of the render loop: turn by the spin speed, then repaint.
    void renderFrame();
    // Turn by the spin speed without asking for a repaint (the caller decides whether the
    // picture changed).
    void turn() { viewYaw_ += static_cast<float>(spinSpeed_); }
    // How many times the scene has been drawn (benchmarks and tests count repaints).
    long paintCount() const { return paintCount_; }
    // True once the view has found that it has no OpenGL context.
    bool hasFailed() const { return failed_; }

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;

private:

    SceneLighting lighting_;
    SceneFunction drawScene_;
    int spinSpeed_ = 0;
    float viewYaw_ = -90.0f;
    bool fromAbove_ = false;
    bool failed_ = false;
    long paintCount_ = 0;
};

} // namespace duolo
