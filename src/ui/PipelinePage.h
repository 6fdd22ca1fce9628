#pragma once

#include "render/DisplayOptions.h"
#include "render/GlView.h"

#include <QTimer>
#include <QWidget>

#include <optional>

class QFrame;
class QLabel;

namespace duolo {

class MainDialog;
class MotionCaptureSession;
class SpinSlider;

// Base of the pages hosted in the main window's tabs. Only the page of the selected tab is
// active: it owns a fresh 3D view (if it has a view area) and a 40 ms frame timer; every other
// page is inactive, does not play and holds no view.
//
// Pages call the main window and the session; nothing in the model calls a page.
//
// A page with a 3D view builds its controls in its constructor and hands its view frame and
// spin slider to setViewArea(); it draws in drawScene() (drawSessionFrame and friends, with
// mainWindow.displayOptions()), steps its playback in advance() and stops it in stopPlayback().
// createPage() in PageFactory.cpp is the one place that makes each kind of page.
//
// Repainting. By default the view repaints on every tick, whatever changed. A page whose
// picture changes only with things it can name calls setRedrawOnDemand(true) once; the view
// then repaints only when the picture may differ from the last one drawn, and an idle page
// costs next to nothing. The base watches, after every tick: the view's turn, the session's
// current frame and its marker, edge and group counts, and the shared display options. The
// view repaints by itself when resized or when Qt needs its picture. Everything else the
// page's drawScene() reads (its own settings, the list selections, edits that keep the
// counts, per-group playback state) is the page's to report through requestRedraw(), at the
// moment it changes; a page that cannot say when its picture changes simply does not opt in.
// The pictures are the same either way: only repaints that would draw the same picture again
// are left out.
class PipelinePage : public QWidget {
    Q_OBJECT
public:
    explicit PipelinePage(MainDialog& mainWindow, QWidget* parent = nullptr);
    ~PipelinePage() override;

    // The page's tab was selected: a fresh 3D view in the view area, the frame timer running.
    virtual void activate();
    // Another tab was selected: playback stops, the 3D view is released, the timer stops.
    virtual void deactivate();
    // Undo or redo changed the document (the main window deactivates the page shown before
    // and activates it after). With `sessionReplaced` the session and its groups are new
    // objects: a page forgets whatever it kept of the old ones.
    virtual void documentRestored(bool sessionReplaced) { (void)sessionReplaced; }

    bool isActive() const { return active_; }
    GlView* view() const { return view_; }
    // One pass of the render loop: render the view, then let the page advance. The frame timer
    // calls it; tests call it directly.
    void tick();

    static constexpr int kFrameIntervalMs = 40;

    bool redrawsOnDemand() const { return redrawOnDemand_ && !everyTickForAll_; }
    // Every page repaints on every tick, as if none had opted in (benchmarks and tests compare
    // the two ways).
    static void setRedrawEveryTickForAll(bool on) { everyTickForAll_ = on; }
    // Tests and benchmarks that call tick() themselves stop the page's own timer.
    void stopFrameTimer() { frameTimer_.stop(); }

protected:
    // Pages with a 3D view call this once while building their controls.
    void setViewArea(QFrame* area, SceneLighting lighting, SpinSlider* spinSlider);
    // Draws the page's scene with the view's context current (the floor grid is drawn already).
    virtual void drawScene() {}
    // Runs after each rendered frame: the playback step and the frame displays.
    virtual void advance() {}
    // Stops any playback (called when the page is left).
    virtual void stopPlayback() {}
    // Opt in to repainting only when the picture may have changed (see the class comment).
    void setRedrawOnDemand(bool on) { redrawOnDemand_ = on; }
    // Something the page's picture depends on changed: the view repaints soon (pages that
    // repaint on every tick may call it too; it costs nothing).
    void requestRedraw();

    MotionCaptureSession& session() const;
    MainDialog& mainWindow;

private:
    // What the base knows of the picture; equal values draw equal pictures (given the page's
    // own state, which the page reports through requestRedraw()).
    struct SceneState {
        const MotionCaptureSession* session = nullptr;
        float yaw = 0.0f;
        int frame = 0;
        int markers = 0, edges = 0, groups = 0;
        DisplayOptions options;
        bool operator==(const SceneState&) const = default;
    };
    SceneState sceneState() const;
    void drawView();
    void releaseView();

    QFrame* viewArea_ = nullptr;
    SpinSlider* spinSlider_ = nullptr;
    SceneLighting lighting_ = SceneLighting::Lit;
    GlView* view_ = nullptr;
    QLabel* noViewNote_ = nullptr;  // in the view's place when there is no OpenGL
    QTimer frameTimer_;
    bool active_ = false;
    bool redrawOnDemand_ = false;
    std::optional<SceneState> lastDrawn_;  // none until the current view has drawn
    static inline bool everyTickForAll_ = false;
};

} // namespace duolo
