#pragma once

#include <QWidget>

namespace duolo {

class ValueBox;

// The strip above the tabs: a "STATUS:" pane and a pane naming the pipeline stage in the
// stage's colours.
class StatusStrip : public QWidget {
    Q_OBJECT
public:
    explicit StatusStrip(QWidget* parent = nullptr);

    void showStage(int stage);
    ValueBox* labelPane() const { return labelPane_; }
    ValueBox* stagePane() const { return stagePane_; }

    static QString stageText(int stage);

private:
    ValueBox* labelPane_;
    ValueBox* stagePane_;
};

} // namespace duolo
