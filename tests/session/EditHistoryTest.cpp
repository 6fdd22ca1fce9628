// Undo and redo: random sequences of skeleton and graph edits undone and redone against byte
// snapshots of the project and of every group's graph; the history's memory bound.
#include "motiongraph/Graph2D.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "session/EditHistory.h"
#include "session/GraphFile.h"
#include "session/MotionCaptureSession.h"
#include "session/ProjectFile.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"
#include "support/SessionBuilder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace duolo::test {
namespace {

using Scope = EditHistory::Scope;

// The project's bytes, then each group's graph state.
using Snapshot = std::vector<std::vector<uint8_t>>;
Snapshot snapshot(const MotionCaptureSession& s)
{
    Snapshot shot{projectBytes(s)};
    for (const auto& g : s.groups)
        shot.push_back(groupGraphBytes(*g));
    return shot;
}

std::unique_ptr<MotionCaptureSession> sample()
{
    std::string error;
    auto s = loadProject((sampleDir() / "sample.dwz").string(), error);
    EXPECT_TRUE(s) << error;
    return s;
}

// One random edit, bracketed as the pages bracket theirs.
void randomEdit(std::mt19937& random, std::unique_ptr<MotionCaptureSession>& session, EditHistory& history)
{
    MotionCaptureSession& s = *session;
    auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(std::max(1, n))); };
    const int kind = pick(8);
    const Scope scope = kind < 2 ? Scope::Everything : Scope::Graphs;
    history.prepare(s, scope);
    if (kind == 0) {  // a skeleton edge between two markers
        selectMarkers(s, {pick(s.markerCount()), pick(s.markerCount())});
        s.createEdge();
    } else if (kind == 1) {  // a centroid, or deleting the edges made so far
        if (pick(2) == 0) {
            selectMarkers(s, {pick(s.markerCount()), pick(s.markerCount()), pick(s.markerCount())});
            s.createCentroid();
        } else {
            for (int e = 0; e < s.edgeCount(); ++e)
                s.selectEdge(e);
            s.deleteSelectedEdges();
        }
    } else {
        Group& g = *s.groups[static_cast<size_t>(pick(s.groupCount()))];
        Graph2D& graph = *g.graph;
        auto anyNode = [&]() -> Graph2DNode* {
            std::vector<Graph2DNode*> all = graph.nodes;
            all.insert(all.end(), graph.selectedNodes.begin(), graph.selectedNodes.end());
            return all.empty() ? nullptr : all[static_cast<size_t>(pick(static_cast<int>(all.size())))];
        };
        switch (kind) {
        case 2: sendToGraph(g, pick(100), 100 + pick(100)); break;
        case 3: graph.addEdge(anyNode(), anyNode()); break;
        case 4: graph.moveSelected(pick(7) - 3, pick(5) - 2); break;
        case 5:
            if (Graph2DNode* n = anyNode())
                graph.toggleNodeAt(n->x, n->y);
            break;
        case 6: graph.deleteSelected(); break;
        default:
            if (!g.posesBuilt)
                buildPoses(g);
            g.lastBuild.built = true;
            g.lastBuild.gaps = 10 + pick(5);
            createEntireMotionGraph(g, g.lastBuild.gaps, 60 + pick(40), {}, &g.lastBuild.transitions);
        }
        g.currentNode = g.previousNode = graph.nodes.empty() ? nullptr : graph.nodes.front();
    }
    history.commit(s, scope, "edit " + std::to_string(kind));
}

void apply(EditHistory::Restored restored, std::unique_ptr<MotionCaptureSession>& session)
{
    ASSERT_TRUE(restored.done) << restored.error;
    if (restored.replacement)
        session = std::move(restored.replacement);
}

TEST(EditHistory, RandomEditsUndoAndRedoToTheExactBytes)
{
    CapturedMessages quiet;
    FixedClock clock(42);
    for (unsigned seed : {1u, 2u, 3u}) {
        std::mt19937 random(seed);
        auto session = sample();
        EditHistory history;
        std::vector<Snapshot> shots{snapshot(*session)};
        for (int step = 0; step < 40; ++step) {
            const size_t before = history.stepCount();
            randomEdit(random, session, history);
            if (history.stepCount() != before)
                shots.push_back(snapshot(*session));
            else
                EXPECT_EQ(snapshot(*session), shots.back()) << "an edit that changed something recorded no step";
        }
        ASSERT_EQ(history.stepCount() + 1, shots.size());
        for (size_t k = shots.size() - 1; k > 0; --k) {
            apply(history.undo(*session), session);
            ASSERT_EQ(snapshot(*session), shots[k - 1]) << "seed " << seed << ", undo to " << k - 1;
        }
        EXPECT_FALSE(history.canUndo());
        for (size_t k = 1; k < shots.size(); ++k) {
            apply(history.redo(*session), session);
            ASSERT_EQ(snapshot(*session), shots[k]) << "seed " << seed << ", redo to " << k;
        }
        EXPECT_FALSE(history.canRedo());
        for (const auto& g : session->groups) {  // playback's node pointers stay on nodes of their own graph
            const Graph2D& graph = *g->graph;
            if (g->currentNode) {
                EXPECT_EQ(std::count(graph.nodes.begin(), graph.nodes.end(), g->currentNode) +
                              std::count(graph.selectedNodes.begin(), graph.selectedNodes.end(), g->currentNode), 1);
            }
        }
    }
}

// One "Send To MG" of frames [first, first + 10] recorded as a step; whether it recorded one.
bool send(MotionCaptureSession& s, EditHistory& history, int first)
{
    history.prepare(s, Scope::Graphs);
    sendToGraph(*s.groups.front(), first, first + 10);
    return history.commit(s, Scope::Graphs, "Send " + std::to_string(first));
}

TEST(EditHistory, ANewEditDropsTheRedoStepsUnchangedOnesRecordNothingAndOldOnesGoPastTheBudget)
{
    CapturedMessages quiet;
    auto session = sample();
    EditHistory history;
    history.prepare(*session, Scope::Graphs);
    EXPECT_FALSE(history.commit(*session, Scope::Graphs, "nothing"));
    EXPECT_TRUE(send(*session, history, 0));
    EXPECT_TRUE(send(*session, history, 20));
    apply(history.undo(*session), session);
    EXPECT_EQ(history.redoLabel(), "Send 20");
    EXPECT_EQ(session->groups.front()->graph->totalNodeCount(), 1);
    // A selection made between steps is part of the state the next step starts from.
    session->groups.front()->graph->deselectAll();
    send(*session, history, 40);
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(history.undoLabel(), "Send 40");
    apply(history.undo(*session), session);
    EXPECT_EQ(session->groups.front()->graph->nodeCount(), 1);
    EXPECT_EQ(session->groups.front()->graph->howManySelectedNodes(), 0);

    auto fresh = sample();
    EditHistory bounded(projectBytes(*fresh).size() + 4000);  // the project and a few graphs
    for (int k = 0; k < 30; ++k)
        send(*fresh, bounded, k);
    EXPECT_GT(bounded.takeDroppedSteps(), 0u);
    EXPECT_EQ(bounded.takeDroppedSteps(), 0u);
    EXPECT_LE(bounded.memoryUsed(), bounded.memoryBudget());
    EXPECT_LT(bounded.stepCount(), 30u);
    apply(bounded.undo(*fresh), fresh);
    EXPECT_EQ(fresh->groups.front()->graph->totalNodeCount(), 29);
}

} // namespace
} // namespace duolo::test
