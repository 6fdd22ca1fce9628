#pragma once

#include "capture/Marker.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace duolo {

class Group;

// One marker over the whole take (a "trajectory"). Loaded markers, centroids and the heading,
// up and root trajectories of groups are all AnimatedMarkers.
//
// Samples are held contiguously; the cursor `current` is an index into `samples`. No cursor
// ever leaves its trajectory: moving past the end holds the last sample.
class AnimatedMarker {
public:
    int32_t index = -2;            // position in the session's list; -1 for copies, -2 before reading
    std::vector<Marker> samples;   // one per frame, in frame order
    int32_t current = 0;           // cursor: index of the sample of the current frame
    bool selected = false;         // transient, never saved
    bool inGroup = false;          // true exactly when groups is not empty
    std::string name;              // file path, "Centroid N", plus any " C:n" suffixes
    std::vector<Group*> groups;    // groups this trajectory is a member of (not owned)
    int32_t colliderId = -1;       // -1: no collider

    AnimatedMarker() = default;
    AnimatedMarker(int32_t index, std::string name) : index(index), name(std::move(name)) {}

    // Deep copy as the groups keep them: index -1, same samples, name and collider id,
    // cursor on the first sample, not selected, in no group.
    std::unique_ptr<AnimatedMarker> copy() const;

    int32_t sampleCount() const { return static_cast<int32_t>(samples.size()); }
    int32_t groupCount() const { return static_cast<int32_t>(groups.size()); }

    // The sample under the cursor, or null for an empty trajectory.
    const Marker* currentSample() const;
    Marker* currentSample();
    // Sample i, holding the last sample past the end (null only when empty).
    const Marker* sampleAt(int32_t i) const;

    // Moves the cursor to the next sample, wrapping from the last to the first.
    void nextSample();
    // Moves the cursor by delta samples, held inside the trajectory.
    void step(int32_t delta);
    // Puts the cursor on sample `frame`, held inside the trajectory.
    void seek(int32_t frame);
};

} // namespace duolo
