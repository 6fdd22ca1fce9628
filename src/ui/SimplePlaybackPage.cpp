#include "ui/SimplePlaybackPage.h"

#include "session/MotionCaptureSession.h"
#include "render/SpinSlider.h"
#include "render/ValueBox.h"
#include "ui/MainDialog.h"
#include "ui/UpDownControl.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
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
    auto* column = new QWidget(parent);
    viewArea_ = new QFrame(column);
    viewArea_->setObjectName(QStringLiteral("viewArea"));
    viewArea_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    viewArea_->setMinimumSize(320, 240);
    viewArea_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    spinSlider_ = new SpinSlider(column);
    spinSlider_->setObjectName(QStringLiteral("spinSlider"));

    frameSlider_ = new QSlider(Qt::Horizontal, column);
    frameSlider_->setObjectName(QStringLiteral("frameSlider"));
    frameSlider_->setTickPosition(QSlider::TicksBelow);
    frameSlider_->setToolTip(tr("Frame shown; dragging stops playback"));
    connect(frameSlider_, &QSlider::valueChanged, this, [this](int value) {
        if (!syncingSlider_)
            seekFrame(value);
    });

    play_ = new QPushButton(tr("Play"), column);
    pause_ = new QPushButton(tr("Pause"), column);
    back_ = new QPushButton(tr("Frame Back"), column);
    forward_ = new QPushButton(tr("Frame Forward"), column);
    play_->setToolTip(tr("Play; pressing again stops and returns to frame 0"));
    pause_->setToolTip(tr("Stop at the current frame"));
    frameLabel_ = new QLabel(column);
    frameLabel_->setObjectName(QStringLiteral("frameLabel"));
    frameLabel_->setMinimumWidth(110);
    frameLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(play_, &QPushButton::clicked, this, &SimplePlaybackPage::play);
    connect(pause_, &QPushButton::clicked, this, &SimplePlaybackPage::pause);
    connect(forward_, &QPushButton::clicked, this, &SimplePlaybackPage::frameForward);
    connect(back_, &QPushButton::clicked, this, &SimplePlaybackPage::frameBack);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {play_, pause_, back_, forward_}) {
        b->setMinimumWidth(110);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    buttons->addWidget(frameLabel_);

    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(viewArea_, 1);
    layout->addWidget(spinSlider_);
    layout->addWidget(frameSlider_);
    layout->addLayout(buttons);
    return column;
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
    if (playing_ && session().frameCount > 0)
        session().stepFrame();
    syncFrameControls();
}

void SimplePlaybackPage::play()
{
    playing_ = !playing_;
    if (!playing_)
        session().setFrame(0);
    syncFrameControls();
}

void SimplePlaybackPage::pause()
{
    playing_ = false;
}

void SimplePlaybackPage::frameForward()
{
    playing_ = false;
    session().frameForward();
    syncFrameControls();
}

void SimplePlaybackPage::frameBack()
{
    playing_ = false;
    session().frameBack();
    syncFrameControls();
}

void SimplePlaybackPage::seekFrame(int frame)
{
    playing_ = false;
    MotionCaptureSession& s = session();
    if (isActive() && s.frameCount > 0)
        s.setFrame(std::clamp(frame, 0, s.frameCount - 1));
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
    const MotionCaptureSession& s = session();
    return QStringLiteral("%1 / %2").arg(s.currentFrame).arg(s.frameCount - 1);
}

void SimplePlaybackPage::syncFrameControls()
{
    const MotionCaptureSession& s = session();
    syncingSlider_ = true;
    const int last = std::max(0, s.frameCount - 1);
    frameSlider_->setRange(0, last);
    // A tick per frame on short takes; on long ones at most about a hundred ticks. (Setting
    // it repaints the slider even when it stays the same: this runs on every tick.)
    const int tickInterval = std::max(1, (last + 1) / 100);
    if (frameSlider_->tickInterval() != tickInterval)
        frameSlider_->setTickInterval(tickInterval);
    frameSlider_->setValue(s.currentFrame);
    syncingSlider_ = false;
    frameLabel_->setText(frameText());
}

void SimplePlaybackPage::updateValueBoxes()
{
    radiusBox_->setNumber(markerRadius_, 1);
    patchesBox_->setNumber(markerPatches_, 0);
}

} // namespace duolo
