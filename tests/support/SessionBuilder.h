#pragma once

#include "session/MotionCaptureSession.h"

#include <initializer_list>
#include <vector>

namespace duolo::test {

// Adds a trajectory whose samples sit at the given positions (velocities follow).
AnimatedMarker& addTrajectory(MotionCaptureSession& session, const std::vector<Vec3>& positions);
// A trajectory of `frames` samples at a constant position.
AnimatedMarker& addStill(MotionCaptureSession& session, Vec3 position, int frames);
// Clears the marker selection and selects the given marker numbers, as the builder's list does.
void selectMarkers(MotionCaptureSession& session, std::initializer_list<int> indices);
void selectGroups(MotionCaptureSession& session, std::initializer_list<int> numbers);

} // namespace duolo::test
