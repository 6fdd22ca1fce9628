#include "motiongraph/LocomotionTake.h"

#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <vector>

namespace duolo::test {

namespace {

void select(MotionCaptureSession& session, std::initializer_list<const char*> names)
{
    session.clearMarkerSelection();
    for (const char* name : names)
        session.selectMarker(locomotionMarkerNumber(name));
}

} // namespace

int locomotionMarkerNumber(const char* name)
{
    for (size_t i = 0; i < kLocomotionMarkers.size(); ++i)
        if (std::string(kLocomotionMarkers[i]) == name)
            return static_cast<int>(i);
    return -1;
}

Group* buildLocomotionGroup(MotionCaptureSession& session, const std::filesystem::path& takeDir, std::string* error)
{
    std::vector<std::string> paths;
    for (const char* name : kLocomotionMarkers)
        paths.push_back((takeDir / (std::string(name) + ".mov")).string());
    std::vector<std::string> errors;
    session.loadMarkers(paths, &errors);
    if (!errors.empty() || session.markerCount() != static_cast<int32_t>(kLocomotionMarkers.size())) {
        if (error)
            *error = errors.empty() ? "could not read the take" : errors.front();
        return nullptr;
    }

    select(session, {"LFWT", "RFWT", "LBWT", "RBWT"});
    const int32_t pelvis = session.createCentroid()->index;
    select(session, {"LFWT", "RFWT"});
    const int32_t frontWaist = session.createCentroid()->index;
    select(session, {"C7", "CLAV"});
    const int32_t chest = session.createCentroid()->index;

    session.clearMarkerSelection();
    for (int32_t i = 0; i < session.markerCount(); ++i)
        session.selectMarker(i);
    Group* group = session.createGroup();
    session.createHeadingVectorFor(pelvis, frontWaist, group->groupNumber);
    session.createUpVectorFor(pelvis, chest, group->groupNumber);
    select(session, {"LTOE", "LHEE", "LMT5"});
    session.setCollider();
    select(session, {"RTOE", "RHEE", "RMT5"});
    session.setCollider();
    session.clearMarkerSelection();

    if (!buildPoses(*group)) {
        if (error)
            *error = "could not build the poses";
        return nullptr;
    }
    return group;
}

Group* buildDanceGroup(MotionCaptureSession& session, const std::filesystem::path& takeDir, std::string* error)
{
    std::vector<std::string> paths;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(takeDir, ec))
        if (entry.path().extension() == ".mov")
            paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    std::vector<std::string> errors;
    session.loadMarkers(paths, &errors);
    const int32_t count = session.markerCount();
    if (!errors.empty() || count < 5) {
        if (error)
            *error = errors.empty() ? "could not read the take" : errors.front();
        return nullptr;
    }
    session.clearMarkerSelection();
    for (int32_t i = 0; i < count; ++i)
        session.selectMarker(i);
    const int32_t root = session.createCentroid()->index;
    session.clearMarkerSelection();
    for (int32_t i = 0; i < 4; ++i)
        session.selectMarker(i);
    const int32_t head = session.createCentroid()->index;
    session.clearMarkerSelection();
    for (int32_t i = 0; i < session.markerCount(); ++i)
        session.selectMarker(i);
    Group* group = session.createGroup();
    session.createHeadingVectorFor(root, 4, group->groupNumber);
    session.createUpVectorFor(root, head, group->groupNumber);
    session.clearMarkerSelection();
    if (!buildPoses(*group)) {
        if (error)
            *error = "could not build the poses";
        return nullptr;
    }
    return group;
}

} // namespace duolo::test
