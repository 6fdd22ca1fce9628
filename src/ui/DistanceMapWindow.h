#pragma once

#include "motiongraph/DistanceMap.h"

#include <QImage>
#include <QWidget>

#include <memory>
#include <optional>

class QCheckBox;
class QLabel;

namespace duolo {

// The picture of one group's frame-distance matrix (source frame down, target frame across),
// coloured against the group's maximum, with the pairs at or under the threshold highlighted,
// the latest build's transitions marked and a colour bar beside it. Hovering names the pair
// of a cell; clicking a cell asks for its source frame.
class DistanceMapCanvas : public QWidget {
    Q_OBJECT
public:
    explicit DistanceMapCanvas(QWidget* parent = nullptr);

    void setMap(std::shared_ptr<const DistanceMap> map);
    const DistanceMap* map() const { return map_.get(); }
    // Recolours without measuring again.
    void setStyle(double maxDistance, double threshold, std::vector<FrameLink> transitions);
    const std::vector<FrameLink>& transitions() const { return transitions_; }
    const QImage& image() const { return image_; }
    // Where the map is drawn inside the canvas (whole cells, nearest neighbour).
    QRect mapRect() const;
    // The cell under a canvas point, if any.
    std::optional<QPoint> cellAt(const QPoint& point) const;
    // What hovering over the cell reads.
    QString describeCell(int row, int column) const;

signals:
    void hovered(const QString& text);
    void sourceFrameChosen(int frame);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void render();
    QRect barRect() const;
    // The style the map is shown with: a position-term map is coloured against its own largest
    // value, the group's largest distance being that of the full distance.
    DistanceMapStyle shownStyle() const;

    std::shared_ptr<const DistanceMap> map_;
    DistanceMapStyle style_;
    std::vector<FrameLink> transitions_;
    QImage image_;
};

// The non-modal window around the canvas: the group in the title, the hovered pair below, and
// a "Position term only" check box that asks for the map of the position term alone (the full
// distance of most pairs of a real take is not a number, which leaves its map mostly grey).
class DistanceMapWindow : public QWidget {
    Q_OBJECT
public:
    explicit DistanceMapWindow(QWidget* parent = nullptr);

    DistanceMapCanvas* canvas() const { return canvas_; }
    // The term the check box asks for; the map shown says its own term in the title.
    DistanceTerm term() const;
    QCheckBox* positionTermBox() const { return positionTerm_; }
    // Shows the group's map, or (null) a note that it has not been measured yet.
    void showGroup(int groupNumber, std::shared_ptr<const DistanceMap> map);
    int groupNumber() const { return groupNumber_; }
    QLabel* infoLabel() const { return info_; }

signals:
    void termChanged();

private:
    DistanceMapCanvas* canvas_;
    QCheckBox* positionTerm_;
    QLabel* info_;
    int groupNumber_ = -1;
};

} // namespace duolo
