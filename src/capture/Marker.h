#pragma once

#include "capture/Vec3.h"

#include <cstdint>

namespace duolo {

// One sample of one marker: where it is and how far it moved since the previous sample.
struct Marker {
    Vec3 position;
    Vec3 velocity;      // position minus the previous sample's position; zero without one
    int32_t frame = 0;  // 0-based frame number within its trajectory

    Marker() = default;
    Marker(const Vec3& position, const Vec3& velocity, int32_t frame)
        : position(position), velocity(velocity), frame(frame) {}
    // A sample that follows `previous` (or starts a trajectory when it is null).
    Marker(const Marker* previous, double x, double y, double z, int32_t frame)
        : position{x, y, z}, frame(frame)
    {
        if (previous)
            velocity = position - previous->position;
    }
};

// Height at or below which a sample counts as touching the floor (support and tap trigger);
// the green contact colouring of the 3D views uses "strictly below".
inline constexpr double kContactHeight = 0.72;

} // namespace duolo
