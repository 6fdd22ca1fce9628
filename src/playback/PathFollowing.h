#pragma once

#include "playback/Constraints.h"

#include <cstdint>
#include <span>
#include <vector>

namespace duolo {

class Graph2DNode;
class Group;

// A polyline on the floor (x, z), walked by arc length.
class FloorPath {
public:
    struct Point {
        double x = 0.0;
        double z = 0.0;
    };
    FloorPath() = default;
    explicit FloorPath(std::vector<Point> points);

    const std::vector<Point>& points() const { return points_; }
    double length() const { return arc_.empty() ? 0.0 : arc_.back(); }
    // The point at arc length s (held at the ends).
    Point at(double s) const;
    // The shortest distance from (x, z) to the polyline.
    double distanceTo(double x, double z) const;
    // The arc length of the point nearest to (x, z) among the parts of the polyline that lie
    // within `window` of arc length `near` (so that progress along a path that comes back on
    // itself, a circle, moves on steadily).
    double arcOfNearest(double x, double z, double near, double window) const;

private:
    std::vector<Point> points_;
    std::vector<double> arc_;  // arc length at each point
};

struct PathSearchSettings {
    int32_t horizonFrames = 50;        // frames a walk looks ahead (2 s at 25 passes a second)
    int64_t frameBudget = 150000;      // most frames one search scores (the bound cuts most earlier)
};

// Steers one group (without a placement parent) along a floor path: at each end of a clip it
// takes the next clip of a planned walk; when the kept half of the plan is used up it plans
// again by branch and bound over the walks from the current clip that reach the horizon,
// scoring the summed squared floor distance between the group's root and the path point at the
// same arc length, and keeps the first half of the best walk. Walks are the graph's own clips
// joined by the usual alignment (the root's recorded path shifted so that each clip starts where
// the last ended), so the motion stays the captured motion.
class PathFollower {
public:
    PathFollower(const Group& group, FloorPath path, PathSearchSettings settings = {});

    // Where the root now is (call once a pass, with the frame about to be shown): adds to the
    // arc length travelled.
    void moveRootTo(double x, double z);
    // The next clip at the end of the group's current clip, among `allowed` (the successors the
    // constraints let through); null when none is allowed.
    Graph2DNode* choose(const Group& group, std::span<const TransitionCandidate> allowed);

    const FloorPath& path() const { return path_; }
    double travelled() const { return travelled_; }
    int32_t searches() const { return searches_; }
    double longestSearchSeconds() const { return longestSearch_; }
    double totalSearchSeconds() const { return totalSearch_; }

    // The best walk from the end of `from` (root offset ox, oz; arc length travelled `arc`, last
    // root position lastX, lastZ) whose first clip is one of `first`: its clips in order.
    std::vector<Graph2DNode*> search(const Graph2DNode& from, double ox, double oz, double arc, double lastX,
                                     double lastZ, std::span<Graph2DNode* const> first);

private:
    void explore(Graph2DNode* node, double ox, double oz, double arc, double lastX, double lastZ, int32_t framesUsed,
                 double cost);

    FloorPath path_;
    PathSearchSettings settings_;
    std::vector<double> rootX_, rootZ_;  // the group's recorded root per frame
    std::vector<Graph2DNode*> plan_;     // clips still to take, in order
    size_t planned_ = 0;
    bool started_ = false;
    double lastX_ = 0.0, lastZ_ = 0.0;
    double travelled_ = 0.0;
    int32_t searches_ = 0;
    double longestSearch_ = 0.0;
    double totalSearch_ = 0.0;
    // Search state.
    std::vector<Graph2DNode*> walk_, best_;
    double bestCost_ = 0.0;
    int64_t scored_ = 0;
};

} // namespace duolo
