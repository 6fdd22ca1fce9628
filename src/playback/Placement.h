#pragma once

#include "capture/Vec3.h"

#include <cstdint>

namespace duolo {

class Group;
class Skeleton;

// Where a playing group's poses land in the world: the root keeps its recorded path shifted by
// the group's position offset, the body turns about the root by the group's yaw, and a group with
// a parent rides on the parent's root at their first-frame distance.

// Rotation about the vertical axis by t radians: (x, y, z) -> (x cos t + z sin t, y, z cos t - x sin t).
Vec3 rotateAboutVertical(const Vec3& v, double t);

// A group takes part in playback when it has a current node and world poses.
bool isPlayable(const Group& group);

// The group's world pose at `frame`, held at the first or last recorded pose outside the take
// (so that no index ever passes the poses). The group must have poses.
const Skeleton& poseAt(const Group& group, int32_t frame);
// The pose at the current node's current frame (the group must be playable).
const Skeleton& currentPose(const Group& group);

// The root of a pose (zero for a pose without one).
Vec3 rootOf(const Skeleton& pose);

// The group's parent when it has one that plays; a parent without a current node or poses has no
// place of its own, so the group is then placed on its own.
const Group* placementParent(const Group& group);

// Root of the group's first pose minus the root of the parent's first pose.
Vec3 firstFrameDisplacement(const Group& group, const Group& parent);

// The placement of one pose of a group, worked out once and applied to each of its points.
struct PointPlacer {
    Vec3 root;        // the pose's root r
    Vec3 base;        // r + (o.x, 0, o.z), or rQ + (oQ.x, 0, oQ.z) with a parent
    Vec3 shift;       // 0, or the first-frame displacement d with a parent
    double cosine = 1.0;
    double sine = 0.0;

    PointPlacer(const Group& group, const Skeleton& pose);
    Vec3 place(const Vec3& p) const;
};

// World position of point p of one of the group's poses:
//   without parent: r + (o.x, 0, o.z) + R(t)(p - r)
//   with parent Q:  rQ + (oQ.x, 0, oQ.z) + R(tQ + t)(p - r + d)
// r the pose's root, o and t the group's position offset and yaw, rQ the root of Q's current
// pose, oQ and tQ Q's, and d the first-frame displacement.
Vec3 placePoint(const Group& group, const Skeleton& pose, const Vec3& p);

// k times the placed support centre of a pose that has a support (S its support sum, k its
// support weight), x and z only (y is 0):
//   without parent: R(t)(S - k r) + k (r + o)
//   with parent Q:  R(tQ + t)(S - k r + k d) + k (rQ + oQ)
// With the displacement d the support centre lies under the group's drawn feet.
Vec3 placedSupportSum(const Group& group, const Skeleton& pose);

} // namespace duolo
