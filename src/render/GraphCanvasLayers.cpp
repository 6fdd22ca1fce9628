#include "render/GraphCanvasLayers.h"

#include "motiongraph/Graph2D.h"
#include "render/GraphDrawing.h"
#include "render/ValueBox.h"
#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"

#include <QPainter>

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace duolo {

namespace {

// A running 64-bit hash of what a layer shows. A layer is redrawn when its hash changes, so
// every value its picture depends on goes in.
struct Key {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    void add(uint64_t v)
    {
        h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    }
    void add(double v)
    {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        add(bits);
    }
    void add(const void* p) { add(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p))); }
};

Key viewKey(const GraphView& view, QSize size, bool crowded, int kind)
{
    Key k;
    for (double v : {view.worldExtent, view.centreX, view.centreY, view.nodeSizeFactor, view.lineSizeFactor})
        k.add(v);
    for (int64_t v : {int64_t{view.zoom}, int64_t{view.maximumZoom}, int64_t{view.width}, int64_t{view.height},
                      int64_t{size.width()}, int64_t{size.height()}, int64_t{crowded}, int64_t{kind}})
        k.add(static_cast<uint64_t>(v));
    return k;
}

// Whether a node is one of the selected ones: a short list is scanned, a long one hashed.
class SelectedNodes {
public:
    explicit SelectedNodes(const std::vector<Graph2DNode*>& nodes) : list_(nodes)
    {
        if (nodes.size() > 16)
            set_.insert(nodes.begin(), nodes.end());
    }
    bool empty() const { return list_.empty(); }
    bool holds(const Graph2DNode* n) const
    {
        if (list_.size() > 16)
            return set_.count(n) != 0;
        return std::find(list_.begin(), list_.end(), n) != list_.end();
    }

private:
    const std::vector<Graph2DNode*>& list_;
    std::unordered_set<const Graph2DNode*> set_;
};

} // namespace

template <class Fill>
void GraphCanvasLayers::lay(QPainter& painter, Layer& layer, uint64_t key, QSize size, Fill&& fill)
{
    if (layer.key == key && layer.image.size() == size) {
        ++reused_;
    } else {
        layer.key = key;
        if (layer.image.size() != size)
            layer.image = QImage(size, QImage::Format_ARGB32_Premultiplied);
        layer.image.fill(Qt::transparent);
        QPainter layerPainter(&layer.image);
        fill(layerPainter);
    }
    painter.drawImage(0, 0, layer.image);
}

void GraphCanvasLayers::drawGroup(QPainter& painter, const GraphView& view, const Graph2D& graph, uint32_t colour,
                                  GroupLayers& layers, QSize size)
{
    const bool crowded = isCrowded(graph);
    const SelectedNodes selected(graph.selectedNodes);
    std::vector<Graph2DEdge*> still, moving;
    still.reserve(graph.edges.size());
    Key edgeKey = viewKey(view, size, crowded, 0);
    bool loop = false;
    for (Graph2DEdge* e : graph.edges) {
        if (!e->from || !e->to)
            continue;  // not drawn
        loop = loop || isDrawnAsLoop(e->from->x, e->from->y, e->to->x, e->to->y);
        if (!selected.empty() && (selected.holds(e->from) || selected.holds(e->to))) {
            moving.push_back(e);
            continue;
        }
        still.push_back(e);
        edgeKey.add(e);
        for (double v : {e->from->x, e->from->y, e->to->x, e->to->y})
            edgeKey.add(v);
    }
    // Edges of one pen may be drawn in any order, but for loop circles: their white fill covers
    // what was drawn before them in list order.
    if (loop && !moving.empty() && !still.empty()) {
        drawGraph(painter, view, graph, colour);
        return;
    }
    if (!still.empty())
        lay(painter, layers.edges, edgeKey.h, size,
            [&](QPainter& p) { drawGraphEdges(p, view, still, GraphLineKind::Edge, crowded); });
    drawGraphEdges(painter, view, moving, GraphLineKind::Edge, crowded);
    drawGraphEdges(painter, view, graph.selectedEdges, GraphLineKind::SelectedEdge, crowded);

    Key nodeKey = viewKey(view, size, crowded, 1);
    nodeKey.add(static_cast<uint64_t>(colour));
    for (const Graph2DNode* n : graph.nodes) {
        nodeKey.add(n);
        nodeKey.add(n->x);
        nodeKey.add(n->y);
    }
    const QColor fill = colourFromColourRef(colour);
    if (!graph.nodes.empty())
        lay(painter, layers.nodes, nodeKey.h, size,
            [&](QPainter& p) { drawGraphNodes(p, view, graph.nodes, fill, crowded); });
    drawGraphNodes(painter, view, graph.selectedNodes, GraphColours::selected(), crowded);
}

void GraphCanvasLayers::draw(QPainter& painter, const GraphView& view, const MotionCaptureSession& session,
                             int groupNumber)
{
    reused_ = 0;
    QPaintDevice* device = painter.device();
    const bool plainImage = device && device->devType() == QInternal::Image && painter.transform().isIdentity()
                         && !painter.hasClipping();
    if (!plainImage) {
        drawGraphCanvas(painter, view, session, groupNumber);
        return;
    }
    const QSize size(device->width(), device->height());
    drawGraphBackground(painter, view);
    drawGraphGridAndBorder(painter, view);
    if (view.edgeDragging)
        drawProvisionalEdge(painter, view);
    groups_.resize(static_cast<size_t>(std::max(0, session.groupCount())));
    for (int g = 0; g < session.groupCount(); ++g) {
        if (!view.showAllGroups && g != groupNumber)
            continue;
        const Group& group = *session.groups[static_cast<size_t>(g)];
        if (group.graph)
            drawGroup(painter, view, *group.graph, group.colour, groups_[static_cast<size_t>(g)], size);
    }
    if (view.rectangleSelecting)
        drawSelectionRectangle(painter, view);
}

} // namespace duolo
