#include "ui/SimplePlaybackPage.h"

#include "session/MotionCaptureSession.h"
#include "render/SpinSlider.h"
#include "render/ValueBox.h"
#include "ui/FrameControls.h"
#include "ui/MainDialog.h"
#include "ui/UpDownControl.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>

#include <algorithm>
#include <cmath>

namespace duolo {

namespace {
constexpr double kMinRadius = 0.1;
constexpr double kMaxRadius = 5.0;
constexpr int kMinPatches = 4;
constexpr int kMaxPatches = 32;
}

SimplePlaybackPage::SimplePlaybackPage(MainDialog& mainWindow) : PipelinePage(mainWindow)
{
    auto* frame = new QGroupBox(tr("Simple Playback"), this);
    auto* columns = new QHBoxLayout(frame);
    columns->setContentsMargins(12, 20, 12, 12);
    columns->setSpacing(16);
    columns->addWidget(buildViewColumn(frame), 1);
    columns->addWidget(buildOptionsColumn(frame), 0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);

    setViewArea(viewArea_, SceneLighting::Lit, spinSlider_);
    // The picture follows the frame, the turn and the display options, which the base
    // watches, and the marker size, which is reported below.
    setRedrawOnDemand(true);
    syncFrameControls();
    updateValueBoxes();
}

QWidget* SimplePlaybackPage::buildViewColumn(QWidget* parent)
{
    const PlaybackColumn parts =
        makePlaybackColumn(this, parent, tr("Frame shown; dragging stops playback"),
                           {tr("Play; pressing again stops and returns to frame 0"), tr("Stop at the current frame"), {}, {}});
    viewArea_ = parts.viewArea;
    spinSlider_ = parts.spinSlider;
    frames_ = parts.frames;
    return parts.column;
}

QWidget* SimplePlaybackPage::buildOptionsColumn(QWidget* parent)
{
    auto* column = new QWidget(parent);
    DisplayOptions& options = mainWindow.displayOptions();
    auto makeBox = [this, column](const QString& caption, bool& option) {
        auto* box = new QCheckBox(caption, column);
        option = true;  // every "Show" box starts checked
        box->setChecked(true);
        connect(box, &QCheckBox::toggled, this, [&option](bool on) { option = on; });
        return box;
    };
    showUngrouped_ = makeBox(tr("Show Ungrouped Markers"), options.showUngroupedMarkers);
    showGrouped_ = makeBox(tr("Show Grouped Markers"), options.showGroupedMarkers);
    showSkeleton_ = makeBox(tr("Show Skeleton"), options.showSkeleton);
    showHeading_ = makeBox(tr("Show Heading Vectors"), options.showHeadingVectors);
    showHeading_->setToolTip(tr("Heading and up vectors of the groups"));

    radiusSpinner_ = new UpDownControl(column);
    patchesSpinner_ = new UpDownControl(column);
    radiusBox_ = new ValueBox(column);
    patchesBox_ = new ValueBox(column);
    radiusBox_->setMinimumWidth(90);
    patchesBox_->setMinimumWidth(90);
    connect(radiusSpinner_, &UpDownControl::stepped, this, &SimplePlaybackPage::stepRadius);
    connect(patchesSpinner_, &UpDownControl::stepped, this, &SimplePlaybackPage::stepPatches);

    auto* grid = new QGridLayout(column);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(8);
    int row = 0;
    for (QCheckBox* box : {showUngrouped_, showGrouped_, showSkeleton_, showHeading_})
        grid->addWidget(box, row++, 0, 1, 3);
    grid->setRowMinimumHeight(row++, 16);
    grid->addWidget(new QLabel(tr("Marker Radius"), column), row, 0);
    grid->addWidget(radiusSpinner_, row, 1);
    grid->addWidget(radiusBox_, row++, 2);
    grid->addWidget(new QLabel(tr("Marker Patches"), column), row, 0);
    grid->addWidget(patchesSpinner_, row, 1);
    grid->addWidget(patchesBox_, row++, 2);
    grid->setRowStretch(row, 1);
    return column;
}

QSlider* SimplePlaybackPage::frameSlider() const { return frames_->slider(); }

void SimplePlaybackPage::activate()
{
    PipelinePage::activate();
    syncFrameControls();
}

void SimplePlaybackPage::drawScene()
{
    drawSessionFrame(session(), mainWindow.displayOptions(), markerRadius_, markerPatches_, -1);
}

void SimplePlaybackPage::advance()
{
    player_.step(session());
    syncFrameControls();
}

void SimplePlaybackPage::play()
{
    player_.togglePlay(session());
    syncFrameControls();
}

void SimplePlaybackPage::pause()
{
    player_.stop();
}

void SimplePlaybackPage::frameForward()
{
    player_.frameForward(session());
    syncFrameControls();
}

void SimplePlaybackPage::frameBack()
{
    player_.frameBack(session());
    syncFrameControls();
}

void SimplePlaybackPage::seekFrame(int frame)
{
    player_.seek(session(), frame, isActive());
    syncFrameControls();
}

void SimplePlaybackPage::stepRadius(int delta)
{
    // Kept on tenths, so that repeated steps never drift off the 0.1 grid.
    const double next = std::round((markerRadius_ + 0.1 * delta) * 10.0) / 10.0;
    markerRadius_ = std::clamp(next, kMinRadius, kMaxRadius);
    updateValueBoxes();
    requestRedraw();
}

void SimplePlaybackPage::stepPatches(int delta)
{
    markerPatches_ = std::clamp(markerPatches_ + delta, kMinPatches, kMaxPatches);
    updateValueBoxes();
    requestRedraw();
}

QString SimplePlaybackPage::frameText() const
{
    return duolo::frameText(session().currentFrame, session().frameCount);
}

void SimplePlaybackPage::syncFrameControls()
{
    const MotionCaptureSession& s = session();
    frames_->show(s.frameCount, tickPerFrameInterval(s.frameCount), s.currentFrame, frameText());
}

void SimplePlaybackPage::updateValueBoxes()
{
    radiusBox_->setNumber(markerRadius_, 1);
    patchesBox_->setNumber(markerPatches_, 0);
}

} // namespace duolo
