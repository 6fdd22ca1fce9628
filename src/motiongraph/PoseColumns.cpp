#include "motiongraph/PoseColumns.h"

#include "skeleton/Skeleton.h"

#include <tbb/blocked_range.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <limits>
#include <thread>

namespace duolo {

namespace {

// Greedy order of the joints for the speed test, from a sample of frame pairs: first the joint
// that rules out the most sampled pairs, then the one that rules out the most of those left,
// and so on. Joints that rule out none of the sample keep their own order at the end.
std::vector<int32_t> speedTestOrder(const std::vector<double>& sq, const std::vector<uint8_t>& still,
                                    int32_t frames, int32_t joints)
{
    std::vector<int32_t> order;
    std::vector<int32_t> moving;
    for (int32_t f = 0; f < frames; ++f)
        if (!still[f])
            moving.push_back(f);
    std::vector<std::pair<int32_t, int32_t>> pairs;
    if (moving.size() >= 2) {
        uint64_t state = 0x9E3779B97F4A7C15ull;  // fixed: the order must not vary between runs
        const size_t sample = std::min<size_t>(4096, moving.size() * moving.size());
        for (size_t s = 0; s < sample; ++s) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            const auto a = moving[(state >> 33) % moving.size()];
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            const auto b = moving[(state >> 33) % moving.size()];
            pairs.emplace_back(a, b);
        }
    }
    const size_t n = static_cast<size_t>(frames);
    std::vector<bool> used(joints, false);
    while (!pairs.empty()) {
        int32_t best = -1;
        size_t bestFails = 0;
        for (int32_t k = 0; k < joints; ++k) {
            if (used[k])
                continue;
            size_t fails = 0;
            for (const auto& [i, j] : pairs)
                fails += !(sq[k * n + j] <= sq[k * n + i]);
            if (fails > bestFails) {
                bestFails = fails;
                best = k;
            }
        }
        if (best < 0)
            break;
        used[best] = true;
        order.push_back(best);
        std::erase_if(pairs, [&](const auto& p) { return !(sq[best * n + p.second] <= sq[best * n + p.first]); });
    }
    for (int32_t k = 0; k < joints; ++k)
        if (!used[k])
            order.push_back(k);
    return order;
}

} // namespace

bool PoseColumns::build(const std::vector<Skeleton>& poses, int32_t frameCount)
{
    frames = std::max<int32_t>(0, std::min<int32_t>(frameCount, static_cast<int32_t>(poses.size())));
    joints = frames > 0 ? poses[0].jointCount() : 0;
    for (int32_t f = 0; f < frames; ++f)
        if (poses[f].jointCount() != joints)
            return false;

    const size_t n = static_cast<size_t>(frames);
    std::vector<double> bySpeed(n * joints, 0.0);
    records.assign(n * joints * FieldCount, 0.0);
    stillJoint.assign(n, 0);
    for (int32_t f = 0; f < frames; ++f) {
        for (int32_t k = 0; k < joints; ++k) {
            const Marker& m = poses[f].joints[k];
            const Vec3& v = m.velocity;
            // Rounded exactly as the distance rounds them: |v| first, then |v| * |v|.
            const double speed = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
            const double sq = speed * speed;
            double* r = records.data() + (static_cast<size_t>(f) * joints + k) * FieldCount;
            r[Px] = m.position.x; r[Py] = m.position.y; r[Pz] = m.position.z;
            r[Vx] = v.x; r[Vy] = v.y; r[Vz] = v.z;
            r[Speed] = speed;
            r[SpeedSq] = sq;
            bySpeed[static_cast<size_t>(k) * n + f] = sq;
            if (speed == 0.0)
                stillJoint[f] = 1;
        }
    }

    // pi rounded up, and a relative margin far above the rounding of a sum of 2 x joints terms.
    const double piAbove = std::nextafter(3.141592653589793, 4.0);
    velocityReach.assign(n, 0.0);
    for (int32_t f = 0; f < frames; ++f) {
        double speeds = 0.0;
        for (int32_t k = 0; k < joints; ++k)
            speeds += records[(static_cast<size_t>(f) * joints + k) * FieldCount + Speed];
        velocityReach[f] = (joints * piAbove + speeds) * (1.0 + 1e-9);
    }

    buildPivots();

    testOrder = speedTestOrder(bySpeed, stillJoint, frames, joints);
    speedSq.assign(n * joints, 0.0);
    for (int32_t c = 0; c < joints; ++c)
        std::copy_n(bySpeed.begin() + static_cast<size_t>(testOrder[c]) * n, n, speedSq.begin() + c * n);
    gate.assign(n, std::numeric_limits<double>::quiet_NaN());
    for (size_t f = 0; f < n; ++f)
        if (!stillJoint[f] && joints > 0)
            gate[f] = speedSq[f];
    buildRounded();
    return true;
}

void PoseColumns::buildRounded()
{
    auto round = [](const std::vector<double>& from, std::vector<float>& to) {
        to.resize(from.size());
        std::transform(from.begin(), from.end(), to.begin(), [](double v) { return static_cast<float>(v); });
    };
    round(pivotColumns, roundedPivotColumns);
    round(pivotReachColumns, roundedPivotReachColumns);

    {
        const size_t n = static_cast<size_t>(frames);
        speedRanks.assign(speedSq.size(), kNoRank);
        tbb::parallel_for(0, joints, [&](int32_t k) {
            const double* column = speedSq.data() + static_cast<size_t>(k) * n;
            std::vector<int32_t> order;
            order.reserve(n);
            for (size_t f = 0; f < n; ++f)
                if (!std::isnan(column[f]))
                    order.push_back(static_cast<int32_t>(f));
            std::sort(order.begin(), order.end(), [&](int32_t a, int32_t b) { return column[a] < column[b]; });
            int32_t rank = 0;
            for (size_t s = 0; s < order.size(); ++s) {
                if (s > 0 && column[order[s - 1]] < column[order[s]])
                    ++rank;
                speedRanks[static_cast<size_t>(k) * n + static_cast<size_t>(order[s])] = rank;
            }
        });
        gateRanks.assign(n, kNoRank);
        for (size_t f = 0; f < n; ++f)
            if (!stillJoint[f] && joints > 0)
                gateRanks[f] = speedRanks[f];
    }

    const size_t n = static_cast<size_t>(frames);
    paddedJoints = (joints + 15) / 16 * 16;
    const size_t stride = 3 * static_cast<size_t>(paddedJoints);
    roundedPositions.assign(n * stride, 0.0f);
    // Positions far beyond any capture volume could overflow the squares in single precision:
    // then there is no rounded pass at all.
    constexpr double kLargest = 1e15;
    double reach = 0.0;
    bool usable = joints > 0;
    for (size_t f = 0; f < n && usable; ++f)
        for (int32_t k = 0; k < joints; ++k)
            for (int32_t axis = 0; axis < 3; ++axis) {
                const double v = record(static_cast<int32_t>(f), k)[Px + axis];
                if (!(std::fabs(v) <= kLargest))
                    usable = false;
                reach = std::max(reach, std::fabs(v));
                roundedPositions[f * stride + static_cast<size_t>(axis * paddedJoints + k)] = static_cast<float>(v);
            }
    if (!usable) {
        roundedPositions.clear();
        roundedPositions.shrink_to_fit();
        positionRelativeSlack = positionAbsoluteSlack = std::numeric_limits<double>::infinity();
        return;
    }
    // With u = 2^-24: each rounded coordinate difference is within 4.02 u R of the exact one (R
    // the largest coordinate), so each joint's rounded distance vector within 7 u R; the squares,
    // their sum and the root add 3 u relative, and summing the joints at most (joints + 3) u
    // relative, whatever the order of the additions. The double sum is far closer to the exact
    // one than that. Twice all of it, plus room for squares that underflow in single precision.
    constexpr double u = 0x1p-24;
    positionRelativeSlack = 2.0 * (joints + 8) * u;
    positionAbsoluteSlack = 2.0 * joints * (8.0 * u * reach + 1e-18);
}

bool PoseColumns::matches(const std::vector<Skeleton>& poses, int32_t frameCount) const
{
    const int32_t n = std::max<int32_t>(0, std::min<int32_t>(frameCount, static_cast<int32_t>(poses.size())));
    if (n != frames)
        return false;
    for (int32_t f = 0; f < n; ++f)
        if (poses[f].jointCount() != joints)
            return false;
    auto same = [](double a, double b) { return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b); };
    std::atomic<bool> equal{true};
    tbb::parallel_for(tbb::blocked_range<int32_t>(0, n, 1024), [&](const tbb::blocked_range<int32_t>& r) {
        for (int32_t f = r.begin(); f != r.end() && equal.load(std::memory_order_relaxed); ++f)
            for (int32_t k = 0; k < joints; ++k) {
                const Marker& m = poses[f].joints[k];
                const double* rec = record(f, k);
                if (!same(rec[Px], m.position.x) || !same(rec[Py], m.position.y) || !same(rec[Pz], m.position.z) ||
                    !same(rec[Vx], m.velocity.x) || !same(rec[Vy], m.velocity.y) || !same(rec[Vz], m.velocity.z)) {
                    equal = false;
                    return;
                }
            }
    });
    return equal;
}

void PoseColumns::sourceRanks(int32_t i, std::vector<int32_t>& ranks) const
{
    ranks.clear();
    if (speedRanks.empty())
        return;
    const size_t n = static_cast<size_t>(frames);
    ranks.resize(static_cast<size_t>(joints));
    for (int32_t k = 0; k < joints; ++k) {
        const int32_t r = speedRanks[static_cast<size_t>(k) * n + static_cast<size_t>(i)];
        ranks[static_cast<size_t>(k)] = r == kNoRank ? -1 : r;  // not a number: no target passes
    }
}

void PoseColumns::buildPivots()
{
    constexpr int32_t kPivots = 8;
    constexpr int32_t kLeastFrames = 64;  // below this the columns cost more than they save
    pivots = 0;
    pivotColumns.clear();
    pivotReachColumns.clear();
    pivotAngleColumns.clear();
    speedReach.clear();
    speedSquares.clear();
    pivotSlack = 0.0;
    if (frames < kLeastFrames || joints == 0)
        return;
    const size_t n = static_cast<size_t>(frames);
    auto positionTerm = [&](int32_t f, int32_t pivot) {
        double sum = 0.0;
        for (int32_t k = 0; k < joints; ++k) {
            const double* a = record(f, k);
            const double* b = record(pivot, k);
            const double dx = a[Px] - b[Px], dy = a[Py] - b[Py], dz = a[Pz] - b[Pz];
            sum += std::sqrt(dx * dx + dy * dy + dz * dz);
        }
        return sum;
    };
    // The angles themselves, the cosine held inside [-1, 1]; a frame with a still joint never
    // takes part in a pair with a number for a distance, so its sum is left at 0.
    auto angleSum = [&](int32_t f, int32_t pivot) {
        if (stillJoint[static_cast<size_t>(f)])
            return 0.0;
        double sum = 0.0;
        for (int32_t k = 0; k < joints; ++k) {
            const double* a = record(f, k);
            const double* b = record(pivot, k);
            const double dot = a[Vx] * b[Vx] + a[Vy] * b[Vy] + a[Vz] * b[Vz];
            sum += std::acos(std::clamp(dot / (a[Speed] * b[Speed]), -1.0, 1.0));
        }
        return sum;
    };
    // Pivots are frames without a still joint (their directions are defined), chosen farthest
    // first: each is the frame farthest from the pivots already chosen.
    int32_t pivot = -1;
    for (int32_t f = 0; f < frames && pivot < 0; ++f)
        if (!stillJoint[static_cast<size_t>(f)])
            pivot = f;
    if (pivot < 0)
        return;
    std::vector<double> nearest(n, std::numeric_limits<double>::infinity());
    std::vector<double> position(n * kPivots), reach(n * kPivots), angle(n * kPivots);
    double largest = 0.0;
    for (int32_t p = 0; p < kPivots; ++p) {
        double* a = position.data() + static_cast<size_t>(p) * n;
        double* b = reach.data() + static_cast<size_t>(p) * n;
        double* t = angle.data() + static_cast<size_t>(p) * n;
        tbb::parallel_for(tbb::blocked_range<int32_t>(0, frames, 256), [&](const tbb::blocked_range<int32_t>& r) {
            for (int32_t f = r.begin(); f != r.end(); ++f) {
                a[f] = positionTerm(f, pivot);
                t[f] = angleSum(f, pivot);
                b[f] = a[f] + t[f];
            }
        });
        int32_t farthest = pivot;
        for (int32_t f = 0; f < frames; ++f) {
            if (!std::isfinite(b[f]))
                return;  // positions or speeds that are not finite: no bounds
            largest = std::max(largest, b[f]);
            nearest[f] = std::min(nearest[f], a[f]);
            if (!stillJoint[static_cast<size_t>(f)] && nearest[f] > nearest[farthest])
                farthest = f;
        }
        pivot = farthest;
    }
    speedReach.assign(n, 0.0);
    speedSquares.assign(n, 0.0);
    for (int32_t f = 0; f < frames; ++f) {
        double speeds = 0.0, squares = 0.0;
        for (int32_t k = 0; k < joints; ++k) {
            speeds += record(f, k)[Speed];
            squares += record(f, k)[SpeedSq];
        }
        speedReach[f] = speeds * (1.0 + 1e-9);
        speedSquares[f] = squares;
    }
    pivots = kPivots;
    pivotColumns = std::move(position);
    pivotReachColumns = std::move(reach);
    pivotAngleColumns = std::move(angle);
    // The sums carry a few units in the last place per joint, and an angle computed from a
    // rounded cosine near 1 or -1 can be off by about 1.5e-8 radians: far more than both.
    pivotSlack = 1e-9 * (largest + 1.0) + 1e-7 * joints;
}

bool PoseColumns::beginRow(int32_t i, int32_t begin, int32_t end, double* out, std::vector<double>& sourceSq) const
{
    if (out)
        std::fill(out, out + (end - begin), std::numeric_limits<double>::quiet_NaN());
    if (stillJoint[static_cast<size_t>(i)])
        return false;
    const size_t n = static_cast<size_t>(frames);
    sourceSq.resize(static_cast<size_t>(joints));
    for (int32_t k = 0; k < joints; ++k)
        sourceSq[static_cast<size_t>(k)] = speedSq[static_cast<size_t>(k) * n + static_cast<size_t>(i)];
    return true;
}

double PoseColumns::exactDistance(int32_t i, int32_t j) const
{
    double position = 0.0;
    for (int32_t k = 0; k < joints; ++k) {
        const double* a = record(i, k);
        const double* b = record(j, k);
        const double dx = a[Px] - b[Px];
        const double dy = a[Py] - b[Py];
        const double dz = a[Pz] - b[Pz];
        position += std::sqrt(dx * dx + dy * dy + dz * dz);
    }
    double velocity = 0.0;
    for (int32_t k = 0; k < joints; ++k) {
        const double* a = record(i, k);
        const double* b = record(j, k);
        const double dot = a[Vx] * b[Vx] + a[Vy] * b[Vy] + a[Vz] * b[Vz];
        const double angle = std::acos(dot / (b[Speed] * a[Speed]));
        const double magnitude = std::sqrt(a[SpeedSq] - b[SpeedSq]);
        velocity += angle + magnitude;
    }
    return position + velocity;
}

namespace detail {

namespace {

void survivorsGeneric(const PoseColumns& c, const double* sourceSq, const PivotWindow& window, int32_t begin,
                      int32_t end, std::vector<int32_t>& survivors)
{
    const size_t n = static_cast<size_t>(c.frames);
    survivors.clear();
    for (int32_t j = begin; j < end; ++j) {
        bool possible = !c.stillJoint[j];
        for (int32_t k = 0; possible && k < c.joints; ++k)
            possible = c.speedSq[k * n + j] <= sourceSq[k];
        for (int32_t p = 0; possible && p < window.count; ++p) {
            const double a = window.columns[p * n + j];
            possible = window.lower[p] <= a && a <= window.upper[p];
        }
        if (possible)
            survivors.push_back(j);
    }
}

void positionsGeneric(const double* rec, int32_t m, int32_t i, const int32_t* targets, size_t count, double* out)
{
    const size_t stride = static_cast<size_t>(m) * PoseColumns::FieldCount;
    for (size_t s = 0; s < count; ++s) {
        const double* a = rec + static_cast<size_t>(i) * stride;
        const double* b = rec + static_cast<size_t>(targets[s]) * stride;
        double position = 0.0;
        for (int32_t k = 0; k < m; ++k, a += PoseColumns::FieldCount, b += PoseColumns::FieldCount) {
            const double dx = a[PoseColumns::Px] - b[PoseColumns::Px];
            const double dy = a[PoseColumns::Py] - b[PoseColumns::Py];
            const double dz = a[PoseColumns::Pz] - b[PoseColumns::Pz];
            position += std::sqrt(dx * dx + dy * dy + dz * dz);
        }
        out[s] = position;
    }
}

void velocitiesGeneric(const double* rec, int32_t m, int32_t i, const int32_t* targets, size_t count, double* out)
{
    const size_t stride = static_cast<size_t>(m) * PoseColumns::FieldCount;
    for (size_t s = 0; s < count; ++s) {
        const double* a = rec + static_cast<size_t>(i) * stride;
        const double* b = rec + static_cast<size_t>(targets[s]) * stride;
        double velocity = 0.0;
        for (int32_t k = 0; k < m; ++k, a += PoseColumns::FieldCount, b += PoseColumns::FieldCount) {
            const double dot = a[PoseColumns::Vx] * b[PoseColumns::Vx] + a[PoseColumns::Vy] * b[PoseColumns::Vy] +
                               a[PoseColumns::Vz] * b[PoseColumns::Vz];
            const double angle = std::acos(dot / (b[PoseColumns::Speed] * a[PoseColumns::Speed]));
            const double magnitude = std::sqrt(a[PoseColumns::SpeedSq] - b[PoseColumns::SpeedSq]);
            velocity += angle + magnitude;
        }
        out[s] = velocity;
    }
}

// The joints in their own order, in single precision.
void roundedPositionsGeneric(const PoseColumns& c, int32_t i, const int32_t* targets, size_t count, float* out)
{
    const size_t stride = 3 * static_cast<size_t>(c.paddedJoints);
    const size_t pj = static_cast<size_t>(c.paddedJoints);
    const float* a = c.roundedPositions.data() + static_cast<size_t>(i) * stride;
    for (size_t s = 0; s < count; ++s) {
        const float* b = c.roundedPositions.data() + static_cast<size_t>(targets[s]) * stride;
        float sum = 0.0f;
        for (size_t k = 0; k < static_cast<size_t>(c.joints); ++k) {
            const float dx = a[k] - b[k], dy = a[pj + k] - b[pj + k], dz = a[2 * pj + k] - b[2 * pj + k];
            sum += std::sqrt(dx * dx + dy * dy + dz * dz);
        }
        out[s] = sum;
    }
}

} // namespace

const RowKernels& genericKernels()
{
    static const RowKernels kernels{"generic", survivorsGeneric, positionsGeneric, velocitiesGeneric, nullptr,
                                    roundedPositionsGeneric};
    return kernels;
}

// The speed test, then the position terms of the survivors, then the velocity terms of those
// the limits keep; the two sums are added last, as the definition adds them. Where limits can
// rule pairs out, a rounded position term first rules out those that are past them even at
// the far end of its error, so the double terms are computed only for the rest.
void sparseDistanceRowWith(const RowKernels& kernels, const PoseColumns& c, int32_t i, int32_t begin, int32_t end,
                           SparseRow& out, const RowLimits& limits)
{
    thread_local std::vector<double> sourceSq;
    thread_local std::vector<int32_t> ranks;
    thread_local std::vector<float> rounded;
    thread_local std::vector<int32_t> survivors;
    thread_local std::vector<double> positions, velocities;
    out.targets.clear();
    out.distances.clear();
    if (begin >= end || !c.beginRow(i, begin, end, nullptr, sourceSq))
        return;
    // The pivot window: for the search, |A_i - A_j| may not pass the limit (a lower bound of the
    // position term); for the largest distance, A_i + A_j plus the velocity reach must reach it.
    thread_local std::vector<double> lower, upper;
    thread_local std::vector<float> roundedLower, roundedUpper;
    PivotWindow window;
    const bool bounded = limits.below > -std::numeric_limits<double>::infinity();
    const bool capped = limits.above < std::numeric_limits<double>::infinity();
    // (The ranked test applies the window on the rounded columns only.)
    const bool ranked = kernels.rankedSurvivors && !c.speedRanks.empty() &&
                        (c.pivots == 0 || !c.roundedPivotColumns.empty());
    if (c.pivots > 0 && (bounded || capped)) {
        const size_t n = static_cast<size_t>(c.frames);
        lower.assign(static_cast<size_t>(c.pivots), -std::numeric_limits<double>::infinity());
        upper.assign(static_cast<size_t>(c.pivots), std::numeric_limits<double>::infinity());
        // One kind of column per row: the search's when there is a threshold.
        const std::vector<double>& columns = capped ? c.pivotColumns : c.pivotReachColumns;
        for (int32_t p = 0; p < c.pivots; ++p) {
            const double a = columns[p * n + static_cast<size_t>(i)];
            if (capped) {
                const double reach = limits.above + c.pivotSlack + 1e-9 * std::fabs(limits.above);
                lower[p] = a - reach;
                upper[p] = a + reach;
            } else {
                lower[p] = limits.below * (1.0 - 1e-9) - a - c.speedReach[static_cast<size_t>(i)] - c.pivotSlack -
                           1e-9 * std::fabs(limits.below);
            }
        }
        // A window that is not a number anywhere rules nothing out.
        if (std::all_of(lower.begin(), lower.end(), [](double v) { return !std::isnan(v); }) &&
            std::all_of(upper.begin(), upper.end(), [](double v) { return !std::isnan(v); })) {
            window = {c.pivots, columns.data(), lower.data(), upper.data()};
            const std::vector<float>& roundedColumns = capped ? c.roundedPivotColumns : c.roundedPivotReachColumns;
            if (ranked) {
                // Rounding keeps order, so a column inside the window stays inside the rounded one.
                auto toFloat = [](double v) { return static_cast<float>(v); };
                roundedLower.resize(lower.size());
                roundedUpper.resize(upper.size());
                std::transform(lower.begin(), lower.end(), roundedLower.begin(), toFloat);
                std::transform(upper.begin(), upper.end(), roundedUpper.begin(), toFloat);
                window.roundedColumns = roundedColumns.data();
                window.roundedLower = roundedLower.data();
                window.roundedUpper = roundedUpper.data();
            }
        }
    }
    if (ranked) {
        c.sourceRanks(i, ranks);
        kernels.rankedSurvivors(c, ranks.data(), window, begin, end, survivors);
    } else {
        kernels.survivors(c, sourceSq.data(), window, begin, end, survivors);
    }
    if (survivors.empty())
        return;

    // Whether a pair whose position term lies in [low, high] is certain to be past the limits.
    // The velocity term is at most velocityReach, and, with pivots, at most the smallest
    // T_i + T_j over the pivot angle columns (plus slack) plus the source's speed sum.
    const size_t n = static_cast<size_t>(c.frames);
    const double reach = bounded ? c.velocityReach[static_cast<size_t>(i)] : 0.0;
    const bool angles = c.pivots > 0;
    const double speeds = angles && bounded ? c.speedReach[static_cast<size_t>(i)] + c.pivotSlack : 0.0;
    auto pastLimits = [&](int32_t target, double low, double high) {
        // Neither test holds for a position that is not a number: such pairs are evaluated.
        if (low > limits.above)
            return true;
        const size_t j = static_cast<size_t>(target);
        if (capped && angles) {
            // The velocity term is at least the largest |T_i - T_j| (reverse triangle inequality
            // of angles) plus sqrt(Q_i - Q_j), Q the sum of squared speeds (a sum of square
            // roots is at least the root of the sum).
            double turn = 0.0;
            for (int32_t p = 0; p < c.pivots; ++p)
                turn = std::max(turn, std::fabs(c.pivotAngleColumns[p * n + static_cast<size_t>(i)] -
                                                c.pivotAngleColumns[p * n + j]));
            const double gap = c.speedSquares[static_cast<size_t>(i)] - c.speedSquares[j] -
                               1e-12 * (c.speedSquares[static_cast<size_t>(i)] + c.speedSquares[j]);
            const double magnitude = gap > 0.0 ? std::sqrt(gap) : 0.0;
            if (low + (turn + magnitude) * (1.0 - 1e-9) - c.pivotSlack > limits.above)
                return true;
        }
        if (bounded) {
            double velocity = reach;
            if (angles) {
                double turn = std::numeric_limits<double>::infinity();
                for (int32_t p = 0; p < c.pivots; ++p)
                    turn = std::min(turn, c.pivotAngleColumns[p * n + static_cast<size_t>(i)] +
                                              c.pivotAngleColumns[p * n + j]);
                velocity = std::min(velocity, (turn + speeds) * (1.0 + 1e-9));
            }
            if ((high + velocity) * (1.0 + 1e-12) < limits.below)
                return true;
        }
        return false;
    };

    if ((capped || bounded) && !c.roundedPositions.empty()) {
        rounded.resize(survivors.size());
        kernels.roundedPositions(c, i, survivors.data(), survivors.size(), rounded.data());
        size_t left = 0;
        for (size_t s = 0; s < survivors.size(); ++s) {
            const double value = rounded[s];
            const double slack = c.roundedPositionSlack(value);
            if (!pastLimits(survivors[s], value - slack, value + slack))
                survivors[left++] = survivors[s];
        }
        survivors.resize(left);
        if (survivors.empty())
            return;
    }

    positions.resize(survivors.size());
    kernels.positions(c.records.data(), c.joints, i, survivors.data(), survivors.size(), positions.data());
    std::vector<int32_t>& kept = out.targets;
    std::vector<double>& sums = out.distances;
    for (size_t s = 0; s < survivors.size(); ++s) {
        if (pastLimits(survivors[s], positions[s], positions[s]))
            continue;
        kept.push_back(survivors[s]);
        sums.push_back(positions[s]);
    }
    velocities.resize(kept.size());
    kernels.velocities(c.records.data(), c.joints, i, kept.data(), kept.size(), velocities.data());
    for (size_t s = 0; s < kept.size(); ++s)
        sums[s] += velocities[s];
}

void distanceRowWith(const RowKernels& kernels, const PoseColumns& c, int32_t i, int32_t begin, int32_t end,
                     double* out, const RowLimits& limits)
{
    thread_local SparseRow row;
    std::fill(out, out + std::max(0, end - begin), std::numeric_limits<double>::quiet_NaN());
    sparseDistanceRowWith(kernels, c, i, begin, end, row, limits);
    for (size_t s = 0; s < row.targets.size(); ++s)
        out[row.targets[s] - begin] = row.distances[s];
}

void distanceRowGeneric(const PoseColumns& c, int32_t i, int32_t begin, int32_t end, double* out)
{
    distanceRowWith(genericKernels(), c, i, begin, end, out);
}

void distanceRowAvx2(const PoseColumns& c, int32_t i, int32_t begin, int32_t end, double* out)
{
    distanceRowWith(avx2Kernels(), c, i, begin, end, out);
}

void distanceRowAvx512(const PoseColumns& c, int32_t i, int32_t begin, int32_t end, double* out)
{
    distanceRowWith(avx512Kernels(), c, i, begin, end, out);
}

} // namespace detail

namespace {

const detail::RowKernels& chooseKernels()
{
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq"))
        return detail::avx512Kernels();
    if (__builtin_cpu_supports("avx2"))
        return detail::avx2Kernels();
    return detail::genericKernels();
}

const detail::RowKernels& rowKernels()
{
    static const detail::RowKernels& chosen = chooseKernels();
    return chosen;
}

} // namespace

void distanceRow(const PoseColumns& columns, int32_t source, int32_t begin, int32_t end, double* out,
                 const RowLimits& limits)
{
    // With no joints there is nothing to vectorise: every distance is 0.
    detail::distanceRowWith(columns.joints == 0 ? detail::genericKernels() : rowKernels(), columns, source, begin,
                            end, out, limits);
}

void sparseDistanceRow(const PoseColumns& columns, int32_t source, int32_t begin, int32_t end, SparseRow& out,
                       const RowLimits& limits)
{
    detail::sparseDistanceRowWith(columns.joints == 0 ? detail::genericKernels() : rowKernels(), columns, source,
                                  begin, end, out, limits);
}

void positionRow(const PoseColumns& columns, int32_t source, int32_t begin, int32_t end, double* out)
{
    thread_local std::vector<int32_t> targets;
    if (begin >= end)
        return;
    targets.resize(static_cast<size_t>(end - begin));
    for (int32_t j = begin; j < end; ++j)
        targets[static_cast<size_t>(j - begin)] = j;
    const detail::RowKernels& kernels = columns.joints == 0 ? detail::genericKernels() : rowKernels();
    kernels.positions(columns.records.data(), columns.joints, source, targets.data(), targets.size(), out);
}

const char* distanceRowIsa() { return rowKernels().name; }

bool maxDistanceFast(const PoseColumns& c, const LongRun& run, double& result)
{
    const int32_t n = c.frames;
    result = 0.0;
    if (n == 0)
        return !run.cancelled();

    // Tiles of a few source rows against a block of target columns: the target block's squared
    // speeds stay in cache while every row of the tile is tested against them.
    constexpr int32_t kRows = 8;
    constexpr int32_t kColumns = 2048;
    // The row kernels agree with the straightforward evaluation only to a few units in the last
    // place, so every pair within a hair of the largest fast value is kept and evaluated exactly
    // at the end: a near tie between two pairs can never pick the wrong winner.
    constexpr double kNear = 1e-9;
    constexpr size_t kMostNear = size_t{1} << 16;
    struct NearPair {
        double value;
        int32_t i;
        int32_t j;
    };
    struct Best {
        double value = 0.0;
        std::vector<NearPair> near;
        SparseRow row;
        void consider(double d, int32_t i, int32_t j)
        {
            if (!(d > 0.0) || d < value * (1.0 - kNear))
                return;
            if (d > value)
                value = d;
            else if (near.size() >= kMostNear)
                return;  // a take of many exactly equal distances: the first ones stand for the rest
            near.push_back({d, i, j});
            if (near.size() >= kMostNear)
                std::erase_if(near, [&](const NearPair& p) { return p.value < value * (1.0 - kNear); });
        }
    };
    tbb::enumerable_thread_specific<Best> best;
    // The largest distance found so far by any thread: pairs that cannot reach it are left out
    // (the pair that reaches the final largest distance never is, so the result is the same).
    // A few rows spread over the take raise it first, so that the pruning starts early.
    std::atomic<double> bestSoFar{0.0};
    auto raise = [&](double value) {
        double current = bestSoFar.load(std::memory_order_relaxed);
        while (value > current && !bestSoFar.compare_exchange_weak(current, value, std::memory_order_relaxed)) {
        }
    };
    constexpr int32_t kSeedRows = 16;
    tbb::parallel_for(0, std::min(n, kSeedRows), [&](int32_t s) {
        std::vector<double> row(static_cast<size_t>(n));
        const int32_t i = static_cast<int32_t>((2 * static_cast<int64_t>(s) + 1) * n / (2 * kSeedRows));
        distanceRow(c, i, 0, n, row.data());
        double top = 0.0;
        for (double d : row)
            if (d > top)
                top = d;
        raise(top);
    });
    std::atomic<int64_t> rowsDone{0};
    std::atomic<bool> stopped{false};
    const auto caller = std::this_thread::get_id();
    const int32_t tiles = (n + kRows - 1) / kRows;

    tbb::parallel_for(tbb::blocked_range<int32_t>(0, tiles, 1), [&](const tbb::blocked_range<int32_t>& range) {
        Best& mine = best.local();
        for (int32_t t = range.begin(); t != range.end(); ++t) {
            if (stopped.load(std::memory_order_relaxed) || run.cancelled()) {
                stopped = true;
                return;
            }
            const int32_t i0 = t * kRows;
            const int32_t i1 = std::min(n, i0 + kRows);
            for (int32_t j0 = 0; j0 < n; j0 += kColumns) {
                const int32_t j1 = std::min(n, j0 + kColumns);
                for (int32_t i = i0; i < i1; ++i) {
                    RowLimits limits;
                    limits.below = bestSoFar.load(std::memory_order_relaxed) * (1.0 - kNear);
                    sparseDistanceRow(c, i, j0, j1, mine.row, limits);
                    for (size_t s = 0; s < mine.row.targets.size(); ++s)
                        mine.consider(mine.row.distances[s], i, mine.row.targets[s]);
                    raise(mine.value);
                }
            }
            const int64_t done = rowsDone += (i1 - i0);
            if (run.progress && std::this_thread::get_id() == caller)
                run.report(static_cast<double>(done) / n);
        }
    });
    if (stopped || run.cancelled())
        return false;

    double value = 0.0;
    for (const Best& b : best)
        value = std::max(value, b.value);
    // Report the largest distance as the straightforward evaluation rounds it, over every pair
    // that came close enough to be the winner there.
    for (const Best& b : best)
        for (const NearPair& p : b.near)
            if (p.value >= value * (1.0 - kNear)) {
                const double exact = c.exactDistance(p.i, p.j);
                result = std::max(result, exact > 0.0 ? exact : p.value);
            }
    run.report(1.0);
    return true;
}

} // namespace duolo
