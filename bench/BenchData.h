#pragma once
// Where the benchmarks find their input: the shared hdm05 take (3990 frames, 41 markers) when it
// is there, otherwise the committed 300-frame sample.

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace duolo::bench {

inline std::filesystem::path takeFolder()
{
    const std::filesystem::path shared = std::filesystem::path(DUOLO_SHARED_DATA_DIR) / "hdm05_mm_locomotion";
    if (std::filesystem::is_directory(shared))
        return shared;
    return std::filesystem::path(DUOLO_SOURCE_DIR) / "resources" / "sample" / "markers";
}

// The take's marker files in a fixed (sorted) order.
inline std::vector<std::string> takeMarkerFiles()
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(takeFolder()))
        if (entry.path().extension() == ".mov")
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace duolo::bench
