#pragma once

#include <cstdint>

namespace duolo {

class AnimatedMarker;

// A display link (a "bone") between two trajectories of the session. No geometry of its own.
class Edge {
public:
    int32_t index = 0;                 // position in the session's edge list
    AnimatedMarker* from = nullptr;    // shared with the session
    AnimatedMarker* to = nullptr;
    bool selected = false;

    Edge() = default;
    Edge(int32_t index, AnimatedMarker* from, AnimatedMarker* to) : index(index), from(from), to(to) {}
};

} // namespace duolo
