#pragma once

#include "capture/Vec3.h"

#include <cstdint>
#include <span>
#include <vector>

namespace duolo {

class Graph2DNode;
class Group;

// The most frames a transition may be blended over.
inline constexpr int32_t kMaxBlendFrames = 30;

// The offset left of a blend `t` frames after it began, of one coordinate that started at x0 with
// velocity v0 (per frame), over `frames` frames: the quintic that starts with that value and
// velocity (no acceleration) and reaches zero with zero velocity and acceleration at `frames`.
double quinticOffset(double x0, double v0, double t, double frames);

// Smooths the jumps of placed positions at transitions by inertialization: at a transition (a
// change of clip, a reset, or a change of clip of the group it is placed on) each point's offset
// between where it would have gone (its last output moved on by its last velocity) and where the
// new clip puts it is kept, with the difference of the two velocities, and decays to zero along
// quinticOffset over the blend frames. It needs no look-ahead and leaves the playback state
// alone: only the positions handed to it change. With 0 frames it changes nothing.
//
// One blender follows one stream of positions (what is drawn, or what is recorded); each group
// has a slot. Feed a slot once per pass, while the group shows the frame the positions are of.
class TransitionBlender {
public:
    void setFrames(int32_t frames);
    int32_t frames() const { return frames_; }
    // Forgets every slot (the next positions are taken as they are): after a jump the user asked
    // for (a frame stepped by hand, a move to the origin).
    void clear();

    // Blends the placed joints of `group`'s current pose (member order) and, when given, its
    // placed centre, in place.
    void apply(int32_t slot, const Group& group, std::span<Vec3> joints, Vec3* centre = nullptr);

    // Whether the slot's last positions were the start of a blend or inside one.
    bool blending(int32_t slot) const;

private:
    struct ShownState {
        const Graph2DNode* node = nullptr;
        int32_t frame = 0;
        const Graph2DNode* parentNode = nullptr;
        int32_t parentFrame = 0;
        bool operator==(const ShownState&) const = default;
    };
    struct Slot {
        bool started = false;
        ShownState state;
        int32_t elapsed = 0;        // frames since the blend began (frames_ or more: none running)
        std::vector<Vec3> last;     // last output
        std::vector<Vec3> velocity; // last output minus the one before
        std::vector<Vec3> offset;   // at the blend's start
        std::vector<Vec3> offsetVelocity;
        std::vector<Vec3> points;   // joints then centre, while blending
    };

    static ShownState shownState(const Group& group);
    void startBlend(Slot& slot, const Group& group, size_t jointCount, bool withCentre);

    int32_t frames_ = 0;
    std::vector<Slot> slots_;
};

} // namespace duolo
