#include "skeleton/Skeleton.h"

#include "capture/MessageSink.h"

#include <cmath>

namespace duolo {

Skeleton::Skeleton(int32_t jointCount) : joints(static_cast<size_t>(jointCount > 0 ? jointCount : 0)) {}

void Skeleton::setHeading(const Marker& headingSample, const Marker& rootSample)
{
    origin = rootSample;
    heading = headingSample;
    const Vec3& h = headingSample.position;
    pitch = std::atan2(h.y, std::sqrt(h.x * h.x + h.z * h.z));
    yaw = -std::atan2(h.x, h.z);
}

void Skeleton::setUp(const Marker& upSample)
{
    up = upSample;
    Vec3 q = upSample.position;
    rotateY(q);
    rotateX(q);
    roll = std::atan2(q.x, q.y);
}

void Skeleton::rotateX(Vec3& p) const
{
    const double c = std::cos(pitch), s = std::sin(pitch);
    const double y = p.y * c - p.z * s;
    const double z = p.z * c + p.y * s;
    p.y = y;
    p.z = z;
}

void Skeleton::rotateY(Vec3& p) const
{
    const double c = std::cos(yaw), s = std::sin(yaw);
    const double x = p.z * s + p.x * c;
    const double z = p.z * c - p.x * s;
    p.x = x;
    p.z = z;
}

void Skeleton::rotateZ(Vec3& p) const
{
    const double c = std::cos(roll), s = std::sin(roll);
    const double x = p.x * c - p.y * s;
    const double y = p.y * c + p.x * s;
    p.x = x;
    p.y = y;
}

void Skeleton::rotateX(Marker& sample) const { rotateX(sample.position); }
void Skeleton::rotateY(Marker& sample) const { rotateY(sample.position); }
void Skeleton::rotateZ(Marker& sample) const { rotateZ(sample.position); }

void Skeleton::normalise(Marker& sample) const
{
    if (!heading) {
        showMessage("Error in Skeleton. Trying to normalize before creating vectors.");
        return;
    }
    sample.position -= origin->position;
    rotateY(sample);
    rotateX(sample);
    rotateZ(sample);
}

void Skeleton::addJoint(int32_t slot, const Marker& sample, bool normaliseIt)
{
    Marker joint = sample;
    if (normaliseIt)
        normalise(joint);
    joints[static_cast<size_t>(slot)] = joint;
    centre.position += joint.position;
}

} // namespace duolo
