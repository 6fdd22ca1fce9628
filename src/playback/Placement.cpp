#include "playback/Placement.h"

#include "motiongraph/Graph2D.h"
#include "skeleton/Group.h"
#include "skeleton/Skeleton.h"

#include <algorithm>
#include <cmath>

namespace duolo {

Vec3 rotateAboutVertical(const Vec3& v, double t)
{
    const double c = std::cos(t);
    const double s = std::sin(t);
    return {v.x * c + v.z * s, v.y, v.z * c - v.x * s};
}

bool isPlayable(const Group& group)
{
    return group.currentNode != nullptr && !group.worldPoses.empty();
}

const Skeleton& poseAt(const Group& group, int32_t frame)
{
    const int32_t last = static_cast<int32_t>(group.worldPoses.size()) - 1;
    return group.worldPoses[static_cast<size_t>(std::clamp(frame, 0, last))];
}

const Skeleton& currentPose(const Group& group)
{
    return poseAt(group, group.currentNode->currentFrame);
}

Vec3 rootOf(const Skeleton& pose)
{
    return pose.origin ? pose.origin->position : Vec3{};
}

const Group* placementParent(const Group& group)
{
    const Group* parent = group.parent;
    return parent && parent != &group && isPlayable(*parent) ? parent : nullptr;
}

Vec3 firstFrameDisplacement(const Group& group, const Group& parent)
{
    return rootOf(poseAt(group, 0)) - rootOf(poseAt(parent, 0));
}

Vec3 placedRoot(const Group& group, const Vec3& r)
{
    if (group.travelTurns) {
        const Vec3 turned = rotateAboutVertical(r, group.rotationOffset.y);
        return turned + Vec3{group.travelOffset.x, 0.0, group.travelOffset.z};
    }
    const Vec3& o = group.positionOffset;
    return r + Vec3{o.x, 0.0, o.z};
}

void setTravelTurns(Group& group, bool on)
{
    if (group.travelTurns == on)
        return;
    const Vec3 r = group.worldPoses.empty() || !group.currentNode ? Vec3{} : rootOf(currentPose(group));
    const Vec3 drawn = placedRoot(group, r);
    group.travelTurns = on;
    if (on) {
        const Vec3 c = drawn - rotateAboutVertical(r, group.rotationOffset.y);
        group.travelOffset = {c.x, 0.0, c.z};
    } else {
        group.positionOffset.x = drawn.x - r.x;
        group.positionOffset.z = drawn.z - r.z;
    }
}

void moveGroupToOrigin(Group& group)
{
    group.positionOffset = Vec3{};
    if (!group.travelTurns)
        return;
    const Vec3 r = group.worldPoses.empty() || !group.currentNode ? Vec3{} : rootOf(currentPose(group));
    const Vec3 c = r - rotateAboutVertical(r, group.rotationOffset.y);
    group.travelOffset = {c.x, 0.0, c.z};
}

PointPlacer::PointPlacer(const Group& group, const Skeleton& pose) : root(rootOf(pose))
{
    double t = group.rotationOffset.y;
    if (const Group* q = placementParent(group)) {
        base = placedRoot(*q, rootOf(currentPose(*q)));
        shift = firstFrameDisplacement(group, *q);
        t = q->rotationOffset.y + t;
    } else {
        base = placedRoot(group, root);
    }
    cosine = std::cos(t);
    sine = std::sin(t);
}

Vec3 PointPlacer::place(const Vec3& p) const
{
    // Written out as rotateAboutVertical does it, so that both give the same bits.
    const Vec3 v = p - root + shift;
    return base + Vec3{v.x * cosine + v.z * sine, v.y, v.z * cosine - v.x * sine};
}

Vec3 placePoint(const Group& group, const Skeleton& pose, const Vec3& p)
{
    return PointPlacer(group, pose).place(p);
}

Vec3 placedSupportSum(const Group& group, const Skeleton& pose)
{
    const Vec3 s = pose.support ? pose.support->position : Vec3{};
    const double k = pose.supportWeight;
    const Vec3 r = rootOf(pose);
    const double t = group.rotationOffset.y;
    Vec3 sum;
    if (const Group* q = placementParent(group)) {
        const Vec3 rq = rootOf(currentPose(*q));
        const Vec3 d = firstFrameDisplacement(group, *q);
        const Vec3 turned = rotateAboutVertical(s - r * k + d * k, q->rotationOffset.y + t);
        sum = turned + (q->travelTurns ? placedRoot(*q, rq) : rq + q->positionOffset) * k;
    } else {
        sum = rotateAboutVertical(s - r * k, t) + (group.travelTurns ? placedRoot(group, r) : r + group.positionOffset) * k;
    }
    return {sum.x, 0.0, sum.z};
}

} // namespace duolo
