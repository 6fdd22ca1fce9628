#include "ui/StatusStrip.h"

#include "render/ValueBox.h"

#include <QHBoxLayout>

#include <array>

namespace duolo {
namespace {

struct StageLook {
    const char* text;
    QColor fill;
    QColor border;
};

const std::array<StageLook, 5>& stageLooks()
{
    static const std::array<StageLook, 5> looks = {{
        {"No Files Loaded", QColor(0, 0, 0), QColor(64, 64, 64)},
        {"Raw Motion Capture Session Loaded", QColor(0, 0, 212), QColor(0, 0, 255)},
        {"Skeleton Built", QColor(0, 212, 0), QColor(0, 255, 0)},
        {"Motion Capture Session Dissected", QColor(212, 0, 0), QColor(255, 0, 0)},
        {"Motion Graph Built", QColor(212, 212, 0), QColor(255, 255, 0)},
    }};
    return looks;
}

} // namespace

QString StatusStrip::stageText(int stage)
{
    if (stage < 0 || stage >= static_cast<int>(stageLooks().size()))
        return {};
    return QString::fromLatin1(stageLooks()[static_cast<size_t>(stage)].text);
}

StatusStrip::StatusStrip(QWidget* parent) : QWidget(parent)
{
    ValueBoxStyle label;
    label.background = QColor(212, 208, 200);
    label.text = Qt::black;
    label.border = Qt::white;
    labelPane_ = new ValueBox(this, label);
    labelPane_->setObjectName(QStringLiteral("statusLabelPane"));
    labelPane_->setText(QStringLiteral("STATUS:"));
    stagePane_ = new ValueBox(this);
    stagePane_->setObjectName(QStringLiteral("stagePane"));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    // The panes keep the proportions of the label (111) to the stage text (558).
    layout->addWidget(labelPane_, 111);
    layout->addWidget(stagePane_, 558);
    const int height = labelPane_->minimumHeight() + 12;
    labelPane_->setFixedHeight(height);
    stagePane_->setFixedHeight(height);
    showStage(0);
}

void StatusStrip::showStage(int stage)
{
    if (stage < 0 || stage >= static_cast<int>(stageLooks().size()))
        return;
    const StageLook& look = stageLooks()[static_cast<size_t>(stage)];
    ValueBoxStyle style;
    style.background = look.fill;
    style.border = look.border;
    style.text = Qt::white;
    stagePane_->setStyle(style);
    stagePane_->setText(QString::fromLatin1(look.text));
}

} // namespace duolo
