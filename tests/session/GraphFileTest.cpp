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

#include <bit>
#include <cmath>
#include <fstream>
#include <set>

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

std::vector<std::vector<int64_t>> playTrace(MotionCaptureSession& session, int passes)
{
    seedRandom(99);
    EnsemblePlayer player;
    const Ensemble ensemble = playbackEnsemble(session);
    std::vector<std::vector<int64_t>> trace;
    for (int p = 0; p < passes; ++p) {
        player.runPass(ensemble);
        for (int32_t k = 0; k < ensemble.groupCount(); ++k) {
            const Group& g = ensemble.group(k);
            trace.push_back({g.currentNode ? g.currentNode->id : -1, g.currentNode ? g.currentNode->currentFrame : -1,
                             static_cast<int64_t>(g.positionOffset.x * 1e6), player.view(k).taps});
        }
    }
    return trace;
}

TEST(GraphFile, AGraphGoesThroughTheFileBitForBitAndPlaysAsBefore)
{
    FixedClock clock(1234);
    const auto bytes = sampleBytes();
    auto original = posedSample(bytes);
    editGraph(*original->groups.front());
    const std::vector<uint8_t> file = graphFileBytes(*original, fingerprintOf(bytes));

    auto reopened = posedSample(bytes);
    GraphFileContents contents;
    std::string error;
    ASSERT_TRUE(readGraphFile(file.data(), file.size(), "s.graphs", contents, error)) << error;
    EXPECT_EQ(contents.fingerprint, fingerprintOf(bytes));
    ASSERT_TRUE(graphsFitSession(contents, *reopened, "s.graphs", error)) << error;
    applyGraphs(std::move(contents), *reopened);

    const Group& a = *original->groups.front();
    const Group& b = *reopened->groups.front();
    EXPECT_EQ(groupGraphBytes(b), groupGraphBytes(a));
    EXPECT_EQ(graphFileBytes(*reopened, fingerprintOf(bytes)), file);  // cursors and view too
    EXPECT_EQ(b.currentNode->id, a.currentNode->id);
    EXPECT_EQ(b.previousNode->id, a.previousNode->id);
    EXPECT_EQ(b.lastBuild, a.lastBuild);
    EXPECT_EQ(b.graphView.zoom, 8);
    EXPECT_TRUE(b.graphView.stored);
    for (size_t k = 0; k < a.graph->edges.size(); ++k)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(std::bit_cast<uint64_t>(b.graph->edges[k]->cornerX[c]),
                      std::bit_cast<uint64_t>(a.graph->edges[k]->cornerX[c]));

    EXPECT_EQ(playTrace(*reopened, 10000), playTrace(*original, 10000));
}

TEST(GraphFile, AFileOfAnotherProjectOrADamagedOneIsRefusedAndNothingApplied)
{
    FixedClock clock(1234);
    CapturedMessages quiet;  // the save's notes
    TempDir dir;
    const auto bytes = sampleBytes();
    auto session = posedSample(bytes);
    editGraph(*session->groups.front());
    const std::string project = dir.file("walk.dwz").string();
    std::string error;
    ASSERT_TRUE(saveProjectWithGraphs(*session, project, error)) << error;
    EXPECT_EQ(graphFilePathFor(project), dir.file("walk.graphs").string());
    std::vector<uint8_t> saved, file;
    ASSERT_TRUE(readWholeFile(project, saved, error));
    ASSERT_TRUE(readWholeFile(graphFilePathFor(project), file, error));

    auto fresh = [&] { return posedSample(bytes); };
    auto untouched = [](const MotionCaptureSession& s) { return s.groups.front()->graph->totalNodeCount() == 0; };

    // This project's own file applies.
    auto same = fresh();
    EXPECT_EQ(loadGraphsFor(*same, project, saved).status, GraphFileOutcome::Status::Applied);
    EXPECT_FALSE(untouched(*same));

    // Another project's bytes (one byte differs): refused, and the message names both files.
    std::vector<uint8_t> other = saved;
    other[other.size() - 1] ^= 1;
    auto mismatched = fresh();
    const GraphFileOutcome outcome = loadGraphsFor(*mismatched, project, other);
    EXPECT_EQ(outcome.status, GraphFileOutcome::Status::Mismatch);
    EXPECT_NE(outcome.message.find("walk.graphs"), std::string::npos);
    EXPECT_NE(outcome.message.find("walk.dwz"), std::string::npos);
    EXPECT_TRUE(untouched(*mismatched));

    // Every truncation and a flipped byte anywhere: refused with the file named.
    auto refused = [&](const std::vector<uint8_t>& data) {
        GraphFileContents contents;
        std::string why;
        const bool read = readGraphFile(data.data(), data.size(), "walk.graphs", contents, why);
        return !read && why.rfind("walk.graphs: ", 0) == 0;
    };
    for (size_t n = 0; n < file.size(); n += 7)
        EXPECT_TRUE(refused(std::vector<uint8_t>(file.begin(), file.begin() + static_cast<long>(n)))) << n;
    for (size_t at = 0; at < file.size(); at += 13) {
        if (at >= 12 && at < 20)
            continue;  // the project's fingerprint: a changed one is a mismatch, as above
        std::vector<uint8_t> damaged = file;
        damaged[at] ^= 0x40;
        EXPECT_TRUE(refused(damaged)) << at;
    }

    // A damaged file on disk: the project's graphs stay out and the message says why.
    file[file.size() / 2] ^= 0xFF;
    std::ofstream(graphFilePathFor(project), std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                                    static_cast<std::streamsize>(file.size()));
    auto damaged = fresh();
    const GraphFileOutcome bad = loadGraphsFor(*damaged, project, saved);
    EXPECT_EQ(bad.status, GraphFileOutcome::Status::Refused);
    EXPECT_NE(bad.message.find("damaged"), std::string::npos) << bad.message;
    EXPECT_TRUE(untouched(*damaged));
}

TEST(Graph2DDelete, SelectedNodesAndEdgesGoAndEverythingLeftKeepsItsOrder)
{
    FixedClock clock(7);
    Graph2D g;
    std::vector<Graph2DNode*> n;
    for (int k = 0; k < 5; ++k)
        n.push_back(g.addNode(10 * k, 10 * k + 9, 3.0 * k, 0));
    g.deselectAll();
    Graph2DEdge* e01 = g.addEdge(n[0], n[1]);
    g.addEdge(n[1], n[2]);
    g.addEdge(n[2], n[2]);
    Graph2DEdge* e23 = g.addEdge(n[2], n[3]);
    Graph2DEdge* e34 = g.addEdge(n[3], n[4]);
    Graph2DEdge* e40 = g.addEdge(n[4], n[0]);
    Graph2DEdge* e30 = g.addEdge(n[3], n[0]);
    g.toggleNodeAt(n[2]->x, n[2]->y);
    g.toggleEdgeAt((n[3]->x + n[4]->x) / 2, 0.0);  // e34

    ASSERT_TRUE(g.deleteSelected());
    EXPECT_EQ(g.nodes, (std::vector<Graph2DNode*>{n[0], n[1], n[3], n[4]}));
    EXPECT_TRUE(g.selectedNodes.empty() && g.selectedEdges.empty());
    EXPECT_EQ(g.edges, (std::vector<Graph2DEdge*>{e01, e40, e30}));
    EXPECT_EQ(n[0]->incidentEdges, (std::vector<Graph2DEdge*>{e01, e40, e30}));
    EXPECT_EQ(n[3]->incidentEdges, (std::vector<Graph2DEdge*>{e30}));
    EXPECT_EQ(n[4]->incidentEdges, (std::vector<Graph2DEdge*>{e40}));
    (void)e23, (void)e34;
    // Ids stay unique and follow the old order; the next node takes the next number.
    EXPECT_EQ((std::vector<int>{n[0]->id, n[1]->id, n[3]->id, n[4]->id}), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(g.addNode(0, 1, 50, 50)->id, 4);
    EXPECT_FALSE(Graph2D().deleteSelected());
}

} // namespace
} // namespace duolo::test
