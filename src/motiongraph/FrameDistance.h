#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace duolo {

class Group;
class Skeleton;

// Closeness of two poses of one group: P is the frame playback would leave, Q the frame it
// would enter. The measure is deliberately not symmetric and not guarded: a joint that stands
// still in either pose, or moves faster in Q than in P, or whose rounded cosine falls outside
// [-1, 1], makes the whole distance not a number, and every consumer treats that as "not close".

// Sum over P's joints of the Euclidean distance between corresponding positions.
double positionDistance(const Skeleton& p, const Skeleton& q);
// Sum over P's joints of acos(a.b / (|b||a|)) + sqrt(|a|^2 - |b|^2), a and b the velocities.
double velocityDistance(const Skeleton& p, const Skeleton& q);
// positionDistance + velocityDistance.
double frameDistance(const Skeleton& p, const Skeleton& q);

// Progress and cancellation for the long loops (the all-pairs maximum and the transition
// search). `progress` receives the fraction done (0..1) from the calling thread; `cancel`
// stops the work early when it becomes true.
struct LongRun {
    std::function<void(double)> progress;
    const std::atomic<bool>* cancel = nullptr;

    bool cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
    void report(double fraction) const { if (progress) progress(fraction); }
};

// Which implementation evaluates the distances. Both give the same answers; Exact is the
// straightforward pair-by-pair loop, kept for comparisons and tests.
enum class DistanceEngine { Fast, Exact };

// Sets the group's maxFrameDistance to the largest finite distance over every ordered pair
// of its normalised poses (i = j included); 0.0 when there is none. Returns false, leaving
// maxFrameDistance unchanged, when cancelled.
bool computeMaxFrameDistance(Group& group, DistanceEngine engine = DistanceEngine::Fast,
                             const LongRun& run = {});

} // namespace duolo
