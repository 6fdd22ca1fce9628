#include "support/SessionBuilder.h"

namespace duolo::test {

AnimatedMarker& addTrajectory(MotionCaptureSession& session, const std::vector<Vec3>& positions)
{
    std::string name = "m";
    name += std::to_string(session.markerCount());
    auto m = std::make_unique<AnimatedMarker>(session.markerCount(), std::move(name));
    for (size_t i = 0; i < positions.size(); ++i) {
        const Marker* prev = m->samples.empty() ? nullptr : &m->samples.back();
        m->samples.emplace_back(prev, positions[i].x, positions[i].y, positions[i].z, static_cast<int32_t>(i));
    }
    if (session.markers.empty())
        session.frameCount = static_cast<int32_t>(positions.size());
    session.loaded = true;
    session.markers.push_back(std::move(m));
    return *session.markers.back();
}

AnimatedMarker& addStill(MotionCaptureSession& session, Vec3 position, int frames)
{
    return addTrajectory(session, std::vector<Vec3>(static_cast<size_t>(frames), position));
}

void selectMarkers(MotionCaptureSession& session, std::initializer_list<int> indices)
{
    session.clearMarkerSelection();
    for (int i : indices)
        session.selectMarker(i);
}

void selectGroups(MotionCaptureSession& session, std::initializer_list<int> numbers)
{
    session.clearGroupSelection();
    for (int n : numbers)
        session.selectGroup(n);
}

} // namespace duolo::test
