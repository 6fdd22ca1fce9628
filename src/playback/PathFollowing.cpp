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
    }
}

void PathFollower::moveRootTo(double x, double z)
{
    if (started_)
        travelled_ += std::hypot(x - lastX_, z - lastZ_);
    started_ = true;
    lastX_ = x;
    lastZ_ = z;
}

Graph2DNode* PathFollower::choose(const Group& group, std::span<const TransitionCandidate> allowed)
{
    if (allowed.empty() || rootX_.empty())
        return nullptr;
    const Graph2DNode& from = *group.currentNode;
    const auto frame = [this](int32_t f) { return static_cast<size_t>(std::clamp<int32_t>(f, 0, int32_t(rootX_.size()) - 1)); };
    // The root where the ending clip leaves it: the next clip starts there.
    const size_t end = frame(from.endFrame);
    moveRootTo(rootX_[end] + group.positionOffset.x, rootZ_[end] + group.positionOffset.z);

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
    std::vector<Graph2DNode*> walk =
        search(from, group.positionOffset.x, group.positionOffset.z, travelled_, lastX_, lastZ_, first);
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

std::vector<Graph2DNode*> PathFollower::search(const Graph2DNode& from, double ox, double oz, double arc, double lastX,
                                               double lastZ, std::span<Graph2DNode* const> first)
{
    walk_.clear();
    best_.clear();
    bestCost_ = std::numeric_limits<double>::infinity();
    scored_ = 0;
    const auto frame = [this](int32_t f) { return static_cast<size_t>(std::clamp<int32_t>(f, 0, int32_t(rootX_.size()) - 1)); };
    const size_t end = frame(from.endFrame);
    for (Graph2DNode* node : first) {
        const size_t start = frame(node->startFrame);
        explore(node, ox + rootX_[end] - rootX_[start], oz + rootZ_[end] - rootZ_[start], arc, lastX, lastZ, 0, 0.0);
    }
    return best_;
}

void PathFollower::explore(Graph2DNode* node, double ox, double oz, double arc, double lastX, double lastZ,
                           int32_t framesUsed, double cost)
{
    const int32_t last = static_cast<int32_t>(rootX_.size()) - 1;
    walk_.push_back(node);
    for (int32_t f = node->startFrame; f <= node->endFrame && framesUsed < settings_.horizonFrames; ++f) {
        const size_t i = static_cast<size_t>(std::clamp(f, 0, last));
        const double x = rootX_[i] + ox, z = rootZ_[i] + oz;
        arc += std::hypot(x - lastX, z - lastZ);
        lastX = x;
        lastZ = z;
        const FloorPath::Point p = path_.at(arc);
        cost += (x - p.x) * (x - p.x) + (z - p.z) * (z - p.z);
        ++framesUsed;
        ++scored_;
        if (cost >= bestCost_) {  // a longer walk only adds to its cost
            walk_.pop_back();
            return;
        }
    }
    if (framesUsed >= settings_.horizonFrames) {
        bestCost_ = cost;
        best_ = walk_;
        walk_.pop_back();
        return;
    }
    if (scored_ < settings_.frameBudget) {
        const size_t end = static_cast<size_t>(std::clamp(node->endFrame, 0, last));
        for (Graph2DEdge* edge : node->incidentEdges) {
            if (edge->from != node || !edge->to)
                continue;
            const size_t start = static_cast<size_t>(std::clamp(edge->to->startFrame, 0, last));
            explore(edge->to, ox + rootX_[end] - rootX_[start], oz + rootZ_[end] - rootZ_[start], arc, lastX, lastZ,
                    framesUsed, cost);
        }
    }
    walk_.pop_back();
}

} // namespace duolo
