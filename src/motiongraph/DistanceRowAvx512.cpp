// The distance row kernel for processors with AVX-512 (built with -mavx512f -mavx512dq; only
// ever called after the processor has been checked).
#include "motiongraph/PoseColumns.h"

#include <immintrin.h>
#include <sleef.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace duolo::detail {

void distanceRowAvx512(const PoseColumns& c, int32_t i, int32_t begin, int32_t end, double* out)
{
    thread_local std::vector<double> sourceSq;
    if (!c.beginRow(i, begin, end, out, sourceSq))
        return;
    const size_t n = static_cast<size_t>(c.frames);
    const int32_t m = c.joints;
    const double* sq = c.speedSq.data();

    // Pass 1: the exact speed test rules out most pairs with a few comparisons each.
    thread_local std::vector<int32_t> survivors;
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
        unsigned bits = live;
        while (bits) {
            survivors.push_back(j0 + __builtin_ctz(bits));
            bits &= bits - 1;
        }
    }

    // Pass 2: full evaluation of the survivors, eight target frames at a time, each lane
    // summing its joints in the same order as the scalar definition.
    const double* rec = c.records.data();
    const int32_t stride = m * PoseColumns::FieldCount;
    const double* source = rec + static_cast<size_t>(i) * stride;
    const size_t count = survivors.size();
    alignas(64) double result[8];
    alignas(32) int32_t frames[8];
    for (size_t s = 0; s < count; s += 8) {
        const int32_t lanes = static_cast<int32_t>(std::min<size_t>(8, count - s));
        for (int32_t l = 0; l < 8; ++l)
            frames[l] = survivors[s + std::min(l, lanes - 1)];
        const __m256i frameIndex = _mm256_load_si256(reinterpret_cast<const __m256i*>(frames));
        __m256i offset = _mm256_mullo_epi32(frameIndex, _mm256_set1_epi32(stride));
        const __m256i step = _mm256_set1_epi32(PoseColumns::FieldCount);

        __m512d position = _mm512_setzero_pd();
        __m512d velocity = _mm512_setzero_pd();
        for (int32_t k = 0; k < m; ++k, offset = _mm256_add_epi32(offset, step)) {
            const double* a = source + k * PoseColumns::FieldCount;
            const __m512d px = _mm512_i32gather_pd(offset, rec + PoseColumns::Px, 8);
            const __m512d py = _mm512_i32gather_pd(offset, rec + PoseColumns::Py, 8);
            const __m512d pz = _mm512_i32gather_pd(offset, rec + PoseColumns::Pz, 8);
            const __m512d dx = _mm512_sub_pd(_mm512_set1_pd(a[PoseColumns::Px]), px);
            const __m512d dy = _mm512_sub_pd(_mm512_set1_pd(a[PoseColumns::Py]), py);
            const __m512d dz = _mm512_sub_pd(_mm512_set1_pd(a[PoseColumns::Pz]), pz);
            const __m512d d2 = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(dx, dx), _mm512_mul_pd(dy, dy)),
                                             _mm512_mul_pd(dz, dz));
            position = _mm512_add_pd(position, _mm512_sqrt_pd(d2));

            const __m512d bx = _mm512_i32gather_pd(offset, rec + PoseColumns::Vx, 8);
            const __m512d by = _mm512_i32gather_pd(offset, rec + PoseColumns::Vy, 8);
            const __m512d bz = _mm512_i32gather_pd(offset, rec + PoseColumns::Vz, 8);
            const __m512d nb = _mm512_i32gather_pd(offset, rec + PoseColumns::Speed, 8);
            const __m512d sqb = _mm512_i32gather_pd(offset, rec + PoseColumns::SpeedSq, 8);
            const __m512d dot = _mm512_add_pd(
                _mm512_add_pd(_mm512_mul_pd(_mm512_set1_pd(a[PoseColumns::Vx]), bx),
                              _mm512_mul_pd(_mm512_set1_pd(a[PoseColumns::Vy]), by)),
                _mm512_mul_pd(_mm512_set1_pd(a[PoseColumns::Vz]), bz));
            const __m512d cosine = _mm512_div_pd(dot, _mm512_mul_pd(nb, _mm512_set1_pd(a[PoseColumns::Speed])));
            const __m512d angle = Sleef_acosd8_u10avx512f(cosine);
            const __m512d magnitude = _mm512_sqrt_pd(_mm512_sub_pd(_mm512_set1_pd(a[PoseColumns::SpeedSq]), sqb));
            velocity = _mm512_add_pd(velocity, _mm512_add_pd(angle, magnitude));
        }
        _mm512_store_pd(result, _mm512_add_pd(position, velocity));
        for (int32_t l = 0; l < lanes; ++l)
            out[frames[l] - begin] = result[l];
    }
}

} // namespace duolo::detail
