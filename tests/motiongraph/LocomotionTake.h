#pragma once

#include <array>
#include <filesystem>
#include <string>

namespace duolo {
class Group;
class MotionCaptureSession;
}

namespace duolo::test {

// The walking take's 41 marker files (NAME.mov), in the order the group takes them.
inline constexpr std::array<const char*, 41> kLocomotionMarkers = {
    "LFHD", "RFHD", "LBHD", "RBHD", "C7",   "T10",  "CLAV", "STRN", "RBAC", "LSHO", "LUPA",
    "LELB", "LFRM", "LWRA", "LWRB", "LFIN", "RSHO", "RUPA", "RELB", "RFRM", "RWRA", "RWRB",
    "RFIN", "LFWT", "RFWT", "LBWT", "RBWT", "LTHI", "LKNE", "LSHN", "LANK", "LHEE", "LTOE",
    "LMT5", "RTHI", "RKNE", "RSHN", "RANK", "RHEE", "RTOE", "RMT5"};

// The place of the named marker in kLocomotionMarkers, or -1.
int locomotionMarkerNumber(const char* name);

// The walking take's full-body group, built as a user would on the skeleton builder page:
// the 41 markers, centroids of the four waist markers (pelvis), of the two front waist markers
// and of C7 + CLAV; one group of all 44; heading pelvis -> front waist, up pelvis -> C7/CLAV;
// the left and right foot markers as two colliders; then the poses. Returns null (with `error`
// set) when the take cannot be read. Shared by the agreement tests and the benchmark.
Group* buildLocomotionGroup(MotionCaptureSession& session, const std::filesystem::path& takeDir,
                            std::string* error = nullptr);

// The dance take's 40 markers as one group: the root at the centroid of all markers, up
// towards the centroid of the four head markers, heading towards Channel109.
Group* buildDanceGroup(MotionCaptureSession& session, const std::filesystem::path& takeDir,
                       std::string* error = nullptr);

} // namespace duolo::test
