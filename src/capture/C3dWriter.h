#pragma once

#include "capture/Vec3.h"

#include <string>
#include <vector>

namespace duolo {

// A marker take for the C3D format, the binary file that motion-capture and biomechanics
// tools exchange. Coordinates are millimetres in a right-handed frame with z up.
struct C3dTake {
    double frameRate = 25.0;
    std::vector<std::string> labels;        // one per point
    std::vector<std::string> descriptions;  // one per point, or none at all
    std::vector<std::vector<Vec3>> frames;  // frames[f][p]; every frame has one point per label
};

// The file's bytes: Intel processor, float storage (POINT:SCALE -1), POINT:UNITS "mm",
// X_SCREEN "+X" and Y_SCREEN "+Z", no analog data and residual 0 on every sample. Labels and
// descriptions go 255 to a parameter (LABELS, LABELS2, ...). The header's frame range is 16-bit,
// so a take of more than 65,535 frames also carries its count in a float POINT:FRAMES and its
// range in TRIAL:ACTUAL_START_FIELD / ACTUAL_END_FIELD. False (with `problem`) for a take that
// the format cannot hold: more than 65,535 points or a parameter section of more than 255 blocks.
bool formatC3d(const C3dTake& take, std::string& bytes, std::string& problem);

// Writes the file; on failure false and `error` names the file and the reason.
bool writeC3dFile(const std::string& path, const C3dTake& take, std::string& error);

} // namespace duolo
