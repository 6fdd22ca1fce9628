#pragma once

#include "capture/Vec3.h"
#include "playback/Ensemble.h"

#include <cstdint>

namespace duolo {

class Graph2DNode;
class Group;
class Skeleton;

// A successor node that a group at the end of its clip may move to, with what the tests found.
struct TransitionCandidate {
    Graph2DNode* node = nullptr;
    double largestHeadingAngle = 0.0;  // degrees, over the window; 0 until tested
    bool rotationOk = true;            // largestHeadingAngle <= rotationLimit
    bool balanced = true;              // every frame of the window balanced
};

// The window of a test starts where the candidate clip would start. Groups advance in list order
// within a pass, so when a group chooses, every lower-numbered group has advanced and every
// higher-numbered one has not: candidate frame startFrame + i pairs with frame f + i of a lower
// group and f + i + 1 of a higher one (f the group's current frame). Groups that cannot play
// (no current node or no poses) take no part.

// Angle in degrees between the two poses' headings, each turned by its group's yaw plus its
// parent's. The headings are taken as unit vectors; a dot product outside [-1, 1] gives no angle
// (not a number), which never raises a running maximum.
double headingAngle(const Skeleton& a, const Group& groupA, const Skeleton& b, const Group& groupB);

// The largest heading angle between the chooser's candidate frames and every other group over
// the window (0 with no other group).
double largestHeadingAngle(const Ensemble& ensemble, const TransitionCandidate& candidate, const Group& chooser);

// The balance of the ensemble in one frame: the members' centre of mass M, the support centre of
// the floor contacts (when c, the summed contact weight, is not 0), their horizontal distance D
// and the distance allowed, c x tolerance x 0.1. The frame is balanced unless D exceeds it.
struct BalanceReading {
    Vec3 centreOfMass;             // M
    Vec3 floorPoint;               // (M.x, 0, M.z)
    bool hasSupport = false;       // c != 0
    Vec3 supportCentre;            // on the floor; zero without support
    double contactWeight = 0.0;    // c
    double offset = 0.0;           // D; 0 without support
    double allowedOffset = 0.0;    // c x balanceTolerance x 0.1
    bool balanced = true;
};

// Every frame of the window balanced. The window runs from i = 0 to n inclusive, n the session's
// frame count cut down to what each group's clip has left (a higher-numbered group on the last
// frame of its clip holds that clip's last pose and does not cut it).
bool isBalanced(const Ensemble& ensemble, const TransitionCandidate& candidate, const Group& chooser);

// The balance at every group's current frame (what the overlay shows).
BalanceReading readBalance(const Ensemble& ensemble);

// Runs both tests (each always runs, whatever is switched on), stores their findings in the
// candidate and returns whether a constraint that is on rejects it.
bool isTransitionRejected(const Ensemble& ensemble, TransitionCandidate& candidate, const Group& chooser);

} // namespace duolo
