#include "motiongraph/FrameDistance.h"

#include "motiongraph/PoseColumns.h"
#include "motiongraph/PoseColumnsCache.h"
#include "skeleton/Group.h"
#include "skeleton/Skeleton.h"

#include <algorithm>
#include <cmath>

namespace duolo {

namespace {

int32_t commonJointCount(const Skeleton& p, const Skeleton& q)
{
    return std::min(p.jointCount(), q.jointCount());
}

} // namespace

double positionDistance(const Skeleton& p, const Skeleton& q)
{
    double sum = 0.0;
    const int32_t m = commonJointCount(p, q);
    for (int32_t k = 0; k < m; ++k) {
        const Vec3& a = p.joints[k].position;
        const Vec3& b = q.joints[k].position;
        const double dx = a.x - b.x;
        const double dy = a.y - b.y;
        const double dz = a.z - b.z;
        sum += std::sqrt(dx * dx + dy * dy + dz * dz);
    }
    return sum;
}

double velocityDistance(const Skeleton& p, const Skeleton& q)
{
    double sum = 0.0;
    const int32_t m = commonJointCount(p, q);
    for (int32_t k = 0; k < m; ++k) {
        const Vec3& a = p.joints[k].velocity;
        const Vec3& b = q.joints[k].velocity;
        const double na = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
        const double nb = std::sqrt(b.x * b.x + b.y * b.y + b.z * b.z);
        // Neither the cosine nor the magnitude operand is clamped: a pose pair where a joint
        // stands still or speeds up is "not close" by way of a distance that is not a number.
        const double angle = std::acos((a.x * b.x + a.y * b.y + a.z * b.z) / (nb * na));
        const double magnitude = std::sqrt(na * na - nb * nb);
        sum += angle + magnitude;
    }
    return sum;
}

double frameDistance(const Skeleton& p, const Skeleton& q)
{
    return positionDistance(p, q) + velocityDistance(p, q);
}

bool computeMaxFrameDistance(Group& group, DistanceEngine engine, const LongRun& run)
{
    const int32_t n = std::min<int32_t>(group.frameCount, static_cast<int32_t>(group.normalisedPoses.size()));
    const auto& poses = group.normalisedPoses;

    if (engine == DistanceEngine::Fast) {
        if (const auto columns = PoseColumnsCache::shared().columnsFor(poses, n)) {
            double result = 0.0;
            if (!maxDistanceFast(*columns, run, result))
                return false;
            group.maxFrameDistance = result;
            return true;
        }
        // Poses of differing sizes: only the straightforward loop handles them.
    }

    double best = 0.0;
    for (int32_t i = 0; i < n; ++i) {
        if (run.cancelled())
            return false;
        for (int32_t j = 0; j < n; ++j) {
            const double d = frameDistance(poses[i], poses[j]);
            if (d > best)
                best = d;
        }
        run.report(static_cast<double>(i + 1) / n);
    }
    group.maxFrameDistance = best;
    return true;
}

} // namespace duolo
