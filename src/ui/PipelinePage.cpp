#include "ui/PipelinePage.h"

#include "render/SpinSlider.h"
#include "ui/MainDialog.h"

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
        view_ = new GlView(lighting_, [this] { drawScene(); }, viewArea_);
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
}

void PipelinePage::tick()
{
    if (view_)
        view_->renderFrame();
    advance();
}

} // namespace duolo
