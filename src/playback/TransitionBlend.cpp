#include "playback/TransitionBlend.h"

#include "motiongraph/Graph2D.h"
#include "playback/Placement.h"
#include "skeleton/Group.h"
#include "skeleton/Skeleton.h"

#include <algorithm>

namespace duolo {

double quinticOffset(double x0, double v0, double t, double frames)
{
    if (t >= frames)
        return 0.0;
    // x(t) = A t^5 + B t^4 + C t^3 + v0 t + x0 with x, x' and x'' zero at t = frames.
    const double T = frames;
    const double T2 = T * T, T3 = T2 * T;
    const double A = -(6.0 * v0 * T + 12.0 * x0) / (2.0 * T3 * T2);
    const double B = (16.0 * v0 * T + 30.0 * x0) / (2.0 * T2 * T2);
    const double C = -(12.0 * v0 * T + 20.0 * x0) / (2.0 * T3);
    return (((A * t + B) * t + C) * t * t + v0) * t + x0;
}

void TransitionBlender::setFrames(int32_t frames)
{
    frames = std::clamp(frames, 0, kMaxBlendFrames);
    if (frames == frames_)
        return;
    frames_ = frames;
    clear();
}

void TransitionBlender::clear()
{
    for (Slot& slot : slots_)
        slot.started = false;
}

bool TransitionBlender::blending(int32_t slot) const
{
    return slot >= 0 && static_cast<size_t>(slot) < slots_.size() && slots_[static_cast<size_t>(slot)].started &&
           slots_[static_cast<size_t>(slot)].elapsed < frames_;
}

TransitionBlender::ShownState TransitionBlender::shownState(const Group& group)
{
    ShownState state;
    state.node = group.currentNode;
    state.frame = group.currentNode ? group.currentNode->currentFrame : 0;
    if (const Group* parent = placementParent(group)) {
        state.parentNode = parent->currentNode;
        state.parentFrame = parent->currentNode->currentFrame;
    }
    return state;
}

void TransitionBlender::startBlend(Slot& slot, const Group& group, size_t jointCount, bool withCentre)
{
    // The new clip's own velocity: its positions minus those of the recorded frame before its
    // first, placed the same way (the take's frame 0 has none, so zero there).
    const Skeleton& before = poseAt(group, group.currentNode->currentFrame - 1);
    const PointPlacer placer(group, before);
    const size_t n = slot.points.size();
    slot.offset.resize(n);
    slot.offsetVelocity.resize(n);
    for (size_t k = 0; k < n; ++k) {
        Vec3 earlier = slot.points[k];
        if (k < jointCount && k < before.joints.size())
            earlier = placer.place(before.joints[k].position);
        else if (withCentre && k == jointCount)
            earlier = placer.place(before.centre.position);
        const Vec3 targetVelocity = slot.points[k] - earlier;
        slot.offset[k] = slot.last[k] + slot.velocity[k] - slot.points[k];
        Vec3 v0 = slot.velocity[k] - targetVelocity;
        // An offset still growing would overshoot before it decays: its growth is dropped (the
        // part of the velocity along the offset), so the blend only ever closes the gap.
        const Vec3& x0 = slot.offset[k];
        const double along = v0.x * x0.x + v0.y * x0.y + v0.z * x0.z;
        const double size2 = x0.x * x0.x + x0.y * x0.y + x0.z * x0.z;
        if (along > 0.0 && size2 > 0.0)
            v0 -= x0 * (along / size2);
        slot.offsetVelocity[k] = v0;
    }
    slot.elapsed = 0;
}

void TransitionBlender::apply(int32_t slotNumber, const Group& group, std::span<Vec3> joints, Vec3* centre)
{
    if (frames_ == 0 || slotNumber < 0 || !isPlayable(group))
        return;
    if (static_cast<size_t>(slotNumber) >= slots_.size())
        slots_.resize(static_cast<size_t>(slotNumber) + 1);
    Slot& slot = slots_[static_cast<size_t>(slotNumber)];
    const size_t n = joints.size() + (centre ? 1 : 0);
    slot.points.resize(n);
    std::copy(joints.begin(), joints.end(), slot.points.begin());
    if (centre)
        slot.points[joints.size()] = *centre;

    const ShownState state = shownState(group);
    if (!slot.started || slot.last.size() != n) {
        slot.started = true;
        slot.state = state;
        slot.elapsed = frames_;
        slot.last = slot.points;
        slot.velocity.assign(n, Vec3{});
        return;
    }
    // The same frame shown again (paused): the same blend step, nothing moves on.
    const bool again = state == slot.state;
    if (!again) {
        const bool followsOn = state.node == slot.state.node && state.frame == slot.state.frame + 1 &&
                               state.parentNode == slot.state.parentNode &&
                               (!state.parentNode || state.parentFrame == slot.state.parentFrame + 1);
        if (followsOn)
            slot.elapsed = std::min(slot.elapsed + 1, frames_);
        else
            startBlend(slot, group, joints.size(), centre != nullptr);
    }
    if (slot.elapsed < frames_) {
        const double t = slot.elapsed;
        const double T = frames_;
        for (size_t k = 0; k < n; ++k) {
            const Vec3& x0 = slot.offset[k];
            const Vec3& v0 = slot.offsetVelocity[k];
            slot.points[k] += Vec3{quinticOffset(x0.x, v0.x, t, T), quinticOffset(x0.y, v0.y, t, T),
                                   quinticOffset(x0.z, v0.z, t, T)};
        }
    }
    if (!again) {
        for (size_t k = 0; k < n; ++k) {
            slot.velocity[k] = slot.points[k] - slot.last[k];
            slot.last[k] = slot.points[k];
        }
        slot.state = state;
    }
    std::copy(slot.points.begin(), slot.points.begin() + static_cast<std::ptrdiff_t>(joints.size()), joints.begin());
    if (centre)
        *centre = slot.points[joints.size()];
}

} // namespace duolo
