#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace duolo {

class Graph2DNode;

// Answers the overlap question of node placement (does any indexed node m with an id other than
// n's have n's centre within 2 * m.radius of its own?) from a uniform grid of node centres, so a
// node walking off a crowd looks only at its neighbours instead of every node of the graph.
//
// Cells are twice the standard overlap reach wide, so every node that can overlap a centre lies
// in the few cells around it. Nodes the grid cannot place with that guarantee (a radius above the
// standard one or not a number, a centre far out or not finite) are kept in a list that every
// query also scans, and a query from such a centre scans everything: the answer is always the
// one a scan of every node gives, whatever the coordinates.
class NodeOverlapIndex {
public:
    // Indexes the node at its current centre. A node must not move while it is indexed.
    void insert(Graph2DNode* node);
    // Takes the node out again (its centre must be the one it was indexed at).
    void remove(const Graph2DNode* node);
    // Whether some indexed node other than n (by id) overlaps n's centre.
    bool overlapsAny(const Graph2DNode& n) const { return firstOverlap(n) != nullptr; }
    // One such node (the first the search meets), or null.
    const Graph2DNode* firstOverlap(const Graph2DNode& n) const;
    size_t size() const { return count_; }

private:
    struct Cell {
        int32_t x;
        int32_t y;
    };
    static bool cellOf(double x, double y, Cell& cell);
    static uint64_t key(Cell cell);
    static bool gridded(const Graph2DNode& node);
    std::vector<Graph2DNode*>* bucketFor(const Graph2DNode* node);

    std::unordered_map<uint64_t, std::vector<Graph2DNode*>> cells_;
    std::vector<Graph2DNode*> loose_;
    size_t count_ = 0;
};

} // namespace duolo
