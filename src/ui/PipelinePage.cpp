#include "ui/PipelinePage.h"

#include "render/SpinSlider.h"
#include "session/MotionCaptureSession.h"
#include "ui/MainDialog.h"
#include "ui/SavePicture.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

namespace duolo {

PipelinePage::PipelinePage(MainDialog& mainWindow, QWidget* parent) : QWidget(parent), mainWindow(mainWindow)
{
    frameTimer_.setInterval(kFrameIntervalMs);
    connect(&frameTimer_, &QTimer::timeout, this, &PipelinePage::tick);
}

PipelinePage::~PipelinePage() = default;

MotionCaptureSession& PipelinePage::session() const { return mainWindow.session(); }

void PipelinePage::setViewArea(QFrame* area, SceneLighting lighting, SpinSlider* spinSlider)
{
    viewArea_ = area;
    lighting_ = lighting;
    spinSlider_ = spinSlider;
    if (!area->layout()) {
        auto* layout = new QVBoxLayout(area);
        layout->setContentsMargins(2, 2, 2, 2);
    }
    if (spinSlider_)
        connect(spinSlider_, &QSlider::valueChanged, this, [this](int value) {
            if (view_)
                view_->setSpinSpeed(value);
        });
}

void PipelinePage::activate()
{
    active_ = true;
    if (viewArea_ && !GlView::isOpenGlAvailable()) {
        if (!noViewNote_) {
            noViewNote_ = new QLabel(tr("The 3D view needs OpenGL, which is not available here."), viewArea_);
            noViewNote_->setAlignment(Qt::AlignCenter);
            noViewNote_->setWordWrap(true);
            viewArea_->layout()->addWidget(noViewNote_);
        }
        GlView::reportNoOpenGl();
    } else if (viewArea_) {
        releaseView();  // a fresh view on every visit
        view_ = new GlView(lighting_, [this] { drawView(); }, viewArea_);
        offerSavePicture(view_, mainWindow, [view = view_] { return view->grabFramebuffer(); });
        if (spinSlider_)
            view_->setSpinSpeed(spinSlider_->value());
        viewArea_->layout()->addWidget(view_);
    }
    frameTimer_.start();
}

void PipelinePage::deactivate()
{
    active_ = false;
    frameTimer_.stop();
    stopPlayback();
    releaseView();
}

void PipelinePage::releaseView()
{
    delete view_;
    view_ = nullptr;
    lastDrawn_.reset();
}

PipelinePage::SceneState PipelinePage::sceneState() const
{
    const MotionCaptureSession& s = session();
    return {&s, view_ ? view_->viewYaw() : 0.0f, s.currentFrame, s.markerCount(), s.edgeCount(),
            s.groupCount(), mainWindow.displayOptions()};
}

void PipelinePage::drawView()
{
    lastDrawn_ = sceneState();
    drawScene();
}

void PipelinePage::requestRedraw()
{
    if (view_)
        view_->update();
}

void PipelinePage::tick()
{
    const bool onDemand = redrawsOnDemand();
    if (view_) {
        if (onDemand)
            view_->turn();
        else
            view_->renderFrame();
    }
    advance();
    // The repaint comes after the step in both ways (an update is only a request), so the
    // picture drawn is the one after the step, and the same.
    if (onDemand && view_ && lastDrawn_ != sceneState())
        view_->update();
}

} // namespace duolo
