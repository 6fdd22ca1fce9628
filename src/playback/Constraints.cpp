#include "playback/Constraints.h"

#include "motiongraph/Graph2D.h"
#include "playback/Placement.h"
#include "skeleton/Group.h"
#include "skeleton/Skeleton.h"

#include <algorithm>
#include <cmath>

namespace duolo {
namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

double yawWithParent(const Group& group)
{
    const Group* parent = placementParent(group);
    return parent ? group.rotationOffset.y + parent->rotationOffset.y : group.rotationOffset.y;
}

// Where a group stands in the list relative to the chooser decides its window frames.
enum class Side { Lower, Chooser, Higher };

// The frame a group shows in window frame i.
int32_t windowFrame(const Group& group, Side side, const TransitionCandidate& candidate, int32_t i)
{
    switch (side) {
    case Side::Lower:
        return group.currentNode->currentFrame + i;
    case Side::Chooser:
        return candidate.node->startFrame + i;
    case Side::Higher:
        break;
    }
    return std::min(group.currentNode->currentFrame + i + 1, group.currentNode->endFrame);
}

// M, the support and D of the ensemble with each playable group at frameOf(group, side).
template <typename FrameOf>
BalanceReading measureBalance(const Ensemble& ensemble, const Group* chooser, double tolerance, FrameOf frameOf)
{
    BalanceReading reading;
    Vec3 massSum;
    double members = 0.0;
    double supportX = 0.0;
    double supportZ = 0.0;
    double c = 0.0;
    Side side = Side::Lower;
    for (const auto& owned : ensemble.groups) {
        const Group& g = *owned;
        if (&g == chooser) {
            side = Side::Chooser;
        } else if (side == Side::Chooser) {
            side = Side::Higher;
        }
        if (!isPlayable(g))
            continue;
        const Skeleton& pose = poseAt(g, frameOf(g, side));
        const double m = g.memberCount();
        const Vec3 centre = placePoint(g, pose, pose.centre.position);
        massSum += Vec3{m * centre.x, m * centre.y, m * centre.z};
        members += m;
        if (pose.support) {
            const Vec3 s = placedSupportSum(g, pose);
            supportX += s.x;
            supportZ += s.z;
            c += pose.supportWeight;
        }
    }
    reading.centreOfMass = {massSum.x / members, massSum.y / members, massSum.z / members};
    reading.floorPoint = {reading.centreOfMass.x, 0.0, reading.centreOfMass.z};
    reading.contactWeight = c;
    reading.allowedOffset = c * tolerance * 0.1;
    if (c != 0.0) {
        reading.hasSupport = true;
        reading.supportCentre = {supportX / c, 0.0, supportZ / c};
        const double dx = reading.supportCentre.x - reading.centreOfMass.x;
        const double dz = reading.supportCentre.z - reading.centreOfMass.z;
        reading.offset = std::sqrt(dx * dx + dz * dz);
        reading.balanced = !(reading.offset > reading.allowedOffset);
    }
    return reading;
}

} // namespace

double headingAngle(const Skeleton& a, const Group& groupA, const Skeleton& b, const Group& groupB)
{
    const Vec3 ha = rotateAboutVertical(a.heading ? a.heading->position : Vec3{}, yawWithParent(groupA));
    const Vec3 hb = rotateAboutVertical(b.heading ? b.heading->position : Vec3{}, yawWithParent(groupB));
    const double dot = ha.x * hb.x + ha.y * hb.y + ha.z * hb.z;
    if (!(dot >= -1.0 && dot <= 1.0))
        return std::nan("");
    return std::acos(dot) * kDegreesPerRadian;
}

double largestHeadingAngle(const Ensemble& ensemble, const TransitionCandidate& candidate, const Group& chooser)
{
    const Graph2DNode& cand = *candidate.node;
    const int32_t length = cand.endFrame - cand.startFrame;
    double largest = 0.0;
    bool higher = false;
    for (const auto& owned : ensemble.groups) {
        const Group& g = *owned;
        if (&g == &chooser) {
            higher = true;
            continue;
        }
        if (!isPlayable(g))
            continue;
        const Graph2DNode& n = *g.currentNode;
        const int32_t f = n.currentFrame;
        if (higher && f >= n.endFrame)
            continue;  // on the last frame of its clip: it will move to a clip not known yet
        const int32_t last = higher ? std::min(length, n.endFrame - f - 1) : std::min(length, n.endFrame - f);
        const int32_t step = higher ? 1 : 0;
        for (int32_t j = 0; j <= last; ++j) {
            const double angle = headingAngle(poseAt(g, f + j + step), g, poseAt(chooser, cand.startFrame + j), chooser);
            if (angle > largest)
                largest = angle;
        }
    }
    return largest;
}

bool isBalanced(const Ensemble& ensemble, const TransitionCandidate& candidate, const Group& chooser)
{
    const Graph2DNode& cand = *candidate.node;
    int32_t n = ensemble.frameCount;
    bool higher = false;
    for (const auto& owned : ensemble.groups) {
        const Group& g = *owned;
        if (&g == &chooser) {
            higher = true;
            n = std::min(n, cand.endFrame - cand.startFrame);
            continue;
        }
        if (!isPlayable(g))
            continue;
        const Graph2DNode& node = *g.currentNode;
        const int32_t f = node.currentFrame;
        if (!higher)
            n = std::min(n, node.endFrame - f);
        else if (f < node.endFrame)
            n = std::min(n, node.endFrame - f - 1);
    }
    const double tolerance = ensemble.constraints.balanceTolerance;
    for (int32_t i = 0; i <= n; ++i) {
        const BalanceReading frame = measureBalance(ensemble, &chooser, tolerance, [&](const Group& g, Side side) {
            return windowFrame(g, side, candidate, i);
        });
        if (!frame.balanced)
            return false;
    }
    return true;
}

BalanceReading readBalance(const Ensemble& ensemble)
{
    return measureBalance(ensemble, nullptr, ensemble.constraints.balanceTolerance,
                          [](const Group& g, Side) { return g.currentNode->currentFrame; });
}

bool isTransitionRejected(const Ensemble& ensemble, TransitionCandidate& candidate, const Group& chooser)
{
    candidate.largestHeadingAngle = largestHeadingAngle(ensemble, candidate, chooser);
    candidate.balanced = isBalanced(ensemble, candidate, chooser);
    candidate.rotationOk = candidate.largestHeadingAngle <= ensemble.constraints.rotationLimit;
    return (ensemble.constraints.balanceConstraintOn && !candidate.balanced)
        || (ensemble.constraints.rotationConstraintOn && !candidate.rotationOk);
}

} // namespace duolo
