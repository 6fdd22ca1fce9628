#include "playback/PassRecorder.h"

#include "playback/Placement.h"
#include "skeleton/Group.h"

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
    return writeRecordingFile(path, recording_, error);
}


} // namespace duolo
