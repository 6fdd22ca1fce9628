// The motion graph archive reader on arbitrary bytes: a graph that reads writes back byte for
// byte, owns each node and edge once (the sanitizers see double frees and leaks), and plays
// every clip without overflowing a frame.
#include "FuzzSupport.h"

#include "motiongraph/Graph2D.h"
#include "motiongraph/GraphArchive.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using namespace duolo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    static fuzz::SilentSink silent;  // findNodeContainingFrame reports a frame no node holds
    const std::vector<uint8_t> bytes(data, data + size);
    std::string error;
    auto graph = graphFromBytes(bytes, error);
    if (!graph) {
        fuzz::require(!error.empty(), "a refusal says why");
        return 0;
    }
    const auto saved = graphToBytes(*graph);
    auto again = graphFromBytes(saved, error);
    fuzz::require(again != nullptr, "written bytes read back");
    fuzz::require(graphToBytes(*again) == saved, "written bytes write back byte for byte");

    for (auto* list : {&graph->nodes, &graph->selectedNodes}) {
        for (Graph2DNode* node : *list) {
            fuzz::require(node->startFrame >= 0 && node->endFrame <= kMaxGraphFrame, "frames within bounds");
            node->currentFrame = node->endFrame;
            node->advanceFrame();
            node->advanceFrame();
        }
    }
    for (int32_t frame : {0, kMaxGraphFrame})
        graph->findNodeContainingFrame(frame);
    return 0;
}
