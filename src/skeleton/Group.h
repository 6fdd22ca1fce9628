#pragma once

#include "capture/AnimatedMarker.h"
#include "capture/Vec3.h"
#include "skeleton/Skeleton.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace duolo {

class Graph2D;
class Graph2DNode;

// What the latest "Create Entire Motion Graph" of a group used and found. Kept with the graph
// (and in the graph file), so that the distance map marks that build's transitions.
struct GraphBuildRecord {
    bool built = false;
    int32_t gaps = 0;
    double threshold = 0.0;
    std::vector<std::pair<int32_t, int32_t>> transitions;  // (source, target) frames, as found
    bool operator==(const GraphBuildRecord&) const = default;
};

// How the graph editor last showed a group's graph, kept in the graph file. Not part of the
// graph: looking at a graph is no edit.
struct GraphViewRecord {
    bool stored = false;   // read from a graph file and not yet shown
    int32_t zoom = 16;
    double centreX = 0.0;
    double centreY = 0.0;
    int32_t gridSpacing = 4;
    bool showGrid = true;
};

// Display colour of group number n (0x00BBGGRR).
uint32_t groupColour(int32_t groupNumber);

// A set of the session's markers animated as one body, with its own heading, up and root
// trajectories, per-frame poses, motion graph and playback state.
class Group {
public:
    Group();  // for reading: mark -1, no members, empty graph
    Group(int32_t firstGroupMark, int32_t groupNumber, int32_t frameCount);
    ~Group();
    Group(const Group&) = delete;
    Group& operator=(const Group&) = delete;

    Group* parent = nullptr;               // set only when a project is loaded
    int32_t groupNumber = 0;
    int32_t firstGroupMark = -1;
    std::unique_ptr<AnimatedMarker> headingStart;
    std::unique_ptr<AnimatedMarker> headingEnd;   // the heading direction once orthonormalised
    std::unique_ptr<AnimatedMarker> upStart;
    std::unique_ptr<AnimatedMarker> upEnd;        // the up direction once orthonormalised
    std::unique_ptr<AnimatedMarker> rootTrajectory;
    std::vector<AnimatedMarker*> members;  // shared with the session
    int32_t currentFrame = 0;
    int32_t frameCount = 0;
    uint32_t colour = 0;
    bool selected = false;
    bool posesBuilt = false;
    std::vector<Skeleton> normalisedPoses;
    std::vector<Skeleton> worldPoses;
    std::unique_ptr<Graph2D> graph;
    Graph2DNode* currentNode = nullptr;    // playback position in graph
    Graph2DNode* previousNode = nullptr;
    double maxFrameDistance = 0.0;
    GraphBuildRecord lastBuild;
    GraphViewRecord graphView;
    Vec3 rotationOffset;                   // about x, y, z; only y (yaw) is applied
    Vec3 positionOffset;                   // only x and z are applied
    // Playback's optional turned placement: with `travelTurns` on, a pose is placed as a whole,
    // world = R(yaw) p + travelOffset (x and z only), so the root's path turns with the body
    // instead of keeping its recorded direction. Off by default; see playback/Placement.h.
    bool travelTurns = false;
    Vec3 travelOffset;

    bool hasHeading() const { return headingStart && headingEnd; }
    bool hasUp() const { return upStart && upEnd; }
    bool hasRoot() const { return rootTrajectory != nullptr; }
    int32_t memberCount() const { return static_cast<int32_t>(members.size()); }

    void addMember(AnimatedMarker* m);
    // Removes this group from m's group list (by number); m's own inGroup follows.
    void detachGroup(AnimatedMarker* m);
    bool isMember(const AnimatedMarker* m) const;
    // Removes every entry of m from members (the member list only).
    void removeMember(const AnimatedMarker* m);
    void updateColour() { colour = groupColour(groupNumber); }

    // Heading from a to b (the root is a copy of a); up from a to b. Both markers must be
    // members, else nothing happens.
    void createHeadingVector(AnimatedMarker* a, AnimatedMarker* b);
    void createUpVector(AnimatedMarker* a, AnimatedMarker* b);
    // Frame by frame: the second pair becomes the unit vector g, the first the component of
    // the first vector orthogonal to g, with its sign reversed: (f x g) x g. Starts go to 0.
    void orthonormaliseVectors(AnimatedMarker* firstEnd, AnimatedMarker* firstStart,
                               AnimatedMarker* secondEnd, AnimatedMarker* secondStart);
    void flipHeadingVector(int32_t sessionFrameCount);
    void flipUpVector(int32_t sessionFrameCount);
    void deleteHeadingVector();
    void deleteUpVector();

    // Keep the cursors of members and of the heading, up and root trajectories on `frame`.
    void setFrame(int32_t frame);
    void stepFrame();

    // The frames the group can be posed over: its stored frameCount, but never more than the
    // longest of the trajectories that poses read (members, heading end, up end, root) holds.
    // A count read from a file can be anything; it is kept as stored (for saving) and bounded
    // here, where it would otherwise drive allocations and loops.
    int32_t framesHeld() const;

    // The group's own trajectories (heading, up, root) that exist, for iteration.
    std::vector<AnimatedMarker*> ownTrajectories() const;
};

} // namespace duolo
