#include "playback/PassRecorder.h"

#include "capture/TrcWriter.h"
#include "playback/Placement.h"
#include "skeleton/Group.h"

#include <cctype>
#include <limits>

namespace duolo {

PassRecorder::PassRecorder(const Ensemble& ensemble, int32_t blendFrames)
    : recording_(std::numeric_limits<size_t>::max())
{
    for (int32_t g = 0; g < ensemble.groupCount(); ++g)
        if (isPlayable(ensemble.group(g)))
            groups_.push_back(&ensemble.group(g));
    recording_.start(recordingMarkerNames(groups_));
    blender_.setFrames(blendFrames);
}

void PassRecorder::recordPass()
{
    placedMarkersOfPass(groups_, points_, &blender_);
    recording_.addFrame(points_);
}

bool PassRecorder::write(const std::string& path, std::string& error) const
{
    return writeTrcFile(path, recording_.toTrc(kRecordingExportScale, kRecordingExportUnits), error);
}

bool isTrcPath(std::string_view path)
{
    if (path.size() < 4)
        return false;
    std::string tail(path.substr(path.size() - 4));
    for (char& c : tail)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".trc";
}

} // namespace duolo
