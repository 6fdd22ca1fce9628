#include "motiongraph/MotionGraphBuilder.h"

#include "capture/MessageSink.h"
#include "capture/Random.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/PoseColumns.h"
#include "motiongraph/PoseColumnsCache.h"
#include "skeleton/Group.h"
#include "skeleton/Skeleton.h"

#include <tbb/blocked_range.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

namespace duolo {

namespace {

// The search as defined, pair by pair: `close(i, j)` decides one candidate pair.
template <typename Close>
bool searchTransitions(int32_t n, int32_t gaps, const LongRun& run, std::vector<FrameLink>& out, Close&& close)
{
    const int64_t g = std::max(1, gaps);
    const int64_t skip = g - 1;
    for (int64_t i = g - 1; i < n; ++i) {
        if (run.cancelled())
            return false;
        const auto source = static_cast<int32_t>(i);
        bool found = false;
        for (int64_t j = i + g; j < n; ++j)
            if (close(source, static_cast<int32_t>(j))) {
                out.emplace_back(source, static_cast<int32_t>(j));
                found = true;
                j += skip;
            }
        for (int64_t j = 0; j < i - g; ++j)
            if (close(source, static_cast<int32_t>(j))) {
                out.emplace_back(source, static_cast<int32_t>(j));
                found = true;
                j += skip;
            }
        if (found)
            i += skip;
        run.report(std::min(1.0, static_cast<double>(i + 1) / n));
    }
    return true;
}

bool searchExact(const std::vector<Skeleton>& poses, int32_t n, int32_t gaps, double threshold,
                 const LongRun& run, std::vector<FrameLink>& out)
{
    return searchTransitions(n, gaps, run, out, [&](int32_t i, int32_t j) {
        return frameDistance(poses[i], poses[j]) <= threshold;
    });
}

// Every candidate target of a source is evaluated up front, in vector lanes and in chunks
// across the cores, and each chunk lists its close targets in order; then the skip rule walks
// those lists. Evaluation has no side effects, so deciding a few targets the rule then passes
// over changes nothing, and the walk touches only the close targets, not every candidate. A
// vector distance within a hair of the threshold is decided by the scalar evaluation, so every
// decision is the scalar one.
bool searchFast(const PoseColumns& columns, int32_t gaps, double threshold, const LongRun& run,
                std::vector<FrameLink>& out)
{
    const int32_t n = columns.frames;
    const int64_t g = std::max(1, gaps);
    constexpr int32_t kChunk = 1024;
    const double margin = 1e-9 * std::max(1.0, std::fabs(threshold));
    // Pairs whose position term alone passes the threshold (by more than the margin) are not
    // evaluated further: the velocity term can only add to it.
    RowLimits limits;
    limits.above = threshold + margin;

    struct Chunk {
        int32_t begin = 0, end = 0;
        bool forward = true;
        std::vector<int32_t> close;  // targets at most the threshold away, in increasing order
    };
    std::vector<Chunk> chunks;
    tbb::enumerable_thread_specific<SparseRow> rows;
    auto evaluate = [&](int32_t source, Chunk& chunk) {
        SparseRow& row = rows.local();
        sparseDistanceRow(columns, source, chunk.begin, chunk.end, row, limits);
        chunk.close.clear();
        for (size_t s = 0; s < row.targets.size(); ++s) {
            const int32_t j = row.targets[s];
            const double distance = row.distances[s];
            if (std::isnan(distance))
                continue;
            const bool close = std::fabs(distance - threshold) <= margin
                                   ? columns.exactDistance(source, j) <= threshold
                                   : distance <= threshold;
            if (close)
                chunk.close.push_back(j);
        }
    };

    for (int64_t i = g - 1; i < n; ++i) {
        if (run.cancelled())
            return false;
        const auto source = static_cast<int32_t>(i);
        // Candidates: [i + g, n) forward, then [0, i - g) backward.
        size_t count = 0;
        auto addRange = [&](int64_t begin, int64_t end, bool forward) {
            for (int64_t b = begin; b < end; b += kChunk) {
                if (chunks.size() <= count)
                    chunks.emplace_back();
                Chunk& c = chunks[count++];
                c.begin = static_cast<int32_t>(b);
                c.end = static_cast<int32_t>(std::min<int64_t>(end, b + kChunk));
                c.forward = forward;
            }
        };
        addRange(i + g, n, true);
        addRange(0, i - g, false);
        if (count == 1)
            evaluate(source, chunks[0]);
        else if (count > 1)
            tbb::parallel_for(size_t(0), count, [&](size_t k) { evaluate(source, chunks[k]); });

        // The skip rule: a hit at j passes over the next g - 1 targets of its range.
        bool found = false;
        int64_t nextAllowed = 0;
        bool forward = true;
        for (size_t k = 0; k < count; ++k) {
            if (chunks[k].forward != forward) {
                forward = chunks[k].forward;
                nextAllowed = 0;
            }
            for (int32_t j : chunks[k].close)
                if (j >= nextAllowed) {
                    out.emplace_back(source, j);
                    found = true;
                    nextAllowed = j + g;
                }
        }
        if (found)
            i += g - 1;
        run.report(std::min(1.0, static_cast<double>(i + 1) / n));
    }
    return true;
}

struct Placement {
    int32_t xSign;
    int32_t ySign;
    bool announce;
};

Placement placementFor(int32_t groupNumber)
{
    switch (groupNumber) {
    case 0: return {-1, 1, false};
    case 1: return {1, 1, false};
    case 2: return {1, -1, false};
    default: return {-1, -1, true};
    }
}

} // namespace

bool findTransitions(const std::vector<Skeleton>& poses, int32_t frameCount, int32_t gaps, double threshold,
                     const GraphBuildOptions& options, std::vector<FrameLink>& transitions)
{
    const int32_t n = std::max<int32_t>(0, std::min<int32_t>(frameCount, static_cast<int32_t>(poses.size())));
    transitions.clear();
    if (options.engine == DistanceEngine::Fast) {
        if (const auto columns = PoseColumnsCache::shared().columnsFor(poses, n))
            return searchFast(*columns, gaps, threshold, options.run, transitions);
    }
    return searchExact(poses, n, gaps, threshold, options.run, transitions);
}

bool createEntireMotionGraph(Group& group, int32_t gaps, double threshold, const GraphBuildOptions& options,
                             std::vector<FrameLink>* found)
{
    const int32_t n = std::max<int32_t>(
        0, std::min<int32_t>(group.frameCount, static_cast<int32_t>(group.normalisedPoses.size())));

    // Step 1: the search, before anything in the graph changes, so that a cancel leaves it alone.
    std::vector<FrameLink> transitions;
    if (!findTransitions(group.normalisedPoses, n, gaps, threshold, options, transitions))
        return false;
    assembleMotionGraph(group, n, transitions);
    if (found)
        *found = std::move(transitions);
    return true;
}

void assembleMotionGraph(Group& group, int32_t n, const std::vector<FrameLink>& transitions)
{
    // Links per frame, in the order recorded, sized by what was found.
    std::vector<std::vector<int32_t>> successors(n);
    std::vector<std::vector<int32_t>> predecessors(n);
    auto link = [&](int32_t a, int32_t b) {
        if (b >= n)  // the last frame has no frame after it to continue into
            return;
        successors[a].push_back(b);
        predecessors[b].push_back(a);
    };
    for (const FrameLink& t : transitions)
        link(t.first, t.second);

    if (!group.graph)
        group.graph = std::make_unique<Graph2D>();
    Graph2D& graph = *group.graph;

    // Step 2: runs of frames into nodes.
    const Placement placement = placementFor(group.groupNumber);
    auto addPlacedNode = [&](int32_t start, int32_t end, bool mayAnnounce) {
        if (placement.announce && mayAnnounce)
            showMessage("Group " + std::to_string(group.groupNumber));
        const double y = (nextRandom() * placement.ySign) % 30;
        const double x = (nextRandom() * placement.xSign) % 30;
        graph.addNode(start, end, x, y);
    };
    Graph2D::PlacementBatch placing(graph);  // one index of node centres for the whole step
    int32_t i = 0;
    while (i < n) {
        if (!successors[i].empty()) {
            graph.addNode(i, i, 0.0, 0.0);
            link(i, i + 1);
            i += 1;
            continue;
        }
        if (i == n - 1) {
            addPlacedNode(i, i, true);
            break;
        }
        for (int32_t j = i + 1;; ++j) {
            if (!predecessors[j].empty()) {
                addPlacedNode(i, j - 1, true);
                link(j - 1, j);
                i = j;
                break;
            }
            if (!successors[j].empty()) {
                addPlacedNode(i, j, false);
                link(j, j + 1);
                i = j + 1;
                break;
            }
            if (j == n - 1) {
                addPlacedNode(i, n - 1, false);
                i = n;
                break;
            }
        }
    }

    // Step 3.
    graph.deselectAll();

    // Step 4: every link into an edge between the nodes holding its two frames. Adding edges
    // leaves the node list alone, so the node holding each frame is looked up once; a frame no
    // node holds goes through findNodeContainingFrame for its message.
    const std::vector<Graph2DNode*> holding = graph.firstNodesContainingFrames(n);
    auto nodeFor = [&](int32_t frame) {
        Graph2DNode* node = holding[static_cast<size_t>(frame)];
        return node ? node : graph.findNodeContainingFrame(frame);
    };
    std::vector<std::pair<Graph2DNode*, Graph2DNode*>> links;
    for (int32_t k = 0; k < n; ++k)
        for (int32_t p : predecessors[k]) {
            Graph2DNode* a = nodeFor(p);
            Graph2DNode* b = nodeFor(k);
            if (a && b)
                links.emplace_back(a, b);
        }
    graph.addEdges(links);

    // Step 5.
    Graph2DNode* first = graph.nodes.empty() ? nullptr : graph.nodes.front();
    group.currentNode = first;
    group.previousNode = first;
}

void sendToGraph(Group& group, int32_t clipStart, int32_t clipEnd)
{
    if (!group.graph)
        group.graph = std::make_unique<Graph2D>();
    group.graph->addNode(clipStart, clipEnd, 0.0, 0.0);
}

} // namespace duolo
