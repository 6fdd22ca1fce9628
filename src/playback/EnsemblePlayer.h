#pragma once

#include "capture/Vec3.h"
#include "playback/Constraints.h"
#include "playback/Ensemble.h"

#include <cstdint>
#include <span>
#include <vector>

namespace duolo {

class Graph2DNode;
class Group;
class Skeleton;
class TransitionBlender;
class PathFollower;

// Moves the group's offsets for a change from one clip to another: the position offset gains
// the root at `from`'s last frame minus the root at `to`'s first frame (the new clip starts where
// the old one ended), the rotation offset gains the first pose's angles minus the last one's
// (pitch, yaw, roll), which turns the new clip to face the way the old one ended.
void alignTransition(Group& group, const Graph2DNode& from, const Graph2DNode& to);

// The tap sounds due for a playable group at its current frame: one for each contact set with at
// least one sample that was above the contact height in the previous frame (the frame before in
// this clip, or the previous node's last frame at a clip's first frame) and is at or below it now.
int32_t countTaps(const Group& group);

// What the window draws of one group in a pass.
struct GroupView {
    bool drawn = false;              // drawn in the last pass (else the rest is from an earlier one)
    int32_t frame = 0;               // the frame shown
    const Skeleton* pose = nullptr;  // its recorded pose (the heights decide the contact colouring)
    std::span<const Vec3> joints;    // placed joint positions, member order
    Vec3 centre;                     // placed centre (drawn magenta)
    int32_t taps = 0;                // tap sounds to play (only while playing)
};

// Running counts since construction (or resetCounters).
struct PlaybackCounters {
    uint64_t passes = 0;
    uint64_t transitions = 0;         // clip ends, resets included
    uint64_t candidatesTested = 0;
    uint64_t rejected = 0;            // by either constraint
    uint64_t rejectedByRotation = 0;  // rotation constraint on and the heading angle too large
    uint64_t rejectedByBalance = 0;   // balance constraint on and a window frame unbalanced
    uint64_t waivedChoices = 0;       // every candidate rejected just after a reset: taken anyway
    uint64_t resets = 0;              // dead ends that restarted every group
};

// What one pass of the loop does.
struct PassOptions {
    bool playing = true;        // draw with sound, then step
    bool showAllGroups = true;  // every group (and the balance overlay), else the selected one only
    int32_t selectedGroup = 0;
    // Smooths the drawn joints and centre at transitions (group number as slot); the walk, the
    // offsets and the taps are the same with or without it.
    TransitionBlender* blender = nullptr;
};

// Plays every group of an ensemble along its own motion graph, one recorded frame per pass, each
// group choosing its next clip at random among the successors the constraints let through.
// The playback state (nodes, frames, offsets) lives in the groups; the player keeps what the
// window needs to draw, the counters and the marks of groups just reset. After the first pass
// (which sizes the buffers) a pass allocates nothing while the groups stay the same.
class EnsemblePlayer {
public:
    // One pass of the playing loop: every group's graph has its selection cleared and its current
    // node selected; then, when playing with all groups shown, each group in list order is drawn
    // (placed, taps counted) and advanced, so a group drawn later sees earlier ones advanced;
    // playing with one group shown draws that group, then advances every group; not playing
    // draws without sound or step. The balance reading is taken after that.
    void runPass(const Ensemble& ensemble, const PassOptions& options = {});

    // "Frame Forward": every group one step (transitions included), nothing drawn.
    void frameForward(const Ensemble& ensemble);
    // "Frame Back": every group one frame back, unless some group shows the first frame of its
    // clip (then nothing moves and the result is false).
    bool frameBack(const Ensemble& ensemble);
    // "Move To Origin": every root drawn at its recorded place (position offsets to zero); the
    // yaw stays.
    static void moveToOrigin(const Ensemble& ensemble);

    // One frame step of one group, with a transition when its clip ends.
    void advanceGroup(const Ensemble& ensemble, int32_t groupNumber);
    // The node that follows the end of the group's clip: one drawn from the process-wide
    // generator (value modulo the count) among the successors that no constraint rejects, in
    // edge-list order; just after a reset, every successor when all are rejected; with none,
    // restartAllGroups.
    Graph2DNode* chooseNextNode(const Ensemble& ensemble, int32_t groupNumber);
    // The dead-end reset: every group back to zero offsets, cleared selection, its clip's first
    // frame and, unless its clip starts at frame 0, the first node of its list that does (or the
    // list's head when none does); every group is marked as just reset. Returns the caller's node.
    Graph2DNode* restartAllGroups(const Ensemble& ensemble, int32_t caller);

    int32_t viewCount() const { return static_cast<int32_t>(views_.size()); }
    const GroupView& view(int32_t groupNumber) const { return views_[static_cast<size_t>(groupNumber)]; }
    // The overlay's numbers at every group's current frame, taken at the end of the last pass.
    const BalanceReading& balance() const { return balance_; }
    const PlaybackCounters& counters() const { return counters_; }
    void resetCounters() { counters_ = {}; }
    // Marked by a reset until the group's next transition.
    bool isJustReset(int32_t groupNumber) const;
    // Lets `follower` choose the group's next clips among those the constraints let through,
    // instead of the random draw (null: every group draws again).
    void setSteering(int32_t groupNumber, PathFollower* follower)
    {
        steeredGroup_ = groupNumber;
        follower_ = follower;
    }

private:
    // Sizes the buffers and marks to the ensemble (allocates only when the groups changed).
    void fit(const Ensemble& ensemble);
    void drawGroup(const Ensemble& ensemble, int32_t groupNumber, bool playing, TransitionBlender* blender);
    void advance(const Ensemble& ensemble, int32_t groupNumber);
    Graph2DNode* choose(const Ensemble& ensemble, int32_t groupNumber);
    Graph2DNode* restart(const Ensemble& ensemble, int32_t caller);

    std::vector<std::vector<Vec3>> joints_;
    std::vector<GroupView> views_;
    std::vector<char> justReset_;
    std::vector<TransitionCandidate> candidates_;
    BalanceReading balance_;
    PlaybackCounters counters_;
    int32_t steeredGroup_ = -1;
    PathFollower* follower_ = nullptr;
};

} // namespace duolo
