// The graph file reader on arbitrary bytes, and a group's graph state read on its own (as undo
// reads it): what reads owns each node and edge once (the sanitizers see double frees and
// leaks), keeps its ids unique, and writes back byte for byte.
#include "FuzzSupport.h"

#include "motiongraph/Graph2D.h"
#include "session/GraphFile.h"
#include "skeleton/Group.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

using namespace duolo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    static fuzz::SilentSink silent;
    std::string error;
    GraphFileContents contents;
    if (!readGraphFile(data, size, "fuzz.graphs", contents, error))
        fuzz::require(!error.empty(), "a refusal says why");
    else
        summarise(contents);

    // The same bytes as one group's graph state.
    Group group;
    const std::vector<uint8_t> bytes(data, data + size);
    if (!restoreGroupGraph(group, bytes, error))
        return 0;
    // Slopes are recomputed and counts written in their short form, so the first write may
    // differ from what was read; from then on the bytes are stable.
    const std::vector<uint8_t> written = groupGraphBytes(group);
    Group again;
    fuzz::require(restoreGroupGraph(again, written, error), "written state reads back");
    fuzz::require(groupGraphBytes(again) == written, "a graph state writes back byte for byte");
    std::set<int32_t> ids;
    for (auto* list : {&group.graph->nodes, &group.graph->selectedNodes})
        for (const Graph2DNode* n : *list)
            fuzz::require(ids.insert(n->id).second, "node ids are unique");
    group.graph->deleteSelected();
    return 0;
}
