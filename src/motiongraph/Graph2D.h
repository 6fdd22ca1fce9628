#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace duolo {

class Graph2DEdge;
class NodeOverlapIndex;

// One clip of a group's motion graph: an inclusive frame range with a place on the editor's
// canvas and a playback cursor. Nodes are owned by their Graph2D and never move in memory, so
// other objects (a group's current node, an edge's ends) may point at them.
class Graph2DNode {
public:
    Graph2DNode();  // for reading
    Graph2DNode(int32_t startFrame, int32_t endFrame, int32_t id, double x, double y);
    // Takes every incident edge with it: each is unlisted at its other end and destroyed once.
    ~Graph2DNode();
    Graph2DNode(const Graph2DNode&) = delete;
    Graph2DNode& operator=(const Graph2DNode&) = delete;

    int32_t startFrame = 0;
    int32_t endFrame = 0;
    int32_t currentFrame = 0;   // playback cursor inside the clip
    int32_t id = 0;             // number of nodes in the graph when this one was added
    double x = 0.0;             // centre on the canvas, y pointing up
    double y = 0.0;
    double radius = 0.5;
    std::vector<Graph2DEdge*> incidentEdges;  // edges from or to this node; a self-loop once

    // One frame on. True (and the cursor back at the start) when the clip has finished.
    bool advanceFrame();
    // Moves the centre and rebuilds the geometry of every incident edge.
    void translate(double dx, double dy);
    bool hit(double px, double py) const;
    // Whether a node centred at (px, py) would overlap this one.
    bool overlaps(double px, double py) const;
};

// A directed transition between two clips, with the quadrilateral and arrow the editor draws.
class Graph2DEdge {
public:
    Graph2DEdge();  // for reading
    Graph2DEdge(Graph2DNode* from, Graph2DNode* to);  // computes the geometry

    Graph2DNode* from = nullptr;  // not owned
    Graph2DNode* to = nullptr;
    double slope = 0.0;
    double halfWidth = 0.2;
    // Derived from the two ends by rebuildGeometry; never stored.
    double cornerX[4] = {0.0, 0.0, 0.0, 0.0};
    double cornerY[4] = {0.0, 0.0, 0.0, 0.0};
    double offX = 0.0;
    double offY = 0.0;
    double arrowDx = 0.0;
    double arrowDy = 0.0;

    // Recomputes slope, corners, perpendicular offset and arrow offset from the two ends.
    // Vertical and zero-length edges are not guarded: their quadrilateral degenerates.
    void rebuildGeometry();
    // Strictly inside the quadrilateral, with the orientation following the edge's direction.
    bool hit(double px, double py) const;
};

// A group's motion graph. The graph owns its nodes (and through them the edges); selection is
// kept as separate ordered lists of selected and unselected nodes and edges, and most editor
// operations move entries between them.
class Graph2D {
public:
    // Seeds the process-wide random generator from the clock.
    Graph2D();
    ~Graph2D();
    Graph2D(const Graph2D&) = delete;
    Graph2D& operator=(const Graph2D&) = delete;

    std::vector<Graph2DNode*> nodes;          // unselected, in insertion order
    std::vector<Graph2DNode*> selectedNodes;  // in order of selection
    std::vector<Graph2DEdge*> edges;          // unselected
    std::vector<Graph2DEdge*> selectedEdges;

    int32_t nodeCount() const { return static_cast<int32_t>(nodes.size()); }
    int32_t howManySelectedNodes() const { return static_cast<int32_t>(selectedNodes.size()); }
    int32_t edgeCount() const { return static_cast<int32_t>(edges.size()); }
    int32_t howManySelectedEdges() const { return static_cast<int32_t>(selectedEdges.size()); }
    int32_t totalNodeCount() const { return nodeCount() + howManySelectedNodes(); }

    // Creates a node numbered by the nodes already present, nudges it off any node it overlaps
    // and appends it to the selected nodes. Returns it (owned by the graph).
    Graph2DNode* addNode(int32_t startFrame, int32_t endFrame, double x, double y);
    // Adds the unselected edge a -> b unless a already has an incident edge ending at b.
    // Returns the new edge, or null when nothing was added.
    Graph2DEdge* addEdge(Graph2DNode* a, Graph2DNode* b);
    // addEdge(a, b) for each link in order, with the same outcome (the same edges, in the same
    // order, in the same lists); the new edges and their geometry are made in parallel.
    void addEdges(const std::vector<std::pair<Graph2DNode*, Graph2DNode*>>& links);
    // Links the first selected node to the second; with other than two selected it reports
    // "Error, attempt to join2SelectedNodes when howManySelectedNodes != 2" and does nothing.
    void join2SelectedNodes();
    // Moves every selected node and edge, in selection order, to the tails of the unselected lists.
    void deselectAll();
    // Removes the selected edges, then the selected nodes with every edge that touches them.
    // Whatever stays keeps its order in every list (both node lists, both edge lists, each
    // node's incident edges), and the ids of the nodes left are renumbered 0 .. n-1 in the order
    // of their old ids, so ids stay unique and a node added later takes the next number.
    // Returns whether anything was removed.
    bool deleteSelected();
    // Removes every node for which `drop` is true (selected or not) with its edges, as
    // deleteSelected does.
    template <class Predicate>
    bool deleteNodesIf(Predicate drop);
    void moveSelected(double dx, double dy);
    // Walks n diagonally (in steps of its radius, directions drawn after reseeding from the
    // clock) until no other node overlaps it. Overlaps are found through a grid of the node
    // centres; the walk, the draws and where n ends are those of a scan of both lists.
    void resolveOverlap(Graph2DNode* n);
    void resolveSelectedOverlaps();

    // Many nodes added in a row (a whole construction): while a batch is open, the graph keeps
    // one index of node centres, updated by addNode, resolveSelectedOverlaps and moveSelected,
    // instead of indexing every node again for each new one. Nodes must not be moved by other
    // means (Graph2DNode::translate, writing x or y) while it is open.
    class PlacementBatch {
    public:
        explicit PlacementBatch(Graph2D& graph);
        ~PlacementBatch();
        PlacementBatch(const PlacementBatch&) = delete;
        PlacementBatch& operator=(const PlacementBatch&) = delete;

    private:
        Graph2D& graph_;
        bool opened_;
    };

    // Moves an unselected node to the tail of the selected nodes; false when it is not unselected.
    bool selectNode(Graph2DNode* node);
    // Selects the first unselected node hit (true), else unselects the first selected node hit.
    bool toggleNodeAt(double x, double y);
    bool toggleEdgeAt(double x, double y);
    // Flips the selection of every node whose centre lies strictly inside the rectangle.
    void toggleNodesInRectangle(double xMin, double yMax, double xMax, double yMin);

    bool isNodeAt(double x, double y) const;
    bool isSelectedNodeAt(double x, double y) const;
    bool isEdgeAt(double x, double y) const;
    bool isSelectedEdgeAt(double x, double y) const;

    // The first unselected node whose clip holds the frame. With none it reports
    // "This should never happen. <frame>" and returns null.
    Graph2DNode* findNodeContainingFrame(int32_t frame) const;
    // findNodeContainingFrame for every frame 0 .. frameCount - 1 at once, without a message:
    // entry f is the first unselected node whose clip holds f, or null. Takes time in the
    // number of nodes and frames, not their product.
    std::vector<Graph2DNode*> firstNodesContainingFrames(int32_t frameCount) const;

private:
    // Removes the marked nodes (selected or not) and edges, and every edge that touches a
    // marked node; then renumbers the ids. Both sets hold pointers of this graph.
    bool remove(const std::vector<Graph2DNode*>& nodesToGo, const std::vector<Graph2DEdge*>& edgesToGo);
    void walkClear(NodeOverlapIndex& index, Graph2DNode* n);
    std::unique_ptr<NodeOverlapIndex> placementIndex_;  // while a PlacementBatch is open
};

template <class Predicate>
bool Graph2D::deleteNodesIf(Predicate drop)
{
    std::vector<Graph2DNode*> going;
    for (const auto* list : {&nodes, &selectedNodes})
        for (Graph2DNode* n : *list)
            if (drop(*n))
                going.push_back(n);
    return remove(going, {});
}

} // namespace duolo
