#pragma once

#include "motiongraph/PoseColumns.h"

#include <utility>
#include <vector>

namespace duolo::test {

using RowKernel = void (*)(const PoseColumns&, int32_t, int32_t, int32_t, double*);

// Every distance row kernel this processor can run, not just the one the dispatcher picks.
inline std::vector<std::pair<const char*, RowKernel>> runnableKernels()
{
    std::vector<std::pair<const char*, RowKernel>> kernels = {{"generic", detail::distanceRowGeneric}};
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        kernels.emplace_back("avx2", detail::distanceRowAvx2);
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq"))
        kernels.emplace_back("avx512", detail::distanceRowAvx512);
    return kernels;
}

} // namespace duolo::test
