#include "ui/DistanceMapWindow.h"

#include "capture/ValueFormat.h"

#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace duolo {

namespace {

constexpr int kMargin = 8;
constexpr int kBarWidth = 22;
constexpr int kBarLabelWidth = 70;

QString number(double value, int decimals = 1)
{
    return QString::fromStdString(formatNumber(value, decimals));
}

} // namespace

DistanceMapCanvas::DistanceMapCanvas(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setMinimumSize(320, 280);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setToolTip(tr("Source frame down, target frame across; click a cell to show its source frame"));
}

void DistanceMapCanvas::setMap(std::shared_ptr<const DistanceMap> map)
{
    map_ = std::move(map);
    render();
}

void DistanceMapCanvas::setStyle(double maxDistance, double threshold, std::vector<FrameLink> transitions)
{
    style_.maxDistance = maxDistance;
    style_.threshold = threshold;
    transitions_ = std::move(transitions);
    render();
}

void DistanceMapCanvas::render()
{
    image_ = QImage();
    if (map_ && map_->side > 0) {
        DistanceMapStyle style = shownStyle();
        style.transitions = &transitions_;
        const RgbImage rgb = renderDistanceMap(*map_, style);
        image_ = QImage(rgb.pixels.data(), rgb.width, rgb.height, 3 * rgb.width, QImage::Format_RGB888).copy();
    }
    update();
}

DistanceMapStyle DistanceMapCanvas::shownStyle() const
{
    DistanceMapStyle style = style_;
    if (map_ && map_->term == DistanceTerm::PositionOnly)
        style.maxDistance = map_->largest;
    return style;
}

QRect DistanceMapCanvas::mapRect() const
{
    if (image_.isNull())
        return {};
    const int room = std::min(width() - 2 * kMargin - kBarWidth - kBarLabelWidth - kMargin, height() - 2 * kMargin);
    // Square cells scaled to the room (nearest neighbour), so that no cell is blurred.
    const int size = room;
    return {kMargin, kMargin, std::max(1, size), std::max(1, size)};
}

QRect DistanceMapCanvas::barRect() const
{
    const QRect m = mapRect();
    return {m.right() + 1 + kMargin, m.top(), kBarWidth, m.height()};
}

std::optional<QPoint> DistanceMapCanvas::cellAt(const QPoint& point) const
{
    const QRect m = mapRect();
    if (!map_ || m.isEmpty() || !m.contains(point))
        return std::nullopt;
    const int column = std::min(map_->side - 1, (point.x() - m.left()) * map_->side / m.width());
    const int row = std::min(map_->side - 1, (point.y() - m.top()) * map_->side / m.height());
    return QPoint(column, row);
}

QString DistanceMapCanvas::describeCell(int row, int column) const
{
    if (!map_)
        return {};
    const int s0 = map_->blockBegin(row), s1 = map_->blockBegin(row + 1) - 1;
    const int t0 = map_->blockBegin(column), t1 = map_->blockBegin(column + 1) - 1;
    const double d = map_->cell(row, column);
    QString range;
    if (s1 > s0 || t1 > t0)
        range = tr(" (smallest of sources %1-%2, targets %3-%4)").arg(s0).arg(s1).arg(t0).arg(t1);
    const bool positions = map_->term == DistanceTerm::PositionOnly;
    if (std::isnan(d))
        return (positions ? tr("Sources %1-%2, targets %3-%4: no position term (a position is not a number)")
                          : tr("Sources %1-%2, targets %3-%4: no distance (a joint stands still or speeds up)"))
            .arg(s0).arg(s1).arg(t0).arg(t1);
    return (positions ? tr("Source %1, target %2: position term %3%4") : tr("Source %1, target %2: distance %3%4"))
        .arg(map_->bestSource(row, column))
        .arg(map_->bestTarget(row, column))
        .arg(number(d, 2))
        .arg(range);
}

void DistanceMapCanvas::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(32, 32, 32));
    if (image_.isNull()) {
        p.setPen(Qt::white);
        p.drawText(rect().adjusted(kMargin, kMargin, -kMargin, -kMargin), Qt::AlignCenter | Qt::TextWordWrap,
                   tr("No distance map for this group yet: press \"Distance Map\" on the page to measure it."));
        return;
    }
    const QRect m = mapRect();
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(m, image_);

    // The colour bar, 0 at the bottom and the map's maximum at the top, with the threshold.
    const DistanceMapStyle style = shownStyle();
    const QRect bar = barRect();
    const RgbImage column = renderColourBar(1, bar.height(), style);
    const QImage strip(column.pixels.data(), 1, column.height, 3, QImage::Format_RGB888);
    p.drawImage(bar, strip);
    p.setPen(Qt::white);
    const QFontMetrics fm(font());
    const int labelX = bar.right() + 4;
    p.drawText(labelX, bar.top() + fm.ascent(), number(style.maxDistance, 0));
    p.drawText(labelX, bar.bottom(), QStringLiteral("0"));
    if (style.threshold >= 0.0 && style.maxDistance > 0.0 && style.threshold <= style.maxDistance) {
        const int y = bar.top() + static_cast<int>(std::lround((1.0 - style.threshold / style.maxDistance) *
                                                               (bar.height() - 1)));
        p.drawLine(bar.left() - 3, y, bar.right() + 3, y);
        p.drawText(labelX, std::clamp(y + fm.ascent() / 2, bar.top() + 2 * fm.height(), bar.bottom() - fm.height()),
                   tr("T %1").arg(number(style.threshold, 0)));
    }
}

void DistanceMapCanvas::mouseMoveEvent(QMouseEvent* event)
{
    const auto cell = cellAt(event->position().toPoint());
    emit hovered(cell ? describeCell(cell->y(), cell->x()) : QString());
}

void DistanceMapCanvas::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const auto cell = cellAt(event->position().toPoint());
    if (!cell || !map_)
        return;
    // The source of the cell's closest pair; the block's first frame when it has none.
    int frame = map_->bestSource(cell->y(), cell->x());
    if (frame < 0)
        frame = map_->blockBegin(cell->y());
    emit sourceFrameChosen(frame);
}

void DistanceMapCanvas::leaveEvent(QEvent*)
{
    emit hovered(QString());
}

DistanceMapWindow::DistanceMapWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("distanceMapWindow"));
    canvas_ = new DistanceMapCanvas(this);
    canvas_->setObjectName(QStringLiteral("distanceMapCanvas"));
    positionTerm_ = new QCheckBox(tr("Position term only"), this);
    positionTerm_->setObjectName(QStringLiteral("positionTermOnly"));
    positionTerm_->setToolTip(tr("Show the position term of the frame distance alone (the sum of the joints' "
                                 "distances), which is a number for every pair; the full distance is not a "
                                 "number wherever a joint stands still or speeds up"));
    connect(positionTerm_, &QCheckBox::toggled, this, &DistanceMapWindow::termChanged);
    info_ = new QLabel(this);
    info_->setObjectName(QStringLiteral("distanceMapInfo"));
    info_->setMinimumHeight(info_->fontMetrics().height() + 6);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(positionTerm_);
    layout->addWidget(canvas_, 1);
    layout->addWidget(info_);
    connect(canvas_, &DistanceMapCanvas::hovered, info_, &QLabel::setText);
    resize(760, 680);
}

void DistanceMapWindow::showGroup(int groupNumber, std::shared_ptr<const DistanceMap> map)
{
    groupNumber_ = groupNumber;
    const bool positions = map && map->term == DistanceTerm::PositionOnly;
    setWindowTitle(positions ? tr("Distance Map - Group %1 - Position term only").arg(groupNumber)
                             : tr("Distance Map - Group %1").arg(groupNumber));
    canvas_->setMap(std::move(map));
    info_->clear();
}

DistanceTerm DistanceMapWindow::term() const
{
    return positionTerm_->isChecked() ? DistanceTerm::PositionOnly : DistanceTerm::Full;
}

} // namespace duolo
