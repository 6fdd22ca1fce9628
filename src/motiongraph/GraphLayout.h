#pragma once

#include <cstdint>
#include <string>

namespace duolo {

class Graph2D;

// Layouts the user chooses for a whole graph ("Lay Out" in the editor, build-graphs --layout).
// Each moves every node (both lists; list orders, ids and edges stay), rebuilds the edges'
// geometry and leaves every node inside the graph area [-worldExtent/2, worldExtent/2]^2 with no
// two nodes closer than their two radii.

// The take as a time line: x from the clip's first frame (about three units a clip, and never
// wider than the area, so that the whole take fits), the
// clips in rows (0, +1, -1, +2, ...) so that none overlap, a clip later in the take never left
// of an earlier one in its row. A clip that continues another (it starts where the other ends)
// goes in that clip's row when there is room, else the nearest row that has room, so the short
// clips around transitions stay beside the runs they cut. False (nothing moved) with `error`
// when the rows would run off the area.
bool layOutTimeline(Graph2D& graph, double worldExtent, std::string& error);

// The graph's structure: a force-directed layout (Graphviz's sfdp, with its overlap removal),
// scaled into the area. False (nothing moved) with `error` when the layout engine fails or the
// graph cannot be spread inside the area.
bool layOutForce(Graph2D& graph, double worldExtent, std::string& error);

// Whether every node lies inside the area and no two are closer than their two radii; with
// `problem`, says which do not.
bool layoutIsClear(const Graph2D& graph, double worldExtent, std::string* problem = nullptr);

} // namespace duolo
