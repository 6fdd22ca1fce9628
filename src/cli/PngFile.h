#pragma once

#include "motiongraph/DistanceMap.h"

#include <string>

namespace duolo::cli {

// Writes the picture as an 8-bit RGB PNG; throws CliError naming the file when that fails.
void writePng(const std::string& path, const RgbImage& image);

} // namespace duolo::cli
