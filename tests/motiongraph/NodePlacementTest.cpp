// The overlap index and the frame lookup against the plain scans they replace, on random
// layouts: the same nudges, the same draws, the same places, the same nodes.
#include "capture/Random.h"
#include "motiongraph/Graph2D.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace duolo {
namespace {

// A clock that moves on every third reading, so that walks change direction now and then.
class TickingClock {
public:
    TickingClock() { setRandomClock([this] { return ticks_++ / 3; }); }
    ~TickingClock() { setRandomClock(nullptr); }
    void restart() { ticks_ = 0; }

private:
    uint32_t ticks_ = 0;
};

// The placement rule as a scan over every node, nodes first, then the selected ones.
struct ScanLayout {
    std::vector<std::unique_ptr<Graph2DNode>> nodes;

    bool overlapping(const Graph2DNode& n) const
    {
        for (const auto& m : nodes)
            if (m->id != n.id && m->overlaps(n.x, n.y))
                return true;
        return false;
    }
    void walk(Graph2DNode& n) const
    {
        while (overlapping(n)) {
            seedRandomFromClock();
            const int a = nextRandom();
            const int b = nextRandom();
            n.translate(a % 2 == 0 ? n.radius : -n.radius, b % 2 == 0 ? n.radius : -n.radius);
        }
    }
};

struct Placed {
    double x, y;
    bool operator==(const Placed&) const = default;
};

// A crowded start: nodes on a half-unit lattice (so that exact touching distances occur), a few
// the grid cannot hold (a larger radius, a centre not a number or far out) and a repeated id.
void seedLayout(std::mt19937& random, Graph2D& graph, ScanLayout& scan)
{
    std::uniform_int_distribution<int> lattice(-8, 8);
    for (int k = 0; k < 60; ++k) {
        double x = lattice(random) * 0.5, y = lattice(random) * 0.5, radius = 0.5;
        int32_t id = k;
        if (k == 7) radius = 0.8;
        if (k == 11) radius = 0.25;
        if (k == 13) x = std::numeric_limits<double>::quiet_NaN();
        if (k == 17) x = 3e12;
        if (k == 19) y = -std::numeric_limits<double>::infinity();
        if (k == 23) id = 5;
        for (auto* list : {&graph.nodes, &graph.selectedNodes}) {
            if ((list == &graph.selectedNodes) != (k % 4 == 0))
                continue;
            auto* node = new Graph2DNode(k, k, id, x, y);
            node->radius = radius;
            list->push_back(node);
        }
        auto copy = std::make_unique<Graph2DNode>(k, k, id, x, y);
        copy->radius = radius;
        scan.nodes.push_back(std::move(copy));
    }
}

TEST(NodePlacement, IndexedOverlapResolutionMatchesThePlainScan)
{
    for (uint32_t layout = 0; layout < 12; ++layout) {
        const bool batched = layout % 2 == 0;
        std::mt19937 random(layout);
        TickingClock clock;
        Graph2D graph;
        ScanLayout scan;
        seedLayout(random, graph, scan);

        // New nodes dropped on the crowd, mostly at the origin as construction drops them.
        std::uniform_int_distribution<int> spot(-6, 6);
        std::vector<std::pair<double, double>> drops;
        for (int k = 0; k < 90; ++k)
            drops.emplace_back(k % 3 ? 0.0 : spot(random), k % 3 ? 0.0 : spot(random) * 0.5);
        drops.emplace_back(std::nan(""), 0.0);
        drops.emplace_back(5e11, -5e11);

        clock.restart();
        std::vector<Placed> indexed;
        {
            std::unique_ptr<Graph2D::PlacementBatch> batch;
            if (batched)
                batch = std::make_unique<Graph2D::PlacementBatch>(graph);
            for (const auto& [x, y] : drops) {
                const Graph2DNode* node = graph.addNode(0, 0, x, y);
                indexed.push_back({node->x, node->y});
            }
            // Moving the selection and walking it clear again keep the index in step.
            graph.moveSelected(0.5, 0.0);
            graph.resolveSelectedOverlaps();
            for (const Graph2DNode* node : graph.selectedNodes)
                indexed.push_back({node->x, node->y});
        }
        const int indexedDraw = nextRandom();

        clock.restart();
        std::vector<Placed> scanned;
        const size_t before = scan.nodes.size();
        for (const auto& [x, y] : drops) {
            auto node = std::make_unique<Graph2DNode>(0, 0, static_cast<int32_t>(scan.nodes.size()), x, y);
            scan.walk(*node);
            scanned.push_back({node->x, node->y});
            scan.nodes.push_back(std::move(node));
        }
        // The selected nodes in selection order: the seeded ones (every fourth), then the drops.
        std::vector<Graph2DNode*> selected;
        for (size_t k = 0; k < before; k += 4)
            selected.push_back(scan.nodes[k].get());
        for (size_t k = before; k < scan.nodes.size(); ++k)
            selected.push_back(scan.nodes[k].get());
        for (Graph2DNode* node : selected)
            node->translate(0.5, 0.0);
        for (Graph2DNode* node : selected)
            scan.walk(*node);
        for (const Graph2DNode* node : selected)
            scanned.push_back({node->x, node->y});
        const int scannedDraw = nextRandom();

        ASSERT_EQ(indexed.size(), scanned.size());
        for (size_t k = 0; k < indexed.size(); ++k) {
            // Bit for bit, not-a-number centres included.
            EXPECT_TRUE(std::memcmp(&indexed[k], &scanned[k], sizeof(Placed)) == 0)
                << "layout " << layout << " node " << k << ": " << indexed[k].x << "," << indexed[k].y << " vs "
                << scanned[k].x << "," << scanned[k].y;
        }
        EXPECT_EQ(indexedDraw, scannedDraw) << layout;
    }
}

TEST(NodePlacement, FrameLookupMatchesFindNodeContainingFrame)
{
    test::CapturedMessages messages;
    test::FixedClock clock(1);
    std::mt19937 random(5);
    for (int layout = 0; layout < 20; ++layout) {
        Graph2D graph;
        const int32_t frames = 1 + static_cast<int32_t>(random() % 300);
        std::uniform_int_distribution<int32_t> frame(-20, frames + 20);
        // Clips that overlap, leave gaps, start before 0, end past the last frame or are
        // empty (end before start); some join the list late (out of frame order) and the
        // last ones stay selected, to be passed over.
        for (int k = 0; k < 40; ++k) {
            int32_t start = frame(random);
            int32_t end = k % 9 == 0 ? start - 1 : start + static_cast<int32_t>(random() % 40);
            if (k == 3) {
                start = std::numeric_limits<int32_t>::min();
                end = std::numeric_limits<int32_t>::max();
            }
            graph.addNode(start, end, 0.0, 0.0);
            if (k % 5 != 4 && k < 37)
                graph.deselectAll();
        }
        const std::vector<Graph2DNode*> first = graph.firstNodesContainingFrames(frames);
        ASSERT_EQ(first.size(), static_cast<size_t>(frames));
        for (int32_t f = 0; f < frames; ++f)
            EXPECT_EQ(first[f], graph.findNodeContainingFrame(f)) << "layout " << layout << " frame " << f;
    }
    EXPECT_TRUE(Graph2D().firstNodesContainingFrames(-3).empty());
}

} // namespace
} // namespace duolo
