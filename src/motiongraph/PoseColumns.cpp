#include "motiongraph/PoseColumns.h"

#include "skeleton/Skeleton.h"

#include <tbb/blocked_range.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <atomic>
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

    testOrder = speedTestOrder(bySpeed, stillJoint, frames, joints);
    speedSq.assign(n * joints, 0.0);
    for (int32_t c = 0; c < joints; ++c)
        std::copy_n(bySpeed.begin() + static_cast<size_t>(testOrder[c]) * n, n, speedSq.begin() + c * n);
    gate.assign(n, std::numeric_limits<double>::quiet_NaN());
    for (size_t f = 0; f < n; ++f)
        if (!stillJoint[f] && joints > 0)
            gate[f] = speedSq[f];
    return true;
}

bool PoseColumns::beginRow(int32_t i, int32_t begin, int32_t end, double* out, std::vector<double>& sourceSq) const
{
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

void distanceRowGeneric(const PoseColumns& c, int32_t i, int32_t begin, int32_t end, double* out)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const size_t n = static_cast<size_t>(c.frames);
    for (int32_t j = begin; j < end; ++j) {
        bool possible = !c.stillJoint[i] && !c.stillJoint[j];
        for (int32_t k = 0; possible && k < c.joints; ++k)
            possible = c.speedSq[k * n + j] <= c.speedSq[k * n + i];
        out[j - begin] = possible ? c.exactDistance(i, j) : nan;
    }
}

} // namespace detail

namespace {

using RowFunction = void (*)(const PoseColumns&, int32_t, int32_t, int32_t, double*);

struct RowDispatch {
    RowFunction function;
    const char* name;
};

RowDispatch chooseRowFunction()
{
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq"))
        return {detail::distanceRowAvx512, "avx512"};
    if (__builtin_cpu_supports("avx2"))
        return {detail::distanceRowAvx2, "avx2"};
    return {detail::distanceRowGeneric, "generic"};
}

const RowDispatch& rowDispatch()
{
    static const RowDispatch chosen = chooseRowFunction();
    return chosen;
}

} // namespace

void distanceRow(const PoseColumns& columns, int32_t source, int32_t begin, int32_t end, double* out)
{
    if (begin >= end)
        return;
    if (columns.joints == 0)  // nothing to vectorise: every distance is 0
        detail::distanceRowGeneric(columns, source, begin, end, out);
    else
        rowDispatch().function(columns, source, begin, end, out);
}

const char* distanceRowIsa() { return rowDispatch().name; }

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
    struct Best {
        double value = 0.0;
        int32_t i = -1;
        int32_t j = -1;
        std::vector<double> buffer;
    };
    tbb::enumerable_thread_specific<Best> best;
    std::atomic<int64_t> rowsDone{0};
    std::atomic<bool> stopped{false};
    const auto caller = std::this_thread::get_id();
    const int32_t tiles = (n + kRows - 1) / kRows;

    tbb::parallel_for(tbb::blocked_range<int32_t>(0, tiles, 1), [&](const tbb::blocked_range<int32_t>& range) {
        Best& mine = best.local();
        mine.buffer.resize(kColumns);
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
                    distanceRow(c, i, j0, j1, mine.buffer.data());
                    for (int32_t j = j0; j < j1; ++j) {
                        const double d = mine.buffer[j - j0];
                        if (d > mine.value) {
                            mine.value = d;
                            mine.i = i;
                            mine.j = j;
                        }
                    }
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
    int32_t bi = -1, bj = -1;
    for (const Best& b : best)
        if (b.value > value) {
            value = b.value;
            bi = b.i;
            bj = b.j;
        }
    // Report the winning pair's distance as the straightforward evaluation rounds it.
    if (bi >= 0) {
        const double exact = c.exactDistance(bi, bj);
        result = exact > 0.0 ? exact : value;
    }
    run.report(1.0);
    return true;
}

} // namespace duolo
