#include "playback/PathFollowing.h"

#include "motiongraph/Graph2D.h"
#include "playback/Placement.h"
#include "skeleton/Group.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace duolo {

FloorPath::FloorPath(std::vector<Point> points) : points_(std::move(points))
{
    double s = 0.0;
    for (size_t k = 0; k < points_.size(); ++k) {
        if (k > 0)
            s += std::hypot(points_[k].x - points_[k - 1].x, points_[k].z - points_[k - 1].z);
        arc_.push_back(s);
    }
}

FloorPath::Point FloorPath::at(double s) const
{
    if (points_.empty())
        return {};
    if (s <= 0.0)
        return points_.front();
    if (s >= arc_.back())
        return points_.back();
    const size_t k = static_cast<size_t>(std::upper_bound(arc_.begin(), arc_.end(), s) - arc_.begin());
    const double span = arc_[k] - arc_[k - 1];
    const double u = span > 0.0 ? (s - arc_[k - 1]) / span : 0.0;
    return {points_[k - 1].x + u * (points_[k].x - points_[k - 1].x), points_[k - 1].z + u * (points_[k].z - points_[k - 1].z)};
}

double FloorPath::distanceTo(double x, double z) const
{
    if (points_.empty())
        return 0.0;
    double best = std::hypot(x - points_[0].x, z - points_[0].z);
    for (size_t k = 1; k < points_.size(); ++k) {
        const Point& a = points_[k - 1];
        const Point& b = points_[k];
        const double dx = b.x - a.x, dz = b.z - a.z;
        const double len2 = dx * dx + dz * dz;
        const double u = len2 > 0.0 ? std::clamp(((x - a.x) * dx + (z - a.z) * dz) / len2, 0.0, 1.0) : 0.0;
        best = std::min(best, std::hypot(x - (a.x + u * dx), z - (a.z + u * dz)));
    }
    return best;
}

double FloorPath::arcOfNearest(double x, double z, double near, double window) const
{
    double best = std::numeric_limits<double>::infinity(), arc = near;
    for (size_t k = 1; k < points_.size(); ++k) {
        if (arc_[k] < near - window || arc_[k - 1] > near + window)
            continue;
        const Point& a = points_[k - 1];
        const Point& b = points_[k];
        const double dx = b.x - a.x, dz = b.z - a.z;
        const double len2 = dx * dx + dz * dz;
        const double u = len2 > 0.0 ? std::clamp(((x - a.x) * dx + (z - a.z) * dz) / len2, 0.0, 1.0) : 0.0;
        const double d = std::hypot(x - (a.x + u * dx), z - (a.z + u * dz));
        const double s = std::clamp(arc_[k - 1] + u * (arc_[k] - arc_[k - 1]), near - window, near + window);
        if (d < best) {
            best = d;
            arc = s;
        }
    }
    return arc;
}

PathFollower::PathFollower(const Group& group, FloorPath path, PathSearchSettings settings)
    : path_(std::move(path)), settings_(settings)
{
    for (const Skeleton& pose : group.worldPoses) {
        const Vec3 r = rootOf(pose);
        rootX_.push_back(r.x);
        rootZ_.push_back(r.z);
        yaw_.push_back(pose.yaw);
    }
    std::vector<double> speeds;
    for (size_t f = 1; f < rootX_.size(); ++f)
        if (const double v = std::hypot(rootX_[f] - rootX_[f - 1], rootZ_[f] - rootZ_[f - 1]); std::isfinite(v))
            speeds.push_back(v);
    std::sort(speeds.begin(), speeds.end());
    const auto percentile = [&speeds](size_t tenths) { return speeds.empty() ? 0.0 : speeds[speeds.size() * tenths / 1000]; };
    pace_ = std::max(settings_.leastPace < 0.0 ? 0.5 * percentile(900) : settings_.leastPace, 0.0);
    // Progress follows the root pass by pass; a generous step keeps up with a fast root.
    reach_ = 4.0 * std::max(percentile(999), pace_);
}

PathFollower::Placing PathFollower::placingOf(const Group& group)
{
    const Vec3& shift = group.travelTurns ? group.travelOffset : group.positionOffset;
    return {shift.x, shift.z, group.rotationOffset.y, group.travelTurns};
}

size_t PathFollower::frameIndex(int32_t frame) const
{
    return static_cast<size_t>(std::clamp<int32_t>(frame, 0, static_cast<int32_t>(rootX_.size()) - 1));
}

PathFollower::Placing PathFollower::across(const Placing& placing, int32_t fromEnd, int32_t toStart) const
{
    const size_t a = frameIndex(fromEnd), b = frameIndex(toStart);
    Placing next = placing;
    if (!placing.turns) {
        next.x += rootX_[a] - rootX_[b];
        next.z += rootZ_[a] - rootZ_[b];
        return next;
    }
    // As alignTransition moves the travel offset: the turned root where the old clip ends minus
    // the newly turned root where the new clip starts.
    next.yaw += yaw_[b] - yaw_[a];
    const Vec3 ra = rotateAboutVertical({rootX_[a], 0.0, rootZ_[a]}, placing.yaw);
    const Vec3 rb = rotateAboutVertical({rootX_[b], 0.0, rootZ_[b]}, next.yaw);
    next.x += ra.x - rb.x;
    next.z += ra.z - rb.z;
    return next;
}

void PathFollower::moveRootTo(double x, double z)
{
    if (started_) {
        const double step = std::hypot(x - lastX_, z - lastZ_);
        travelled_ += step;
        progress_ = std::max(progress_, path_.arcOfNearest(x, z, progress_, std::max(reach_, step)));
    }
    started_ = true;
    lastX_ = x;
    lastZ_ = z;
}

Graph2DNode* PathFollower::choose(const Group& group, std::span<const TransitionCandidate> allowed)
{
    if (allowed.empty() || rootX_.empty())
        return nullptr;
    const Graph2DNode& from = *group.currentNode;
    // The root where the ending clip leaves it: the next clip starts there.
    const size_t end = frameIndex(from.endFrame);
    const Vec3 root = placedRoot(group, {rootX_[end], 0.0, rootZ_[end]});
    moveRootTo(root.x, root.z);

    if (planned_ < plan_.size()) {
        Graph2DNode* next = plan_[planned_];
        for (const TransitionCandidate& c : allowed)
            if (c.node == next) {
                ++planned_;
                return next;
            }
    }
    std::vector<Graph2DNode*> first;
    for (const TransitionCandidate& c : allowed)
        first.push_back(c.node);
    const auto started = std::chrono::steady_clock::now();
    std::vector<Graph2DNode*> walk = search(from, placingOf(group), progress_, lastX_, lastZ_, first);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ++searches_;
    totalSearch_ += seconds;
    longestSearch_ = std::max(longestSearch_, seconds);
    if (walk.empty())
        return first.front();
    // Keep the clips that start in the first half of the horizon (at least one).
    plan_.clear();
    int32_t frames = 0;
    for (Graph2DNode* node : walk) {
        if (!plan_.empty() && frames >= settings_.horizonFrames / 2)
            break;
        plan_.push_back(node);
        frames += node->endFrame - node->startFrame + 1;
    }
    planned_ = 1;
    return plan_.front();
}

std::vector<Graph2DNode*> PathFollower::search(const Graph2DNode& from, const Placing& placing, double arc,
                                               double lastX, double lastZ, std::span<Graph2DNode* const> first)
{
    walk_.clear();
    best_.clear();
    bestCost_ = std::numeric_limits<double>::infinity();
    scored_ = 0;
    searchArc_ = arc;
    if (stepsAtDepth_.empty())
        stepsAtDepth_.emplace_back();
    std::vector<Step>& steps = stepsAtDepth_[0];
    steps.clear();
    for (Graph2DNode* node : first) {
        Step step{node, across(placing, from.endFrame, node->startFrame), arc, lastX, lastZ, 0.0, 0};
        if (score(step))
            steps.push_back(step);
    }
    std::stable_sort(steps.begin(), steps.end(), [](const Step& a, const Step& b) { return a.cost < b.cost; });
    for (size_t k = 0; k < stepsAtDepth_[0].size(); ++k)
        explore(stepsAtDepth_[0][k], 1);
    return best_;
}

bool PathFollower::score(Step& step)
{
    const Graph2DNode& node = *step.node;
    const double c = step.placing.turns ? std::cos(step.placing.yaw) : 1.0;
    const double s = step.placing.turns ? std::sin(step.placing.yaw) : 0.0;
    for (int32_t f = node.startFrame; f <= node.endFrame && step.framesUsed < settings_.horizonFrames; ++f) {
        const size_t i = frameIndex(f);
        const double x = rootX_[i] * c + rootZ_[i] * s + step.placing.x;
        const double z = rootZ_[i] * c - rootX_[i] * s + step.placing.z;
        step.arc += std::hypot(x - step.lastX, z - step.lastZ);
        step.lastX = x;
        step.lastZ = z;
        ++step.framesUsed;
        ++scored_;
        const FloorPath::Point p = path_.at(std::max(step.arc, searchArc_ + pace_ * step.framesUsed));
        step.cost += (x - p.x) * (x - p.x) + (z - p.z) * (z - p.z);
        if (step.cost >= bestCost_)  // a longer walk only adds to its cost
            return false;
    }
    return true;
}

void PathFollower::successors(const Step& step, std::vector<Step>& out)
{
    out.clear();
    const Graph2DNode& node = *step.node;
    for (Graph2DEdge* edge : node.incidentEdges) {
        if (edge->from != &node || !edge->to)
            continue;
        Step next = step;
        next.node = edge->to;
        next.placing = across(step.placing, node.endFrame, edge->to->startFrame);
        if (score(next))
            out.push_back(next);
    }
    std::stable_sort(out.begin(), out.end(), [](const Step& a, const Step& b) { return a.cost < b.cost; });
}

void PathFollower::explore(Step step, size_t depth)  // a copy: deeper levels may move the vectors
{
    if (step.cost >= bestCost_)  // a cheaper walk was found since this step was scored
        return;
    walk_.push_back(step.node);
    if (step.framesUsed >= settings_.horizonFrames) {
        bestCost_ = step.cost;
        best_ = walk_;
    } else if (scored_ < settings_.frameBudget) {
        if (stepsAtDepth_.size() <= depth)
            stepsAtDepth_.emplace_back();
        successors(step, stepsAtDepth_[depth]);
        // Indexed: deeper calls may grow stepsAtDepth_ and move its vectors.
        for (size_t k = 0; k < stepsAtDepth_[depth].size(); ++k)
            explore(stepsAtDepth_[depth][k], depth + 1);
    }
    walk_.pop_back();
}

} // namespace duolo
