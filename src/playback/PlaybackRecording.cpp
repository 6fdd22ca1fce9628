#include "playback/PlaybackRecording.h"

#include "capture/MarkerFile.h"
#include "playback/Placement.h"
#include "playback/TransitionBlend.h"
#include "skeleton/Group.h"
#include "skeleton/Skeleton.h"

#include <cctype>
#include <functional>

namespace duolo {

void PlaybackRecording::start(std::vector<std::string> markerNames)
{
    clear();
    names_ = std::move(markerNames);
    recording_ = true;
}

void PlaybackRecording::clear()
{
    recording_ = false;
    reachedLimit_ = false;
    names_.clear();
    points_.clear();
    points_.shrink_to_fit();
}

int32_t PlaybackRecording::frameCount() const
{
    return names_.empty() ? 0 : static_cast<int32_t>(points_.size() / names_.size());
}

bool PlaybackRecording::addFrame(const std::vector<Vec3>& points)
{
    if (!recording_ || points.size() != names_.size() || points.empty())
        return false;
    const size_t bytes = (points_.size() + points.size()) * sizeof(Vec3);
    if (bytes > byteLimit_) {
        reachedLimit_ = true;
        recording_ = false;
        return false;
    }
    points_.insert(points_.end(), points.begin(), points.end());
    return true;
}

std::vector<std::vector<Vec3>> PlaybackRecording::rows(const std::function<Vec3(const Vec3&)>& convert) const
{
    std::vector<std::vector<Vec3>> out;
    const int32_t frames = frameCount();
    out.reserve(static_cast<size_t>(frames));
    for (int32_t f = 0; f < frames; ++f) {
        std::vector<Vec3> row;
        row.reserve(names_.size());
        for (size_t m = 0; m < names_.size(); ++m)
            row.push_back(convert(point(f, m)));
        out.push_back(std::move(row));
    }
    return out;
}

TrcTake PlaybackRecording::toTrc(double scale, std::string units) const
{
    TrcTake take;
    take.frameRate = kPassesPerSecond;
    take.units = std::move(units);
    take.markerNames = names_;
    // The scene is the marker files' z-up frame with height and depth swapped, a mirror;
    // turning depth round gives the right-handed y-up frame of TRC files, so that the export is
    // the capture's own handedness and imports back where it was recorded.
    take.frames = rows([scale](const Vec3& p) { return Vec3{p.x, p.y, -p.z} * scale; });
    return take;
}

C3dTake PlaybackRecording::toC3d() const
{
    C3dTake take;
    take.frameRate = kPassesPerSecond;
    take.labels = names_;
    for (const std::string& name : names_)
        take.descriptions.push_back(name.substr(0, name.find('_')));
    // Scene units are tenths of the marker files' centimetres, with height and depth swapped:
    // swapping them back is the capture's own z-up frame.
    take.frames = rows([](const Vec3& p) { return Vec3{p.x, p.z, p.y} * 100.0; });
    return take;
}

std::string recordingMarkerName(int32_t groupNumber, std::string_view markerName)
{
    std::string name = displayFileName(markerName);
    // Collider suffixes " C:n" (one per collider assignment) come after the file name.
    for (size_t cut = name.rfind(" C:"); cut != std::string::npos; cut = name.rfind(" C:")) {
        if (cut + 3 == name.size() || name.find_first_not_of("0123456789", cut + 3) != std::string::npos)
            break;
        name.erase(cut);
    }
    constexpr std::string_view extension = ".mov";
    if (name.size() > extension.size() && name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
        name.erase(name.size() - extension.size());
    return trcSafeName("Group" + std::to_string(groupNumber) + "_" + name);
}

std::vector<std::string> recordingMarkerNames(const std::vector<const Group*>& groups)
{
    std::vector<std::string> names;
    for (const Group* g : groups)
        for (const AnimatedMarker* m : g->members)
            names.push_back(recordingMarkerName(g->groupNumber, m ? std::string_view(m->name) : std::string_view("?")));
    return names;
}

void placedMarkersOfPass(std::span<const Group* const> groups, std::vector<Vec3>& points, TransitionBlender* blender)
{
    points.clear();
    for (const Group* g : groups) {
        const size_t first = points.size();
        const Skeleton& pose = currentPose(*g);
        const PointPlacer placer(*g, pose);
        for (const Marker& joint : pose.joints)
            points.push_back(placer.place(joint.position));
        if (blender)
            blender->apply(g->groupNumber, *g, std::span<Vec3>(points.data() + first, points.size() - first));
    }
}

namespace {

bool endsWithNoCase(std::string_view text, std::string_view tail)
{
    if (text.size() < tail.size())
        return false;
    for (size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - tail.size() + i])) != tail[i])
            return false;
    return true;
}

} // namespace

bool isRecordingPath(std::string_view path)
{
    return endsWithNoCase(path, ".trc") || endsWithNoCase(path, ".c3d");
}

bool writeRecordingFile(const std::string& path, const PlaybackRecording& recording, std::string& error)
{
    return endsWithNoCase(path, ".c3d")
               ? writeC3dFile(path, recording.toC3d(), error)
               : writeTrcFile(path, recording.toTrc(PlaybackRecording::kTrcScale, PlaybackRecording::kTrcUnits), error);
}

} // namespace duolo
