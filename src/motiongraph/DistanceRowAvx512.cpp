// The distance row kernels for processors with AVX-512 (built with -mavx512f -mavx512dq; only
// ever called after the processor has been checked).
#include "motiongraph/PoseColumns.h"

#include <immintrin.h>
#include <sleef.h>

#include <algorithm>
#include <vector>

namespace duolo::detail {

namespace {

// The exact speed test rules out most pairs with a few comparisons each, eight targets at a time.
void survivorsAvx512(const PoseColumns& c, const double* sourceSq, const PivotWindow& window, int32_t begin,
                     int32_t end, std::vector<int32_t>& survivors)
{
    const size_t n = static_cast<size_t>(c.frames);
    const int32_t m = c.joints;
    const double* sq = c.speedSq.data();
    survivors.clear();
    for (int32_t j0 = begin; j0 < end; j0 += 8) {
        const int32_t lanes = std::min(8, end - j0);
        __mmask8 live = static_cast<__mmask8>(lanes == 8 ? 0xFF : (1u << lanes) - 1);
        // Column 0 through the gate, which also rules out targets with a still joint.
        live = _mm512_mask_cmp_pd_mask(live, _mm512_maskz_loadu_pd(live, c.gate.data() + j0),
                                       _mm512_set1_pd(sourceSq[0]), _CMP_LE_OQ);
        for (int32_t k = 1; k < m && live; ++k) {
            const __m512d target = _mm512_maskz_loadu_pd(live, sq + k * n + j0);
            live = _mm512_mask_cmp_pd_mask(live, target, _mm512_set1_pd(sourceSq[k]), _CMP_LE_OQ);
        }
        for (int32_t p = 0; p < window.count && live; ++p) {
            const __m512d a = _mm512_maskz_loadu_pd(live, window.columns + p * n + j0);
            live = _mm512_mask_cmp_pd_mask(live, a, _mm512_set1_pd(window.lower[p]), _CMP_GE_OQ);
            live = _mm512_mask_cmp_pd_mask(live, a, _mm512_set1_pd(window.upper[p]), _CMP_LE_OQ);
        }
        unsigned bits = live;
        while (bits) {
            survivors.push_back(j0 + __builtin_ctz(bits));
            bits &= bits - 1;
        }
    }
}

// Eight targets per step, each lane summing its joints in the same order as the scalar
// definition. Offsets are 64-bit: frame x joints x 8 passes 2^31 on takes of 2^28 frame-joints,
// which 32-bit offsets would wrap.
template <typename Term>
void sumOverJoints(const double* rec, int32_t m, int32_t i, const int32_t* targets, size_t count, double* out,
                   Term&& term)
{
    const int64_t stride = static_cast<int64_t>(m) * PoseColumns::FieldCount;
    const double* source = rec + i * stride;
    alignas(64) double result[8];
    alignas(32) int32_t frames[8];
    for (size_t s = 0; s < count; s += 8) {
        const int32_t lanes = static_cast<int32_t>(std::min<size_t>(8, count - s));
        for (int32_t l = 0; l < 8; ++l)
            frames[l] = targets[s + std::min(l, lanes - 1)];
        const __m512i frameIndex = _mm512_cvtepi32_epi64(_mm256_load_si256(reinterpret_cast<const __m256i*>(frames)));
        __m512i offset = _mm512_mullo_epi64(frameIndex, _mm512_set1_epi64(stride));
        const __m512i step = _mm512_set1_epi64(PoseColumns::FieldCount);
        __m512d sum = _mm512_setzero_pd();
        for (int32_t k = 0; k < m; ++k, offset = _mm512_add_epi64(offset, step))
            sum = _mm512_add_pd(sum, term(source + k * PoseColumns::FieldCount, offset));
        _mm512_store_pd(result, sum);
        std::copy_n(result, lanes, out + s);
    }
}

void positionsAvx512(const double* rec, int32_t m, int32_t i, const int32_t* targets, size_t count, double* out)
{
    sumOverJoints(rec, m, i, targets, count, out, [rec](const double* a, __m512i offset) {
        const __m512d dx = _mm512_sub_pd(_mm512_set1_pd(a[PoseColumns::Px]), _mm512_i64gather_pd(offset, rec + PoseColumns::Px, 8));
        const __m512d dy = _mm512_sub_pd(_mm512_set1_pd(a[PoseColumns::Py]), _mm512_i64gather_pd(offset, rec + PoseColumns::Py, 8));
        const __m512d dz = _mm512_sub_pd(_mm512_set1_pd(a[PoseColumns::Pz]), _mm512_i64gather_pd(offset, rec + PoseColumns::Pz, 8));
        return _mm512_sqrt_pd(_mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(dx, dx), _mm512_mul_pd(dy, dy)), _mm512_mul_pd(dz, dz)));
    });
}

void velocitiesAvx512(const double* rec, int32_t m, int32_t i, const int32_t* targets, size_t count, double* out)
{
    sumOverJoints(rec, m, i, targets, count, out, [rec](const double* a, __m512i offset) {
        const __m512d bx = _mm512_i64gather_pd(offset, rec + PoseColumns::Vx, 8);
        const __m512d by = _mm512_i64gather_pd(offset, rec + PoseColumns::Vy, 8);
        const __m512d bz = _mm512_i64gather_pd(offset, rec + PoseColumns::Vz, 8);
        const __m512d nb = _mm512_i64gather_pd(offset, rec + PoseColumns::Speed, 8);
        const __m512d sqb = _mm512_i64gather_pd(offset, rec + PoseColumns::SpeedSq, 8);
        const __m512d dot = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(_mm512_set1_pd(a[PoseColumns::Vx]), bx),
                                                        _mm512_mul_pd(_mm512_set1_pd(a[PoseColumns::Vy]), by)),
                                          _mm512_mul_pd(_mm512_set1_pd(a[PoseColumns::Vz]), bz));
        const __m512d cosine = _mm512_div_pd(dot, _mm512_mul_pd(nb, _mm512_set1_pd(a[PoseColumns::Speed])));
        // 3.5 units in the last place: far inside the margin within which a distance near the
        // threshold is decided by the scalar evaluation.
        const __m512d angle = Sleef_acosd8_u35avx512f(cosine);
        const __m512d magnitude = _mm512_sqrt_pd(_mm512_sub_pd(_mm512_set1_pd(a[PoseColumns::SpeedSq]), sqb));
        return _mm512_add_pd(angle, magnitude);
    });
}

// The speed test on the ranks, sixteen targets at a time.
void rankedSurvivorsAvx512(const PoseColumns& c, const int32_t* sourceRanks, const PivotWindow& window, int32_t begin,
                           int32_t end, std::vector<int32_t>& survivors)
{
    const size_t n = static_cast<size_t>(c.frames);
    const int32_t m = c.joints;
    const int32_t* ranks = c.speedRanks.data();
    survivors.clear();
    for (int32_t j0 = begin; j0 < end; j0 += 16) {
        const int32_t lanes = std::min(16, end - j0);
        __mmask16 live = static_cast<__mmask16>(lanes == 16 ? 0xFFFF : (1u << lanes) - 1);
        // Column 0 through the gate, which also rules out targets with a still joint.
        live = _mm512_mask_cmple_epi32_mask(live, _mm512_maskz_loadu_epi32(live, c.gateRanks.data() + j0),
                                            _mm512_set1_epi32(sourceRanks[0]));
        for (int32_t k = 1; k < m && live; ++k)
            live = _mm512_mask_cmple_epi32_mask(live, _mm512_maskz_loadu_epi32(live, ranks + k * n + j0),
                                                _mm512_set1_epi32(sourceRanks[k]));
        for (int32_t p = 0; p < window.count && live; ++p) {
            const __m512 a = _mm512_maskz_loadu_ps(live, window.roundedColumns + p * n + j0);
            live = _mm512_mask_cmp_ps_mask(live, a, _mm512_set1_ps(window.roundedLower[p]), _CMP_GE_OQ);
            live = _mm512_mask_cmp_ps_mask(live, a, _mm512_set1_ps(window.roundedUpper[p]), _CMP_LE_OQ);
        }
        unsigned bits = live;
        while (bits) {
            survivors.push_back(j0 + __builtin_ctz(bits));
            bits &= bits - 1;
        }
    }
}

// One target per step, sixteen joints per vector: the rounded positions of a frame are three
// contiguous runs, so a pair costs a few whole-vector loads instead of a gather per joint.
void roundedPositionsAvx512(const PoseColumns& c, int32_t i, const int32_t* targets, size_t count, float* out)
{
    const int64_t pj = c.paddedJoints;
    const int64_t stride = 3 * pj;
    const float* base = c.roundedPositions.data();
    const float* a = base + i * stride;
    for (size_t s = 0; s < count; ++s) {
        const float* b = base + targets[s] * stride;
        if (s + 4 < count)
            _mm_prefetch(reinterpret_cast<const char*>(base + targets[s + 4] * stride), _MM_HINT_T0);
        __m512 sum = _mm512_setzero_ps();
        for (int64_t k = 0; k < pj; k += 16) {
            const __m512 dx = _mm512_sub_ps(_mm512_loadu_ps(a + k), _mm512_loadu_ps(b + k));
            const __m512 dy = _mm512_sub_ps(_mm512_loadu_ps(a + pj + k), _mm512_loadu_ps(b + pj + k));
            const __m512 dz = _mm512_sub_ps(_mm512_loadu_ps(a + 2 * pj + k), _mm512_loadu_ps(b + 2 * pj + k));
            const __m512 square = _mm512_fmadd_ps(dz, dz, _mm512_fmadd_ps(dy, dy, _mm512_mul_ps(dx, dx)));
            sum = _mm512_add_ps(sum, _mm512_sqrt_ps(square));
        }
        out[s] = _mm512_reduce_add_ps(sum);
    }
}

} // namespace

const RowKernels& avx512Kernels()
{
    static const RowKernels kernels{"avx512",         survivorsAvx512,      positionsAvx512, velocitiesAvx512,
                                    rankedSurvivorsAvx512, roundedPositionsAvx512};
    return kernels;
}

} // namespace duolo::detail
