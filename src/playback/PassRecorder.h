#pragma once

#include "playback/Ensemble.h"
#include "playback/PlaybackRecording.h"
#include "playback/TransitionBlend.h"

#include <string>
#include <string_view>
#include <vector>

namespace duolo {

// Records an ensemble's playback without a window, as the playback page's "Record" does: the
// groups playable at the start are the columns, and each pass's row is taken before the pass
// (the frame it shows), optionally blended at transitions.
class PassRecorder {
public:
    PassRecorder(const Ensemble& ensemble, int32_t blendFrames);

    void recordPass();
    const PlaybackRecording& recording() const { return recording_; }
    // Writes the rows as the page's export does (C3D for *.c3d, else TRC); on failure false
    // with `error` naming the file.
    bool write(const std::string& path, std::string& error) const;

private:
    std::vector<const Group*> groups_;
    PlaybackRecording recording_;
    TransitionBlender blender_;
    std::vector<Vec3> points_;
};

} // namespace duolo
