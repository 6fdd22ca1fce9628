#pragma once

#include "motiongraph/FrameDistance.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace duolo {

class Skeleton;

// A group's normalised poses rearranged for the all-pairs loops.
//
// Per-joint squared speeds are laid out joint by joint across frames so that the
// not-a-number test of many target frames is a few vector comparisons. The full terms of a
// joint in a frame are one 64-byte record (position, velocity, speed, squared speed) so that
// evaluating a surviving pair touches one cache line per joint.
//
// A pair (i, j) has a distance that is not a number whenever some joint stands still in either
// frame (the angle's quotient is 0/0) or is faster in j than in i (the magnitude's operand is
// negative). Speeds are rounded exactly as the distance rounds them, so the test is exact.
struct PoseColumns {
    int32_t frames = 0;
    int32_t joints = 0;
    // [column][frame]: |v| * |v| with |v| = sqrt(vx^2+vy^2+vz^2). Column c holds joint
    // testOrder[c]: the joints that rule out the most pairs come first, so that the test of a
    // block of targets usually ends after a few columns. (Only the test uses this order; the
    // sums run over the joints in their own order.)
    std::vector<double> speedSq;
    std::vector<int32_t> testOrder;
    // [frame]: column 0 of speedSq, or not a number for a frame with a still joint, which then
    // fails the first comparison as a target.
    std::vector<double> gate;
    std::vector<double> records;       // [frame][joint][8]: px py pz vx vy vz |v| |v|*|v|
    std::vector<uint8_t> stillJoint;   // [frame]: 1 when some joint has zero speed
    // [frame]: above the velocity term of any pair with this source that has a number for a
    // distance: each joint's angle is at most pi and its magnitude term at most the source's
    // speed, plus a margin far above the rounding of the sums.
    std::vector<double> velocityReach;
    // Bounds from eight pivot frames spread over the take (none when the take is short or some
    // position or speed is not finite). Column A of a pivot holds each frame's position term
    // from it, summed joint by joint as the distance sums it; column T its angle sum. By the
    // triangle inequality, joint by joint, the position term of (i, j) lies between
    // |A_i - A_j| and A_i + A_j, and the angle sum is at most T_i + T_j; each magnitude term is
    // at most the source's speed. So a row with limits rules out most pairs on these columns
    // alone: the search on |A_i - A_j|, the largest-distance pass on B_i + B_j + speed sum,
    // B = A + T; and after the position term, the search on |T_i - T_j| and the squared speeds,
    // the largest-distance pass on T_i + T_j.
    int32_t pivots = 0;
    std::vector<double> pivotColumns;       // [pivot][frame]: A
    std::vector<double> pivotReachColumns;  // [pivot][frame]: B
    std::vector<double> pivotAngleColumns;  // [pivot][frame]: T
    std::vector<double> speedReach;         // [frame]: the speed sum, rounded up
    std::vector<double> speedSquares;       // [frame]: the sum of squared speeds
    double pivotSlack = 0.0;  // covers the rounding of the columns and of the bounds made from them

    // The speed test on 32-bit numbers, sixteen to a vector: each squared speed replaced by its
    // rank among the distinct values of its column (values that compare equal share a rank), so
    // that comparing ranks is comparing the doubles, ties included. A value that is not a number
    // ranks above every source (fails as a target) and a source's ranks below every target.
    std::vector<int32_t> speedRanks;  // [column][frame], columns in test order
    std::vector<int32_t> gateRanks;   // [frame]: column 0, or kNoRank for a frame with a still joint
    static constexpr int32_t kNoRank = std::numeric_limits<int32_t>::max();
    // Single-precision copies of the pivot columns. Rounding to the nearest float keeps order
    // (a <= b gives f(a) <= f(b)), so a rounded column outside the rounded window proves the
    // column outside the window; the rounded window may keep a few more pairs, which the
    // double evaluation then decides.
    std::vector<float> roundedPivotColumns;       // pivotColumns rounded
    std::vector<float> roundedPivotReachColumns;  // pivotReachColumns rounded
    // [frame][axis][paddedJoints]: the positions rounded, each axis a run of joints padded with
    // zeros to a multiple of 16, so the position term of one pair is a few whole-vector steps.
    // Empty when some position is not finite or too large for single precision. The rounded
    // position term only rules pairs out (those past the limits even at the far end of its
    // error): every pair it keeps is evaluated in double precision as before, so no distance and
    // no decision changes.
    std::vector<float> roundedPositions;
    int32_t paddedJoints = 0;
    // The rounded position term of a pair is within roundedPositionSlack(value) of the double one.
    double positionRelativeSlack = 0.0;
    double positionAbsoluteSlack = 0.0;
    double roundedPositionSlack(double value) const
    {
        return positionRelativeSlack * std::fabs(value) + positionAbsoluteSlack;
    }

    enum Field { Px, Py, Pz, Vx, Vy, Vz, Speed, SpeedSq, FieldCount };

    // The first `frameCount` poses; false when they do not all have the same joint count.
    bool build(const std::vector<Skeleton>& poses, int32_t frameCount);
    void buildPivots();  // from the records
    void buildRounded();  // ranks and rounded copies, from the records and columns
    // Whether these columns were built from exactly these poses (every position and velocity
    // the same, bit for bit), so that they can stand in for a fresh build.
    bool matches(const std::vector<Skeleton>& poses, int32_t frameCount) const;

    const double* record(int32_t frame, int32_t joint) const
    {
        return records.data() + (static_cast<size_t>(frame) * joints + joint) * FieldCount;
    }
    // Starts a distance row of source frame i: fills out[0 .. end - begin), when given, with not a
    // number and, unless the source has a still joint (then every pair fails and the result is
    // false), puts the source's squared speeds in test order into `sourceSq`.
    bool beginRow(int32_t i, int32_t begin, int32_t end, double* out, std::vector<double>& sourceSq) const;
    // The source's speed ranks in test order (empty when there are none).
    void sourceRanks(int32_t i, std::vector<int32_t>& ranks) const;

    // The distance of (i, j) computed term by term in the same order as frameDistance, so the
    // result is bit for bit that of frameDistance on the original poses.
    double exactDistance(int32_t i, int32_t j) const;
};

// Pairs a row may leave out (their entries stay not a number) because a caller has no use for
// their distance. Both tests are exact: a pair is left out only when its distance, as the
// straightforward evaluation rounds it, is certain to be past the limit.
struct RowLimits {
    // Leave out pairs whose distance is above this (the transition search's threshold): the
    // position term alone is summed first, and the velocity term is never negative.
    double above = std::numeric_limits<double>::infinity();
    // Leave out pairs whose distance cannot reach this (the largest-distance pass's best so far):
    // the pivot bounds, then the position term plus a bound on the velocity term.
    double below = -std::numeric_limits<double>::infinity();
};

// Writes the distance of every pair (source, j), j in [begin, end), to out[j - begin]: not a
// number for the pairs the speed test rules out and those the limits leave out, otherwise the
// full evaluation (vectorised where the processor allows; finite values agree with
// frameDistance to a few units in the last place, and the not-a-number pairs are exactly the same).
void distanceRow(const PoseColumns& columns, int32_t source, int32_t begin, int32_t end, double* out,
                 const RowLimits& limits = {});

// The pairs of distanceRow that are a number, as (target, distance) in increasing target
// order: for callers that look only at those, without writing or reading the rest of the row.
struct SparseRow {
    std::vector<int32_t> targets;
    std::vector<double> distances;
};
void sparseDistanceRow(const PoseColumns& columns, int32_t source, int32_t begin, int32_t end, SparseRow& out,
                       const RowLimits& limits = {});
// The position term alone (the sum of the joints' distances, as positionDistance sums it) of
// every pair (source, j), j in [begin, end), into out[j - begin]: no pair is left out.
void positionRow(const PoseColumns& columns, int32_t source, int32_t begin, int32_t end, double* out);

// Name of the vector unit distanceRow uses on this machine ("avx512", "avx2" or "generic").
const char* distanceRowIsa();

// The largest finite distance over all ordered pairs, or nullopt-like false when cancelled.
bool maxDistanceFast(const PoseColumns& columns, const LongRun& run, double& result);

namespace detail {
// The interval each pivot column of a target must lie in for the pair to be worth evaluating.
struct PivotWindow {
    int32_t count = 0;  // none: every target passes
    const double* columns = nullptr;  // [pivot][frame]
    const double* lower = nullptr;
    const double* upper = nullptr;
    // The same window on the rounded columns (bounds rounded to nearest), for the rounded test.
    const float* roundedColumns = nullptr;
    const float* roundedLower = nullptr;
    const float* roundedUpper = nullptr;
};
// One instruction set's kernels for the three stages of a row (each set in its own translation
// unit, built with its own flags). The sums run on records laid out as PoseColumns::records for
// `joints` joints and write one value per listed target, in list order; records are addressed
// with 64-bit offsets, so any take that fits in memory works.
struct RowKernels {
    const char* name;
    // The targets in [begin, end) that pass the speed test against the source's squared speeds
    // (in test order) and lie in the pivot window, into `survivors`.
    void (*survivors)(const PoseColumns& columns, const double* sourceSq, const PivotWindow& window, int32_t begin,
                      int32_t end, std::vector<int32_t>& survivors);
    // The position term, and the velocity term, of (i, target) for each target.
    void (*positions)(const double* records, int32_t joints, int32_t i, const int32_t* targets, size_t count,
                      double* out);
    void (*velocities)(const double* records, int32_t joints, int32_t i, const int32_t* targets, size_t count,
                       double* out);
    // The speed test on the ranks and the window on the rounded columns, in wider vectors: the
    // same survivors as `survivors`, except that the rounded window may keep a few more. Null
    // where the instruction set has none.
    void (*rankedSurvivors)(const PoseColumns& columns, const int32_t* sourceRanks, const PivotWindow& window,
                            int32_t begin, int32_t end, std::vector<int32_t>& survivors);
    // The rounded position term of (i, target) for each target, from roundedPositions.
    void (*roundedPositions)(const PoseColumns& columns, int32_t i, const int32_t* targets, size_t count, float* out);
};
const RowKernels& genericKernels();
const RowKernels& avx2Kernels();
const RowKernels& avx512Kernels();
void sparseDistanceRowWith(const RowKernels& kernels, const PoseColumns& columns, int32_t source, int32_t begin,
                           int32_t end, SparseRow& out, const RowLimits& limits = {});
void distanceRowWith(const RowKernels& kernels, const PoseColumns& columns, int32_t source, int32_t begin,
                     int32_t end, double* out, const RowLimits& limits = {});

// Whole rows without limits through one instruction set's kernels.
void distanceRowGeneric(const PoseColumns&, int32_t, int32_t, int32_t, double*);
void distanceRowAvx2(const PoseColumns&, int32_t, int32_t, int32_t, double*);
void distanceRowAvx512(const PoseColumns&, int32_t, int32_t, int32_t, double*);
} // namespace detail

} // namespace duolo
