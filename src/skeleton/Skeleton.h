#pragma once

#include "capture/Marker.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace duolo {

// One pose of one group in one frame. In a normalised pose the joints are expressed in the
// skeleton's own frame (root at the origin, heading along +z, up in the y-z plane with y >= 0);
// in a world pose they keep their world positions and the floor contacts and support are filled.
class Skeleton {
public:
    explicit Skeleton(int32_t jointCount = 0);

    std::vector<Marker> joints;             // joint k is member k of the group
    std::optional<Marker> heading;
    std::optional<Marker> up;
    std::vector<std::vector<Marker>> contactSets;  // per collider id in use (world poses only)
    std::optional<Marker> origin;           // the group's root sample in this frame
    Marker centre;                          // mean of the joints
    std::optional<Marker> support;          // weighted sum of contact centres (x, z); y stays 0
    double supportWeight = 0.0;
    double pitch = 0.0;                     // radians
    double yaw = 0.0;
    double roll = 0.0;

    int32_t jointCount() const { return static_cast<int32_t>(joints.size()); }
    int32_t contactSetCount() const { return static_cast<int32_t>(contactSets.size()); }

    // Copies the root and heading samples and derives pitch and yaw from the heading.
    void setHeading(const Marker& headingSample, const Marker& rootSample);
    // Copies the up sample and derives roll (needs pitch and yaw first).
    void setUp(const Marker& upSample);

    void rotateX(Marker& sample) const;   // by pitch
    void rotateY(Marker& sample) const;   // by yaw
    void rotateZ(Marker& sample) const;   // by roll
    void rotateX(Vec3& p) const;
    void rotateY(Vec3& p) const;
    void rotateZ(Vec3& p) const;

    // Expresses a world position in the pose's own frame. Before setHeading it reports
    // "Error in Skeleton. Trying to normalize before creating vectors." and leaves it alone.
    void normalise(Marker& sample) const;

    // Stores a copy of the sample as joint `slot` (normalised when asked) and adds its position
    // to the centre.
    void addJoint(int32_t slot, const Marker& sample, bool normaliseIt);
};

} // namespace duolo
