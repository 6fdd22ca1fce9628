#pragma once

#include "render/GlView.h"

#include <QTimer>
#include <QWidget>

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
class PipelinePage : public QWidget {
    Q_OBJECT
public:
    explicit PipelinePage(MainDialog& mainWindow, QWidget* parent = nullptr);
    ~PipelinePage() override;

    // The page's tab was selected: a fresh 3D view in the view area, the frame timer running.
    virtual void activate();
    // Another tab was selected: playback stops, the 3D view is released, the timer stops.
    virtual void deactivate();

    bool isActive() const { return active_; }
    GlView* view() const { return view_; }
    // One pass of the render loop: render the view, then let the page advance. The frame timer
    // calls it; tests call it directly.
    void tick();

    static constexpr int kFrameIntervalMs = 40;

protected:
    // Pages with a 3D view call this once while building their controls.
    void setViewArea(QFrame* area, SceneLighting lighting, SpinSlider* spinSlider);
    // Draws the page's scene with the view's context current (the floor grid is drawn already).
    virtual void drawScene() {}
    // Runs after each rendered frame: the playback step and the frame displays.
    virtual void advance() {}
    // Stops any playback (called when the page is left).
    virtual void stopPlayback() {}

    MotionCaptureSession& session() const;
    MainDialog& mainWindow;

private:
    void releaseView();

    QFrame* viewArea_ = nullptr;
    SpinSlider* spinSlider_ = nullptr;
    SceneLighting lighting_ = SceneLighting::Lit;
    GlView* view_ = nullptr;
    QLabel* noViewNote_ = nullptr;  // in the view's place when there is no OpenGL
    QTimer frameTimer_;
    bool active_ = false;
};

} // namespace duolo
