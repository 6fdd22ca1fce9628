// The graph file: graphs through the file and back bit for bit (and playing as before), files of
// another project or damaged ones refused with nothing applied; deleting from a graph.
#include "motiongraph/FrameDistance.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "playback/EnsemblePlayer.h"
#include "session/GraphFile.h"
#include "session/MotionCaptureSession.h"
#include "session/PlaybackEnsemble.h"
#include "session/ProjectFile.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>

namespace duolo::test {
namespace {

std::vector<uint8_t> sampleBytes()
{
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(readWholeFile((sampleDir() / "sample.dwz").string(), bytes, error)) << error;
    return bytes;
}

std::unique_ptr<MotionCaptureSession> posedSample(const std::vector<uint8_t>& bytes)
{
    std::string error;
    auto session = loadProjectBytes(bytes.data(), bytes.size(), "sample.dwz", error);
    EXPECT_TRUE(session) << error;
    for (auto& g : session->groups)
        EXPECT_TRUE(buildPoses(*g));
    return session;
}

// The sample's graph with everything a user may leave in it: a build, a clip sent by hand,
// selected nodes and edges, a self-loop, cursors inside clips, a view.
void editGraph(Group& g)
{
    computeMaxFrameDistance(g);
    sendToGraph(g, 5, 40);
    std::vector<FrameLink> found;
    createEntireMotionGraph(g, 10, std::trunc(g.maxFrameDistance * 0.4), {}, &found);
    g.lastBuild = {true, 10, std::trunc(g.maxFrameDistance * 0.4), found};
    Graph2D& graph = *g.graph;
    graph.addEdge(graph.nodes[3], graph.nodes[3]);
    graph.toggleNodeAt(graph.nodes[2]->x, graph.nodes[2]->y);
    graph.selectedEdges.push_back(graph.edges[1]);
    graph.edges.erase(graph.edges.begin() + 1);
    graph.nodes[4]->currentFrame = graph.nodes[4]->endFrame;
    g.currentNode = graph.nodes[5];
    g.previousNode = graph.nodes[1];
    g.graphView = {false, 8, 12.5, -3.25, 16, false};
}

// The sample's one group played for 10000 passes: node, frame, offset and taps of each.
std::vector<std::vector<int64_t>> playTrace(MotionCaptureSession& session)
{
    seedRandom(99);
    EnsemblePlayer player;
    const Ensemble ensemble = playbackEnsemble(session);
    const Group& g = ensemble.group(0);
    std::vector<std::vector<int64_t>> trace;
    for (int p = 0; p < 10000; ++p) {
        player.runPass(ensemble);
        trace.push_back({g.currentNode->id, g.currentNode->currentFrame, std::llround(g.positionOffset.x * 1e6),
                         player.view(0).taps});
    }
    return trace;
}

TEST(GraphFile, AGraphGoesThroughTheFileBitForBitPlaysAsBeforeAndOnlyItsOwnProjectTakesItIn)
{
    FixedClock clock(1234);
    CapturedMessages quiet;  // the save's notes
    const auto bytes = sampleBytes();
    auto original = posedSample(bytes);
    editGraph(*original->groups.front());
    const std::vector<uint8_t> file = graphFileBytes(*original, fingerprintOf(bytes));

    auto reopened = posedSample(bytes);
    GraphFileContents contents;
    std::string error;
    ASSERT_TRUE(readGraphFile(file.data(), file.size(), "s.graphs", contents, error)) << error;
    ASSERT_TRUE(graphsFitSession(contents, *reopened, "s.graphs", error)) << error;
    applyGraphs(std::move(contents), *reopened);

    // The rewritten file holds the cursors, the build record and the view as well.
    EXPECT_EQ(graphFileBytes(*reopened, fingerprintOf(bytes)), file);
    const Group& a = *original->groups.front();
    const Group& b = *reopened->groups.front();
    EXPECT_TRUE(b.graphView.stored);
    for (size_t k = 0; k < a.graph->edges.size(); ++k)  // recomputed on reading, to the last bit
        EXPECT_EQ(std::memcmp(b.graph->edges[k]->cornerX, a.graph->edges[k]->cornerX, 4 * sizeof(double)), 0) << k;
    EXPECT_EQ(playTrace(*reopened), playTrace(*original));

    // Saved beside its project, the file applies to that project only.
    TempDir dir;
    const std::string project = dir.file("walk.dwz").string();
    ASSERT_TRUE(saveProjectWithGraphs(*original, project, error)) << error;
    std::vector<uint8_t> saved, onDisk;
    ASSERT_TRUE(readWholeFile(project, saved, error));
    ASSERT_TRUE(readWholeFile(dir.file("walk.graphs").string(), onDisk, error));
    // The graphs loaded for the given project bytes into a fresh sample: applied only on success.
    using Status = GraphFileOutcome::Status;
    auto load = [&](const std::vector<uint8_t>& projectBytes, Status want) {
        auto fresh = posedSample(bytes);
        const GraphFileOutcome outcome = loadGraphsFor(*fresh, project, projectBytes);
        EXPECT_EQ(outcome.status, want) << outcome.message;
        EXPECT_EQ(fresh->groups.front()->graph->totalNodeCount() > 0, want == Status::Applied) << outcome.message;
        return outcome.message;
    };
    load(saved, Status::Applied);  // this project's own file
    // Another project's bytes (one byte differs): refused, and the message names both files.
    std::vector<uint8_t> other = saved;
    other.back() ^= 1;
    const std::string mismatch = load(other, Status::Mismatch);
    EXPECT_NE(mismatch.find("walk.graphs"), std::string::npos);
    EXPECT_NE(mismatch.find("walk.dwz"), std::string::npos);

    // Every truncation and a flipped byte anywhere: refused with the file named.
    auto refused = [&](const std::vector<uint8_t>& data) {
        GraphFileContents read;
        std::string why;
        return !readGraphFile(data.data(), data.size(), "walk.graphs", read, why) && why.rfind("walk.graphs: ", 0) == 0;
    };
    for (size_t at = 0; at < file.size(); at += 7) {
        EXPECT_TRUE(refused(std::vector<uint8_t>(file.begin(), file.begin() + static_cast<long>(at)))) << at;
        std::vector<uint8_t> damaged = file;
        damaged[at] ^= 0x40;
        // (A changed project fingerprint, bytes 12 to 19, is a mismatch, as above.)
        EXPECT_TRUE((at >= 12 && at < 20) || refused(damaged)) << at;
    }

    // A damaged file on disk: the project's graphs stay out and the message says why.
    onDisk[onDisk.size() / 2] ^= 0xFF;
    std::ofstream(dir.file("walk.graphs"), std::ios::binary).write(reinterpret_cast<const char*>(onDisk.data()),
                                                                  static_cast<std::streamsize>(onDisk.size()));
    EXPECT_NE(load(saved, Status::Refused).find("damaged"), std::string::npos);
}

TEST(Graph2DDelete, SelectedNodesAndEdgesGoAndEverythingLeftKeepsItsOrder)
{
    FixedClock clock(7);
    Graph2D g;
    std::vector<Graph2DNode*> n;
    for (int k = 0; k < 5; ++k)
        n.push_back(g.addNode(10 * k, 10 * k + 9, 3.0 * k, 0));
    g.deselectAll();
    std::vector<Graph2DEdge*> e;  // 0-1, 1-2, 2-2, 2-3, 3-4, 4-0, 3-0
    for (auto [from, to] : {std::pair{0, 1}, {1, 2}, {2, 2}, {2, 3}, {3, 4}, {4, 0}, {3, 0}})
        e.push_back(g.addEdge(n[from], n[to]));
    g.toggleNodeAt(n[2]->x, n[2]->y);
    g.toggleEdgeAt((n[3]->x + n[4]->x) / 2, 0.0);  // 3-4

    ASSERT_TRUE(g.deleteSelected());
    EXPECT_EQ(g.nodes, (std::vector<Graph2DNode*>{n[0], n[1], n[3], n[4]}));
    EXPECT_TRUE(g.selectedNodes.empty() && g.selectedEdges.empty());
    EXPECT_EQ(g.edges, (std::vector<Graph2DEdge*>{e[0], e[5], e[6]}));
    EXPECT_EQ(n[0]->incidentEdges, (std::vector<Graph2DEdge*>{e[0], e[5], e[6]}));
    EXPECT_EQ(n[3]->incidentEdges, (std::vector<Graph2DEdge*>{e[6]}));
    EXPECT_EQ(n[4]->incidentEdges, (std::vector<Graph2DEdge*>{e[5]}));
    // Ids stay unique and follow the old order; the next node takes the next number.
    EXPECT_EQ((std::vector<int>{n[0]->id, n[1]->id, n[3]->id, n[4]->id}), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(g.addNode(0, 1, 50, 50)->id, 4);
    EXPECT_FALSE(Graph2D().deleteSelected());
}

} // namespace
} // namespace duolo::test
