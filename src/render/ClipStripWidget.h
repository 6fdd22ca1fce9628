#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

namespace duolo {

// The take's frames left to right with the clips of a graph as bands: consecutive clips in two
// alternating shades, highlighted ones (the selected nodes) in red, and markers (each playing
// group's current frame) as upright lines in the group's colour. A click reports the frame
// under the mouse.
class ClipStripWidget : public QWidget {
    Q_OBJECT
public:
    struct Band {
        int32_t start = 0;
        int32_t end = 0;
        bool highlighted = false;
        bool operator==(const Band&) const = default;
    };
    struct Marker {
        int32_t frame = 0;
        uint32_t colour = 0;  // 0x00BBGGRR
        bool operator==(const Marker&) const = default;
    };

    explicit ClipStripWidget(QWidget* parent = nullptr);

    // Repaints only when something differs from what is shown.
    void setContent(int32_t frameCount, std::vector<Band> bands, std::vector<Marker> markers = {});
    int32_t frameCount() const { return frameCount_; }
    const std::vector<Band>& bands() const { return bands_; }
    const std::vector<Marker>& markers() const { return markers_; }
    // The frame under a point of the widget (held inside the take); -1 without frames.
    int32_t frameAt(int x) const;
    QSize sizeHint() const override { return {400, 22}; }

signals:
    void frameClicked(int32_t frame);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    double xOf(double frame) const;

    int32_t frameCount_ = 0;
    std::vector<Band> bands_;
    std::vector<Marker> markers_;
};

} // namespace duolo
