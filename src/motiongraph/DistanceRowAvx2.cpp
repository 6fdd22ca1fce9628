// The distance row kernel for processors with AVX2 (built with -mavx2; only ever called after
// the processor has been checked).
#include "motiongraph/PoseColumns.h"

#include <immintrin.h>
#include <sleef.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace duolo::detail {

void distanceRowAvx2(const PoseColumns& c, int32_t i, int32_t begin, int32_t end, double* out)
{
    thread_local std::vector<double> sourceSq;
    if (!c.beginRow(i, begin, end, out, sourceSq))
        return;
    const size_t n = static_cast<size_t>(c.frames);
    const int32_t m = c.joints;
    const double* sq = c.speedSq.data();

    // Pass 1: the exact speed test, four target frames at a time.
    thread_local std::vector<int32_t> survivors;
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
        while (live) {
            survivors.push_back(j0 + __builtin_ctz(live));
            live &= live - 1;
        }
    }
    for (; j0 < end; ++j0) {
        bool possible = !c.stillJoint[j0];
        for (int32_t k = 0; possible && k < m; ++k)
            possible = sq[k * n + j0] <= sourceSq[k];
        if (possible)
            survivors.push_back(j0);
    }

    // Pass 2: full evaluation of the survivors, four at a time, in the scalar order per lane.
    const double* rec = c.records.data();
    const int32_t stride = m * PoseColumns::FieldCount;
    const double* source = rec + static_cast<size_t>(i) * stride;
    const size_t count = survivors.size();
    alignas(32) double result[4];
    alignas(16) int32_t frames[4];
    for (size_t s = 0; s < count; s += 4) {
        const int32_t lanes = static_cast<int32_t>(std::min<size_t>(4, count - s));
        for (int32_t l = 0; l < 4; ++l)
            frames[l] = survivors[s + std::min(l, lanes - 1)];
        __m128i offset = _mm_mullo_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(frames)),
                                         _mm_set1_epi32(stride));
        const __m128i step = _mm_set1_epi32(PoseColumns::FieldCount);

        __m256d position = _mm256_setzero_pd();
        __m256d velocity = _mm256_setzero_pd();
        for (int32_t k = 0; k < m; ++k, offset = _mm_add_epi32(offset, step)) {
            const double* a = source + k * PoseColumns::FieldCount;
            const __m256d px = _mm256_i32gather_pd(rec + PoseColumns::Px, offset, 8);
            const __m256d py = _mm256_i32gather_pd(rec + PoseColumns::Py, offset, 8);
            const __m256d pz = _mm256_i32gather_pd(rec + PoseColumns::Pz, offset, 8);
            const __m256d dx = _mm256_sub_pd(_mm256_set1_pd(a[PoseColumns::Px]), px);
            const __m256d dy = _mm256_sub_pd(_mm256_set1_pd(a[PoseColumns::Py]), py);
            const __m256d dz = _mm256_sub_pd(_mm256_set1_pd(a[PoseColumns::Pz]), pz);
            const __m256d d2 = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy)),
                                             _mm256_mul_pd(dz, dz));
            position = _mm256_add_pd(position, _mm256_sqrt_pd(d2));

            const __m256d bx = _mm256_i32gather_pd(rec + PoseColumns::Vx, offset, 8);
            const __m256d by = _mm256_i32gather_pd(rec + PoseColumns::Vy, offset, 8);
            const __m256d bz = _mm256_i32gather_pd(rec + PoseColumns::Vz, offset, 8);
            const __m256d nb = _mm256_i32gather_pd(rec + PoseColumns::Speed, offset, 8);
            const __m256d sqb = _mm256_i32gather_pd(rec + PoseColumns::SpeedSq, offset, 8);
            const __m256d dot = _mm256_add_pd(
                _mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(a[PoseColumns::Vx]), bx),
                              _mm256_mul_pd(_mm256_set1_pd(a[PoseColumns::Vy]), by)),
                _mm256_mul_pd(_mm256_set1_pd(a[PoseColumns::Vz]), bz));
            const __m256d cosine = _mm256_div_pd(dot, _mm256_mul_pd(nb, _mm256_set1_pd(a[PoseColumns::Speed])));
            const __m256d angle = Sleef_acosd4_u10avx2(cosine);
            const __m256d magnitude = _mm256_sqrt_pd(_mm256_sub_pd(_mm256_set1_pd(a[PoseColumns::SpeedSq]), sqb));
            velocity = _mm256_add_pd(velocity, _mm256_add_pd(angle, magnitude));
        }
        _mm256_store_pd(result, _mm256_add_pd(position, velocity));
        for (int32_t l = 0; l < lanes; ++l)
            out[frames[l] - begin] = result[l];
    }
}

} // namespace duolo::detail
