// The distance row kernels for processors with AVX2 (built with -mavx2; only ever called after
// the processor has been checked).
#include "motiongraph/PoseColumns.h"

#include <immintrin.h>
#include <sleef.h>

#include <algorithm>
#include <vector>

namespace duolo::detail {

namespace {

// The exact speed test, four target frames at a time.
void survivorsAvx2(const PoseColumns& c, const double* sourceSq, const PivotWindow& window, int32_t begin,
                   int32_t end, std::vector<int32_t>& survivors)
{
    const size_t n = static_cast<size_t>(c.frames);
    const int32_t m = c.joints;
    const double* sq = c.speedSq.data();
    survivors.clear();
    int32_t j0 = begin;
    for (; j0 + 4 <= end; j0 += 4) {
        // Column 0 through the gate, which also rules out targets with a still joint.
        int live = _mm256_movemask_pd(
            _mm256_cmp_pd(_mm256_loadu_pd(c.gate.data() + j0), _mm256_set1_pd(sourceSq[0]), _CMP_LE_OQ));
        for (int32_t k = 1; k < m && live; ++k) {
            const __m256d target = _mm256_loadu_pd(sq + k * n + j0);
            live &= _mm256_movemask_pd(_mm256_cmp_pd(target, _mm256_set1_pd(sourceSq[k]), _CMP_LE_OQ));
        }
        for (int32_t p = 0; p < window.count && live; ++p) {
            const __m256d a = _mm256_loadu_pd(window.columns + p * n + j0);
            live &= _mm256_movemask_pd(_mm256_and_pd(_mm256_cmp_pd(a, _mm256_set1_pd(window.lower[p]), _CMP_GE_OQ),
                                                     _mm256_cmp_pd(a, _mm256_set1_pd(window.upper[p]), _CMP_LE_OQ)));
        }
        while (live) {
            survivors.push_back(j0 + __builtin_ctz(live));
            live &= live - 1;
        }
    }
    for (; j0 < end; ++j0) {
        bool possible = !c.stillJoint[j0];
        for (int32_t k = 0; possible && k < m; ++k)
            possible = sq[k * n + j0] <= sourceSq[k];
        for (int32_t p = 0; possible && p < window.count; ++p) {
            const double a = window.columns[p * n + j0];
            possible = window.lower[p] <= a && a <= window.upper[p];
        }
        if (possible)
            survivors.push_back(j0);
    }
}

// Four targets per step in the scalar order per lane, with 64-bit offsets (32-bit ones would
// wrap on takes of 2^28 frame-joints).
template <typename Term>
void sumOverJoints(const double* rec, int32_t m, int32_t i, const int32_t* targets, size_t count, double* out,
                   Term&& term)
{
    const int64_t stride = static_cast<int64_t>(m) * PoseColumns::FieldCount;
    const double* source = rec + i * stride;
    alignas(32) double result[4];
    alignas(16) int32_t frames[4];
    for (size_t s = 0; s < count; s += 4) {
        const int32_t lanes = static_cast<int32_t>(std::min<size_t>(4, count - s));
        for (int32_t l = 0; l < 4; ++l)
            frames[l] = targets[s + std::min(l, lanes - 1)];
        // Frames and the stride are below 2^31, so the unsigned 32 x 32 -> 64-bit product is exact.
        __m256i offset = _mm256_mul_epu32(_mm256_cvtepi32_epi64(_mm_load_si128(reinterpret_cast<const __m128i*>(frames))),
                                          _mm256_set1_epi64x(stride));
        const __m256i step = _mm256_set1_epi64x(PoseColumns::FieldCount);
        __m256d sum = _mm256_setzero_pd();
        for (int32_t k = 0; k < m; ++k, offset = _mm256_add_epi64(offset, step))
            sum = _mm256_add_pd(sum, term(source + k * PoseColumns::FieldCount, offset));
        _mm256_store_pd(result, sum);
        std::copy_n(result, lanes, out + s);
    }
}

void positionsAvx2(const double* rec, int32_t m, int32_t i, const int32_t* targets, size_t count, double* out)
{
    sumOverJoints(rec, m, i, targets, count, out, [rec](const double* a, __m256i offset) {
        const __m256d dx = _mm256_sub_pd(_mm256_set1_pd(a[PoseColumns::Px]), _mm256_i64gather_pd(rec + PoseColumns::Px, offset, 8));
        const __m256d dy = _mm256_sub_pd(_mm256_set1_pd(a[PoseColumns::Py]), _mm256_i64gather_pd(rec + PoseColumns::Py, offset, 8));
        const __m256d dz = _mm256_sub_pd(_mm256_set1_pd(a[PoseColumns::Pz]), _mm256_i64gather_pd(rec + PoseColumns::Pz, offset, 8));
        return _mm256_sqrt_pd(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy)), _mm256_mul_pd(dz, dz)));
    });
}

void velocitiesAvx2(const double* rec, int32_t m, int32_t i, const int32_t* targets, size_t count, double* out)
{
    sumOverJoints(rec, m, i, targets, count, out, [rec](const double* a, __m256i offset) {
        const __m256d bx = _mm256_i64gather_pd(rec + PoseColumns::Vx, offset, 8);
        const __m256d by = _mm256_i64gather_pd(rec + PoseColumns::Vy, offset, 8);
        const __m256d bz = _mm256_i64gather_pd(rec + PoseColumns::Vz, offset, 8);
        const __m256d nb = _mm256_i64gather_pd(rec + PoseColumns::Speed, offset, 8);
        const __m256d sqb = _mm256_i64gather_pd(rec + PoseColumns::SpeedSq, offset, 8);
        const __m256d dot = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(a[PoseColumns::Vx]), bx),
                                                        _mm256_mul_pd(_mm256_set1_pd(a[PoseColumns::Vy]), by)),
                                          _mm256_mul_pd(_mm256_set1_pd(a[PoseColumns::Vz]), bz));
        const __m256d cosine = _mm256_div_pd(dot, _mm256_mul_pd(nb, _mm256_set1_pd(a[PoseColumns::Speed])));
        const __m256d angle = Sleef_acosd4_u35avx2(cosine);  // well inside the re-decision margin
        const __m256d magnitude = _mm256_sqrt_pd(_mm256_sub_pd(_mm256_set1_pd(a[PoseColumns::SpeedSq]), sqb));
        return _mm256_add_pd(angle, magnitude);
    });
}

// The speed test on the ranks, eight targets at a time.
void rankedSurvivorsAvx2(const PoseColumns& c, const int32_t* sourceRanks, const PivotWindow& window, int32_t begin,
                         int32_t end, std::vector<int32_t>& survivors)
{
    const size_t n = static_cast<size_t>(c.frames);
    const int32_t m = c.joints;
    const int32_t* ranks = c.speedRanks.data();
    survivors.clear();
    auto load = [](const int32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); };
    // A lane passes when its rank is not above the source's.
    auto passes = [](__m256i target, int32_t source) {
        return _mm256_movemask_ps(_mm256_castsi256_ps(
                   _mm256_cmpgt_epi32(target, _mm256_set1_epi32(source)))) ^ 0xFF;
    };
    int32_t j0 = begin;
    for (; j0 + 8 <= end; j0 += 8) {
        int live = passes(load(c.gateRanks.data() + j0), sourceRanks[0]);
        for (int32_t k = 1; k < m && live; ++k)
            live &= passes(load(ranks + k * n + j0), sourceRanks[k]);
        for (int32_t p = 0; p < window.count && live; ++p) {
            const __m256 a = _mm256_loadu_ps(window.roundedColumns + p * n + j0);
            live &= _mm256_movemask_ps(_mm256_and_ps(_mm256_cmp_ps(a, _mm256_set1_ps(window.roundedLower[p]), _CMP_GE_OQ),
                                                     _mm256_cmp_ps(a, _mm256_set1_ps(window.roundedUpper[p]), _CMP_LE_OQ)));
        }
        while (live) {
            survivors.push_back(j0 + __builtin_ctz(live));
            live &= live - 1;
        }
    }
    for (; j0 < end; ++j0) {
        bool possible = c.gateRanks[j0] <= sourceRanks[0];
        for (int32_t k = 1; possible && k < m; ++k)
            possible = ranks[k * n + j0] <= sourceRanks[k];
        for (int32_t p = 0; possible && p < window.count; ++p) {
            const float a = window.roundedColumns[p * n + j0];
            possible = window.roundedLower[p] <= a && a <= window.roundedUpper[p];
        }
        if (possible)
            survivors.push_back(j0);
    }
}

// One target per step, eight joints per vector, from the contiguous rounded positions.
void roundedPositionsAvx2(const PoseColumns& c, int32_t i, const int32_t* targets, size_t count, float* out)
{
    const int64_t pj = c.paddedJoints;
    const int64_t stride = 3 * pj;
    const float* base = c.roundedPositions.data();
    const float* a = base + i * stride;
    for (size_t s = 0; s < count; ++s) {
        const float* b = base + targets[s] * stride;
        __m256 sum = _mm256_setzero_ps();
        for (int64_t k = 0; k < pj; k += 8) {
            const __m256 dx = _mm256_sub_ps(_mm256_loadu_ps(a + k), _mm256_loadu_ps(b + k));
            const __m256 dy = _mm256_sub_ps(_mm256_loadu_ps(a + pj + k), _mm256_loadu_ps(b + pj + k));
            const __m256 dz = _mm256_sub_ps(_mm256_loadu_ps(a + 2 * pj + k), _mm256_loadu_ps(b + 2 * pj + k));
            const __m256 square = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(dx, dx), _mm256_mul_ps(dy, dy)),
                                                _mm256_mul_ps(dz, dz));
            sum = _mm256_add_ps(sum, _mm256_sqrt_ps(square));
        }
        __m128 half = _mm_add_ps(_mm256_castps256_ps128(sum), _mm256_extractf128_ps(sum, 1));
        half = _mm_add_ps(half, _mm_movehl_ps(half, half));
        half = _mm_add_ss(half, _mm_shuffle_ps(half, half, 1));
        out[s] = _mm_cvtss_f32(half);
    }
}

} // namespace

const RowKernels& avx2Kernels()
{
    static const RowKernels kernels{"avx2", survivorsAvx2, positionsAvx2, velocitiesAvx2, rankedSurvivorsAvx2,
                                    roundedPositionsAvx2};
    return kernels;
}

} // namespace duolo::detail
