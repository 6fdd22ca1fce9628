#include "ui/FrameControls.h"

#include "render/SpinSlider.h"
#include "session/MotionCaptureSession.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

namespace duolo {

FrameSlider::FrameSlider(QWidget* parent, const QString& toolTip, int labelMinimumWidth,
                         std::function<void(int)> seek)
    : QObject(parent)
{
    slider_ = new QSlider(Qt::Horizontal, parent);
    slider_->setObjectName(QStringLiteral("frameSlider"));
    slider_->setTickPosition(QSlider::TicksBelow);
    slider_->setToolTip(toolTip);
    connect(slider_, &QSlider::valueChanged, this, [this, seek = std::move(seek)](int value) {
        if (!syncing_)
            seek(value);
    });
    label_ = new QLabel(parent);
    label_->setObjectName(QStringLiteral("frameLabel"));
    label_->setMinimumWidth(labelMinimumWidth);
    label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void FrameSlider::show(int frameCount, int tickInterval, std::optional<int> frame, const QString& text)
{
    syncing_ = true;
    slider_->setRange(0, std::max(0, frameCount - 1));
    // Setting the interval repaints the slider even when it stays the same.
    if (slider_->tickInterval() != tickInterval)
        slider_->setTickInterval(tickInterval);
    if (frame)
        slider_->setValue(*frame);
    syncing_ = false;
    label_->setText(text);
}

QString frameText(int current, int frameCount)
{
    return QStringLiteral("%1 / %2").arg(current).arg(frameCount - 1);
}

int tickPerFrameInterval(int frameCount)
{
    const int last = std::max(0, frameCount - 1);
    return std::max(1, (last + 1) / 100);
}

void setFrameInside(MotionCaptureSession& session, int frame)
{
    if (session.frameCount > 0)
        session.setFrame(std::clamp(frame, 0, session.frameCount - 1));
}

void SessionFramePlayer::togglePlay(MotionCaptureSession& session)
{
    playing_ = !playing_;
    if (!playing_)
        session.setFrame(0);
}

void SessionFramePlayer::frameForward(MotionCaptureSession& session)
{
    playing_ = false;
    session.frameForward();
}

void SessionFramePlayer::frameBack(MotionCaptureSession& session)
{
    playing_ = false;
    session.frameBack();
}

void SessionFramePlayer::seek(MotionCaptureSession& session, int frame, bool pageActive)
{
    playing_ = false;
    if (pageActive)
        setFrameInside(session, frame);
}

void SessionFramePlayer::step(MotionCaptureSession& session) const
{
    if (playing_ && session.frameCount > 0)
        session.stepFrame();
}

QFrame* makeViewArea(QWidget* parent, const QString& objectName, const QSize& minimumSize)
{
    auto* area = new QFrame(parent);
    area->setObjectName(objectName);
    area->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    area->setMinimumSize(minimumSize);
    area->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    return area;
}

QHBoxLayout* frameButtonRow(const FrameButtons& buttons, QLabel* label)
{
    auto* row = new QHBoxLayout;
    for (QPushButton* b : buttons.all()) {
        b->setMinimumWidth(110);
        row->addWidget(b);
    }
    row->addStretch(1);
    row->addWidget(label);
    return row;
}

PlaybackColumn makePlaybackColumnParts(QWidget* parent, const QString& sliderTip, std::function<void(int)> seek)
{
    PlaybackColumn parts;
    parts.column = new QWidget(parent);
    parts.viewArea = makeViewArea(parts.column, QStringLiteral("viewArea"), {320, 240});
    parts.spinSlider = new SpinSlider(parts.column);
    parts.spinSlider->setObjectName(QStringLiteral("spinSlider"));
    parts.frames = new FrameSlider(parts.column, sliderTip, 110, std::move(seek));
    return parts;
}

void layOutPlaybackColumn(const PlaybackColumn& parts, const FrameButtons& buttons)
{
    auto* layout = new QVBoxLayout(parts.column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(parts.viewArea, 1);
    layout->addWidget(parts.spinSlider);
    layout->addWidget(parts.frames->slider());
    layout->addLayout(frameButtonRow(buttons, parts.frames->label()));
}

} // namespace duolo
