#include "capture/Archive.h"
#include "capture/Random.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/GraphArchive.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace duolo {
namespace {

using test::FixedClock;

// Little-endian helpers to spell out expected bytes.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes& u16(uint16_t v) { b.push_back(v & 0xFF); b.push_back(v >> 8); return *this; }
    Bytes& i32(int32_t v) { for (int k = 0; k < 4; ++k) b.push_back((static_cast<uint32_t>(v) >> (8 * k)) & 0xFF); return *this; }
    Bytes& f64(double v) { uint64_t u; std::memcpy(&u, &v, 8); for (int k = 0; k < 8; ++k) b.push_back((u >> (8 * k)) & 0xFF); return *this; }
    Bytes& text(const char* s) { while (*s) b.push_back(static_cast<uint8_t>(*s++)); return *this; }
    Bytes& newClass(const char* name) { u16(0xFFFF).u16(0).u16(static_cast<uint16_t>(std::strlen(name))); return text(name); }
};

TEST(GraphArchive, OneSelectedNodeByteForByte)
{
    FixedClock clock(1);
    Graph2D g;
    g.addNode(3, 7, 2.5, -1.0);
    Bytes expected;
    expected.i32(0).i32(1).i32(0).i32(0);
    expected.u16(0);                                  // unselected nodes
    expected.u16(1).newClass("Graph2DNode");          // class 1, node 2
    expected.i32(0).f64(2.5).f64(-1.0);
    expected.newClass("CObList").u16(0);              // class 3, list 4: no edges
    expected.i32(3).i32(7);
    expected.u16(0).u16(0);                           // edge lists
    EXPECT_EQ(graphToBytes(g), expected.b);
}

TEST(GraphArchive, EdgesAndSharedNodesAreWrittenOnceAndReferredToAfterwards)
{
    FixedClock clock(1);
    Graph2D g;
    Graph2DNode* a = g.addNode(0, 4, 0.0, 0.0);
    Graph2DNode* b = g.addNode(5, 9, 4.0, 2.0);
    g.deselectAll();
    g.addEdge(a, b);
    Bytes expected;
    expected.i32(2).i32(0).i32(1).i32(0);
    expected.u16(2).newClass("Graph2DNode");          // class 1, a = 2
    expected.i32(0).f64(0.0).f64(0.0);
    expected.newClass("CObList").u16(1);              // class 3, a's list = 4
    expected.newClass("Graph2DEdge");                 // class 5, edge = 6
    expected.f64(0.5);
    expected.u16(2);                                  // from: a, already indexed
    expected.u16(0x8001);                             // to: new node b = 7
    expected.i32(1).f64(4.0).f64(2.0);
    expected.u16(0x8003).u16(1).u16(6);               // b's list = 8, holding the edge
    expected.i32(5).i32(9);
    expected.f64(0.2);                                // the edge's half width
    expected.i32(0).i32(4);                           // a's frames
    expected.u16(7);                                  // b again in the list
    expected.u16(0);
    expected.u16(1).u16(6);                           // the edge by reference
    expected.u16(0);
    EXPECT_EQ(graphToBytes(g), expected.b);
}

TEST(GraphArchive, RoundTripKeepsListsSelectionAndGeometry)
{
    FixedClock clock(1);
    Graph2D g;
    Graph2DNode* a = g.addNode(0, 4, 0.0, 0.0);
    Graph2DNode* b = g.addNode(5, 9, 4.0, 2.0);
    Graph2DNode* c = g.addNode(10, 12, -3.0, 6.0);
    g.deselectAll();
    g.addEdge(a, b);
    ASSERT_NE(g.addEdge(c, c), nullptr);
    g.addEdge(b, c);
    g.addEdge(c, a);
    EXPECT_TRUE(g.toggleNodeAt(4.0, 2.0));
    EXPECT_TRUE(g.toggleEdgeAt(2.0, 1.0));
    c->advanceFrame();

    std::string error;
    auto copy = graphFromBytes(graphToBytes(g), error);
    ASSERT_NE(copy, nullptr) << error;
    ASSERT_EQ(copy->nodeCount(), 2);
    ASSERT_EQ(copy->howManySelectedNodes(), 1);
    ASSERT_EQ(copy->edgeCount(), 3);
    ASSERT_EQ(copy->howManySelectedEdges(), 1);
    auto same = [](const Graph2DNode* x, const Graph2DNode* y) {
        return x->id == y->id && x->x == y->x && x->y == y->y && x->startFrame == y->startFrame &&
               x->endFrame == y->endFrame && x->incidentEdges.size() == y->incidentEdges.size();
    };
    for (int k = 0; k < 2; ++k)
        EXPECT_TRUE(same(copy->nodes[k], g.nodes[k]));
    EXPECT_TRUE(same(copy->selectedNodes[0], g.selectedNodes[0]));
    EXPECT_EQ(copy->nodes[1]->currentFrame, 10);  // the cursor starts over
    for (int k = 0; k < 3; ++k) {
        const Graph2DEdge* x = copy->edges[k];
        const Graph2DEdge* y = g.edges[k];
        EXPECT_EQ(x->from->id, y->from->id);
        EXPECT_EQ(x->to->id, y->to->id);
        for (int q = 0; q < 4; ++q) {
            if (std::isnan(y->cornerX[q]))
                continue;
            EXPECT_EQ(x->cornerX[q], y->cornerX[q]);
            EXPECT_EQ(x->cornerY[q], y->cornerY[q]);
        }
    }
    EXPECT_TRUE(copy->isSelectedEdgeAt(2.0, 1.0));
    EXPECT_EQ(graphToBytes(*copy), graphToBytes(g));
}

TEST(GraphArchive, DamagedRecordsAreRefusedWithoutLeaks)
{
    FixedClock clock(1);
    Graph2D g;
    Graph2DNode* a = g.addNode(0, 4, 0.0, 0.0);
    Graph2DNode* b = g.addNode(5, 9, 4.0, 2.0);
    g.addEdge(a, b);
    g.addEdge(b, a);
    const auto bytes = graphToBytes(g);
    std::string error;
    // Every truncation fails cleanly.
    for (size_t n = 0; n < bytes.size(); ++n) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + n);
        EXPECT_EQ(graphFromBytes(cut, error), nullptr) << n;
        EXPECT_FALSE(error.empty());
    }
    // A count that disagrees with its list.
    auto wrongCount = bytes;
    wrongCount[0] = 5;
    EXPECT_EQ(graphFromBytes(wrongCount, error), nullptr);
    EXPECT_NE(error.find("counts"), std::string::npos) << error;
    // Node frames outside 0 .. kMaxGraphFrame (a negative one, or 2^31 - 1, which playback
    // would count past) are refused where they stand.
    Graph2D one;
    one.addNode(3, 7, 0.0, 0.0);
    const auto oneBytes = graphToBytes(one);
    const std::size_t endAt = oneBytes.size() - 4 - 4;  // the node's end frame, before the edge lists
    for (const int32_t frame : {-1, kMaxGraphFrame + 1, std::numeric_limits<int32_t>::max()}) {
        auto bad = oneBytes;
        std::memcpy(bad.data() + endAt, &frame, 4);
        EXPECT_EQ(graphFromBytes(bad, error), nullptr) << frame;
        EXPECT_EQ(error, "a Graph2DNode's clip names frame " + std::to_string(frame) + " at byte " +
                             std::to_string(endAt));
    }
    auto top = oneBytes;
    std::memcpy(top.data() + endAt, &kMaxGraphFrame, 4);
    auto read = graphFromBytes(top, error);
    ASSERT_NE(read, nullptr) << error;
    EXPECT_EQ(read->selectedNodes.at(0)->endFrame, kMaxGraphFrame);
    // Every single-byte corruption either reads back as a sound graph or is refused.
    for (size_t k = 16; k < bytes.size(); ++k) {
        auto bad = bytes;
        bad[k] ^= 0x5A;
        auto graph = graphFromBytes(bad, error);
        if (graph) {
            for (const Graph2DEdge* e : graph->edges)
                EXPECT_TRUE(e->from && e->to);
        }
    }
}

} // namespace
} // namespace duolo
