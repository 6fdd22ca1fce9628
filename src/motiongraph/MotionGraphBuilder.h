#pragma once

#include "motiongraph/FrameDistance.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace duolo {

class Group;
class Skeleton;

// A directed link between two frames of a group: a transition found by the search, or a
// continuation from the last frame of one run to the first frame of the next.
using FrameLink = std::pair<int32_t, int32_t>;

struct GraphBuildOptions {
    DistanceEngine engine = DistanceEngine::Fast;
    LongRun run;  // progress of (and cancel for) the transition search
};

// The transition search over the first `frameCount` poses: every source i from gaps - 1 on is
// tested against the frames at least `gaps` after it and more than `gaps` before it; a
// distance at most `threshold` records i -> j and passes over the next gaps - 1 targets, and a
// source with any hit passes over the next gaps - 1 sources. Links come out in the order found.
// A gaps value below 1 acts as 1. Returns false when cancelled.
bool findTransitions(const std::vector<Skeleton>& poses, int32_t frameCount, int32_t gaps, double threshold,
                     const GraphBuildOptions& options, std::vector<FrameLink>& transitions);

// Builds the group's motion graph from its normalised poses and adds it to the group's graph
// (nothing already there is removed): transitions, runs of frames between transition points
// as nodes, transitions and continuations as edges. Points the group's current and previous
// node at the first unselected node. Returns false, with the graph untouched, when cancelled.
// Given `found`, a completed build also hands back the transitions its search found, in the
// order found (the graph may hold others from earlier builds); a cancel leaves it alone.
bool createEntireMotionGraph(Group& group, int32_t gaps, double threshold, const GraphBuildOptions& options = {},
                             std::vector<FrameLink>* found = nullptr);

// Steps 2 to 5 of createEntireMotionGraph on transitions already found over the first `n`
// frames (in the order found): runs into nodes, links into edges, the playback position.
void assembleMotionGraph(Group& group, int32_t n, const std::vector<FrameLink>& transitions);

// "Send To MG": the clip [clipStart, clipEnd] as a new, selected node at the canvas origin
// (nudged off any node there). Nothing checks the clip.
void sendToGraph(Group& group, int32_t clipStart, int32_t clipEnd);

} // namespace duolo
