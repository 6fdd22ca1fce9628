#include "motiongraph/NodeOverlapIndex.h"

#include "motiongraph/Graph2D.h"

#include <algorithm>
#include <cmath>

namespace duolo {

namespace {

// A node of the standard radius (0.5) overlaps centres up to 1.0 away. Cells twice that wide,
// searched 1.25 either side of the centre: the extra quarter is far more than the rounding of
// any coordinate within the limit, so a node at the overlap distance is never in a cell skipped.
constexpr double kGriddedRadius = 0.5;
constexpr double kCell = 2.0;
constexpr double kSearch = 1.25;
// Centres up to 2^30 from the origin keep cell numbers within 32 bits and rounding far below a cell.
constexpr double kLimit = 1073741824.0;

bool withinLimit(double x, double y) { return std::fabs(x) <= kLimit && std::fabs(y) <= kLimit; }

int32_t cellNumber(double v) { return static_cast<int32_t>(std::floor(v / kCell)); }

bool overlapFrom(const Graph2DNode* m, const Graph2DNode& n) { return m->id != n.id && m->overlaps(n.x, n.y); }

} // namespace

bool NodeOverlapIndex::cellOf(double x, double y, Cell& cell)
{
    if (!withinLimit(x, y))
        return false;
    cell = {cellNumber(x), cellNumber(y)};
    return true;
}

uint64_t NodeOverlapIndex::key(Cell cell)
{
    return (static_cast<uint64_t>(static_cast<uint32_t>(cell.x)) << 32) | static_cast<uint32_t>(cell.y);
}

bool NodeOverlapIndex::gridded(const Graph2DNode& node)
{
    return std::fabs(node.radius) <= kGriddedRadius && withinLimit(node.x, node.y);
}

std::vector<Graph2DNode*>* NodeOverlapIndex::bucketFor(const Graph2DNode* node)
{
    Cell cell{};
    if (!gridded(*node) || !cellOf(node->x, node->y, cell))
        return &loose_;
    return &cells_[key(cell)];
}

void NodeOverlapIndex::insert(Graph2DNode* node)
{
    bucketFor(node)->push_back(node);
    ++count_;
}

void NodeOverlapIndex::remove(const Graph2DNode* node)
{
    std::vector<Graph2DNode*>* bucket = bucketFor(node);
    auto it = std::find(bucket->begin(), bucket->end(), node);
    if (it == bucket->end())
        return;
    *it = bucket->back();  // order inside a bucket does not matter
    bucket->pop_back();
    --count_;
}

const Graph2DNode* NodeOverlapIndex::firstOverlap(const Graph2DNode& n) const
{
    for (const Graph2DNode* m : loose_)
        if (overlapFrom(m, n))
            return m;
    if (!withinLimit(n.x, n.y)) {
        // Far out or not a number: no cell arithmetic, just every node.
        for (const auto& [k, bucket] : cells_)
            for (const Graph2DNode* m : bucket)
                if (overlapFrom(m, n))
                    return m;
        return nullptr;
    }
    const int32_t x0 = cellNumber(n.x - kSearch), x1 = cellNumber(n.x + kSearch);
    const int32_t y0 = cellNumber(n.y - kSearch), y1 = cellNumber(n.y + kSearch);
    for (int32_t cx = x0; cx <= x1; ++cx)
        for (int32_t cy = y0; cy <= y1; ++cy) {
            const auto it = cells_.find(key({cx, cy}));
            if (it == cells_.end())
                continue;
            for (const Graph2DNode* m : it->second)
                if (overlapFrom(m, n))
                    return m;
        }
    return nullptr;
}

} // namespace duolo
