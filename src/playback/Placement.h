#pragma once

#include "capture/Vec3.h"

#include <cstdint>

namespace duolo {

class Group;
class Skeleton;

// Where a playing group's poses land in the world: the root keeps its recorded path shifted by
// the group's position offset, the body turns about the root by the group's yaw, and a group with
// a parent rides on the parent's root at their first-frame distance.
//
// A group may instead turn its travel with its body (`Group::travelTurns`): the whole pose is
// turned by the yaw and shifted by the group's travel offset, so a body walks the way it faces
// and a turn taken at a transition turns its path too. The position and rotation offsets move
// exactly as they do otherwise; the travel offset is kept beside them.

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

// Where the group's root r lands: r + (o.x, 0, o.z), or R(t) r + (c.x, 0, c.z) when the group's
// travel turns (c its travel offset).
Vec3 placedRoot(const Group& group, const Vec3& r);

// Turns the group's travel with its body, or stops it, without moving the group: its root stays
// where it is drawn at its current frame (the other offset is worked out from it).
void setTravelTurns(Group& group, bool on);

// "Move To Origin" for one group: the root drawn at its recorded place, the yaw kept.
void moveGroupToOrigin(Group& group);

// The placement of one pose of a group, worked out once and applied to each of its points.
struct PointPlacer {
    Vec3 root;        // the pose's root r
    Vec3 base;        // placedRoot(r), or placedRoot of Q at rQ with a parent
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
// pose, oQ and tQ Q's, and d the first-frame displacement. A group (or parent) whose travel
// turns has placedRoot in place of r + o (or rQ + oQ).
Vec3 placePoint(const Group& group, const Skeleton& pose, const Vec3& p);

// k times the placed support centre of a pose that has a support (S its support sum, k its
// support weight), x and z only (y is 0):
//   without parent: R(t)(S - k r) + k (r + o)
//   with parent Q:  R(tQ + t)(S - k r + k d) + k (rQ + oQ)
// (placedRoot in place of r + o or rQ + oQ where the travel turns).
// With the displacement d the support centre lies under the group's drawn feet.
Vec3 placedSupportSum(const Group& group, const Skeleton& pose);

} // namespace duolo
