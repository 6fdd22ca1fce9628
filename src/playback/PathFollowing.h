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
    // The least pace (floor units a frame) the walk is held to: the root is compared with the path
    // at its own arc length or at this pace's, whichever is further, so that standing still is
    // not the cheapest way to stay on the path. Below zero: half the take's 90th percentile of
    // the root's floor speed.
    double leastPace = -1.0;
};

// Steers one group (without a placement parent) along a floor path: at each end of a clip it
// takes the next clip of a planned walk; when the kept half of the plan is used up it plans
// again by branch and bound over the walks from the current clip that reach the horizon,
// scoring the summed squared floor distance between the group's root and the path point at the
// same arc length (counted from the progress made so far, and never behind the least pace), and
// keeps the first half of the best walk. Walks are the graph's own clips
// joined by the usual alignment (the root's recorded path shifted so that each clip starts where
// the last ended, or, where the group's travel turns, turned by the yaw as well), so the motion
// stays the captured motion.
class PathFollower {
public:
    PathFollower(const Group& group, FloorPath path, PathSearchSettings settings = {});

    // Where the root now is (call once a pass, with the frame about to be shown): adds to the
    // arc length travelled and moves the progress along the path on to the root's nearest point
    // (never back).
    void moveRootTo(double x, double z);
    // The next clip at the end of the group's current clip, among `allowed` (the successors the
    // constraints let through); null when none is allowed.
    Graph2DNode* choose(const Group& group, std::span<const TransitionCandidate> allowed);

    const FloorPath& path() const { return path_; }
    double travelled() const { return travelled_; }
    // The arc length of the path up to the point nearest the root.
    double progress() const { return progress_; }
    int32_t searches() const { return searches_; }
    double longestSearchSeconds() const { return longestSearch_; }
    double totalSearchSeconds() const { return totalSearch_; }
    double leastPace() const { return pace_; }

    // How a walk's clips are placed on the floor: the recorded root (x, z) turned by `yaw` when
    // the travel turns, then shifted by (x, z); see placedRoot.
    struct Placing {
        double x = 0.0, z = 0.0;
        double yaw = 0.0;
        bool turns = false;
    };
    // The group's placing now (its offsets).
    static Placing placingOf(const Group& group);

    // The best walk from the end of `from` (placed by `placing`; arc length travelled `arc`, last
    // root position lastX, lastZ) whose first clip is one of `first`: its clips in order.
    std::vector<Graph2DNode*> search(const Graph2DNode& from, const Placing& placing, double arc, double lastX,
                                     double lastZ, std::span<Graph2DNode* const> first);

private:
    size_t frameIndex(int32_t frame) const;
    // The placing of `to` entered from the last frame of a clip placed by `placing`.
    Placing across(const Placing& placing, int32_t fromEnd, int32_t toStart) const;
    // One clip of a walk and where the walk stands after it.
    struct Step {
        Graph2DNode* node = nullptr;
        Placing placing;
        double arc = 0.0, lastX = 0.0, lastZ = 0.0, cost = 0.0;
        int32_t framesUsed = 0;
    };
    // Scores the step's clip frame by frame from where the walk stands (up to the horizon);
    // false when its cost reaches the best walk's.
    bool score(Step& step);
    // The steps that may follow a scored step, scored, cheapest first (the cheap ones first
    // find good walks early, which makes the bound cut more).
    void successors(const Step& step, std::vector<Step>& out);
    void explore(Step step, size_t depth);

    FloorPath path_;
    PathSearchSettings settings_;
    std::vector<double> rootX_, rootZ_;  // the group's recorded root per frame
    std::vector<double> yaw_;            // the recorded pose's yaw per frame
    double pace_ = 0.0;                  // the least pace in floor units a frame
    double searchArc_ = 0.0;             // arc length where the current search starts
    std::vector<Graph2DNode*> plan_;     // clips still to take, in order
    size_t planned_ = 0;
    bool started_ = false;
    double lastX_ = 0.0, lastZ_ = 0.0;
    double travelled_ = 0.0;
    double progress_ = 0.0;
    double reach_ = 0.0;                 // how far progress may move in one call of moveRootTo
    int32_t searches_ = 0;
    double longestSearch_ = 0.0;
    double totalSearch_ = 0.0;
    // Search state.
    std::vector<Graph2DNode*> walk_, best_;
    std::vector<std::vector<Step>> stepsAtDepth_;  // kept between searches
    double bestCost_ = 0.0;
    int64_t scored_ = 0;
};

} // namespace duolo
