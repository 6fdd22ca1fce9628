#include "motiongraph/GraphPruning.h"

#include "motiongraph/Graph2D.h"
#include "skeleton/Group.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace duolo {
namespace {

int64_t framesOf(const Graph2DNode& n) { return static_cast<int64_t>(n.endFrame) - n.startFrame + 1; }

// Every node in list order: the unselected ones, then the selected ones.
std::vector<Graph2DNode*> allNodes(const Graph2D& graph)
{
    std::vector<Graph2DNode*> all(graph.nodes);
    all.insert(all.end(), graph.selectedNodes.begin(), graph.selectedNodes.end());
    return all;
}

} // namespace

std::vector<std::vector<Graph2DNode*>> stronglyConnectedComponents(const Graph2D& graph)
{
    // Tarjan's algorithm with an explicit stack: built graphs have thousands of clips in a row,
    // too deep for recursion.
    const std::vector<Graph2DNode*> all = allNodes(graph);
    std::unordered_map<const Graph2DNode*, int32_t> number;
    number.reserve(all.size());
    for (size_t i = 0; i < all.size(); ++i)
        number.emplace(all[i], static_cast<int32_t>(i));
    const size_t n = all.size();
    std::vector<std::vector<int32_t>> successors(n);
    for (size_t i = 0; i < n; ++i)
        for (const Graph2DEdge* e : all[i]->incidentEdges)
            if (e->from == all[i] && e->to) {
                auto to = number.find(e->to);
                if (to != number.end())
                    successors[i].push_back(to->second);
            }

    std::vector<int32_t> index(n, -1), low(n, 0);
    std::vector<char> onStack(n, 0);
    std::vector<int32_t> stack;
    std::vector<std::pair<int32_t, size_t>> calls;  // node, next successor to look at
    std::vector<std::vector<Graph2DNode*>> components;
    int32_t counter = 0;
    for (size_t root = 0; root < n; ++root) {
        if (index[root] >= 0)
            continue;
        calls.push_back({static_cast<int32_t>(root), 0});
        index[root] = low[root] = counter++;
        stack.push_back(static_cast<int32_t>(root));
        onStack[root] = 1;
        while (!calls.empty()) {
            auto& [v, next] = calls.back();
            if (next < successors[static_cast<size_t>(v)].size()) {
                const int32_t w = successors[static_cast<size_t>(v)][next++];
                if (index[static_cast<size_t>(w)] < 0) {
                    index[static_cast<size_t>(w)] = low[static_cast<size_t>(w)] = counter++;
                    stack.push_back(w);
                    onStack[static_cast<size_t>(w)] = 1;
                    calls.push_back({w, 0});
                } else if (onStack[static_cast<size_t>(w)]) {
                    low[static_cast<size_t>(v)] = std::min(low[static_cast<size_t>(v)], index[static_cast<size_t>(w)]);
                }
                continue;
            }
            const int32_t finished = v;
            calls.pop_back();
            if (!calls.empty()) {
                const size_t parent = static_cast<size_t>(calls.back().first);
                low[parent] = std::min(low[parent], low[static_cast<size_t>(finished)]);
            }
            if (low[static_cast<size_t>(finished)] == index[static_cast<size_t>(finished)]) {
                std::vector<Graph2DNode*> component;
                int32_t w = -1;
                do {
                    w = stack.back();
                    stack.pop_back();
                    onStack[static_cast<size_t>(w)] = 0;
                    component.push_back(all[static_cast<size_t>(w)]);
                } while (w != finished);
                components.push_back(std::move(component));
            }
        }
    }
    return components;
}

std::vector<Graph2DNode*> largestCyclicComponent(const Graph2D& graph)
{
    const std::vector<Graph2DNode*> all = allNodes(graph);
    std::unordered_map<const Graph2DNode*, size_t> position;
    for (size_t i = 0; i < all.size(); ++i)
        position.emplace(all[i], i);

    std::vector<Graph2DNode*> best;
    int64_t bestFrames = 0;
    size_t bestFirst = 0;
    for (auto& component : stronglyConnectedComponents(graph)) {
        if (component.size() == 1) {
            const Graph2DNode* only = component.front();
            const bool selfLoop = std::any_of(only->incidentEdges.begin(), only->incidentEdges.end(),
                                              [only](const Graph2DEdge* e) { return e->from == only && e->to == only; });
            if (!selfLoop)
                continue;
        }
        int64_t frames = 0;
        size_t first = all.size();
        for (const Graph2DNode* node : component) {
            frames += framesOf(*node);
            first = std::min(first, position.at(node));
        }
        const bool better = best.empty() || frames > bestFrames ||
                            (frames == bestFrames && (component.size() > best.size() ||
                                                      (component.size() == best.size() && first < bestFirst)));
        if (better) {
            best = std::move(component);
            bestFrames = frames;
            bestFirst = first;
        }
    }
    return best;
}

PruneOutcome keepLargestCyclicComponent(Graph2D& graph)
{
    PruneOutcome outcome;
    for (const Graph2DNode* node : allNodes(graph)) {
        ++outcome.nodesBefore;
        outcome.framesBefore += framesOf(*node);
    }
    const std::vector<Graph2DNode*> kept = largestCyclicComponent(graph);
    outcome.hasCycle = !kept.empty();
    if (!outcome.hasCycle) {
        outcome.nodesKept = outcome.nodesBefore;
        outcome.framesKept = outcome.framesBefore;
        return outcome;
    }
    const std::unordered_set<const Graph2DNode*> keep(kept.begin(), kept.end());
    outcome.changed = graph.deleteNodesIf([&keep](const Graph2DNode& n) { return keep.count(&n) == 0; });
    outcome.nodesKept = static_cast<int32_t>(kept.size());
    for (const Graph2DNode* node : kept)
        outcome.framesKept += framesOf(*node);
    return outcome;
}

PruneOutcome removeDeadEnds(Group& group)
{
    if (!group.graph)
        return {};
    const std::vector<Graph2DNode*> kept = largestCyclicComponent(*group.graph);
    const bool currentKept = std::find(kept.begin(), kept.end(), group.currentNode) != kept.end();
    const bool previousKept = std::find(kept.begin(), kept.end(), group.previousNode) != kept.end();
    const PruneOutcome outcome = keepLargestCyclicComponent(*group.graph);
    if (!outcome.changed)
        return outcome;
    const Graph2D& graph = *group.graph;
    Graph2DNode* head = !graph.nodes.empty() ? graph.nodes.front()
                        : !graph.selectedNodes.empty() ? graph.selectedNodes.front() : nullptr;
    if (!currentKept)
        group.currentNode = head;
    if (!previousKept)
        group.previousNode = group.currentNode;
    return outcome;
}

} // namespace duolo
