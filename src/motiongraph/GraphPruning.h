#pragma once

#include <cstdint>
#include <vector>

namespace duolo {

class Graph2D;
class Graph2DNode;
class Group;

// What keeping a graph's largest strongly connected component did.
struct PruneOutcome {
    bool hasCycle = false;     // some component has an edge (else the graph was left as it was)
    bool changed = false;      // nodes were removed
    int32_t nodesBefore = 0;
    int32_t nodesKept = 0;
    int64_t framesBefore = 0;  // summed clip lengths (end - start + 1)
    int64_t framesKept = 0;
};

// The strongly connected components of the graph (both node lists, edges of both lists), each a
// list of nodes; a node that lies on no cycle is a component of its own.
std::vector<std::vector<Graph2DNode*>> stronglyConnectedComponents(const Graph2D& graph);

// The component a random walk can stay in for ever: among the components with at least one edge
// (two or more nodes, or one with an edge to itself) the one with the most frames, then the
// most nodes, then the one whose first node comes first in the node lists. Empty when no
// component has an edge.
std::vector<Graph2DNode*> largestCyclicComponent(const Graph2D& graph);

// Keeps only the largest cyclic component (its nodes and the edges between them; every list
// keeps its order and the ids are renumbered as Graph2D::deleteNodesIf does). A walk inside it
// never reaches a clip without a successor. A graph without any cycle is left as it is.
PruneOutcome keepLargestCyclicComponent(Graph2D& graph);

// keepLargestCyclicComponent on a group's graph. Its playback position stays where it was when
// that node is kept; otherwise (and for the previous node) it moves to the head of the
// unselected nodes (or of the selected ones when none is unselected).
PruneOutcome removeDeadEnds(Group& group);

} // namespace duolo
