#pragma once

#include "capture/C3dWriter.h"
#include "capture/TrcWriter.h"
#include "capture/Vec3.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace duolo {

class Group;
class TransitionBlender;

// The placed joints of the played groups, kept pass by pass while the user records, so that
// the recombined ensemble can leave the program as a TRC file. Memory is bounded: frames stop
// being kept once the next one would pass the byte limit (one frame costs 24 bytes per marker,
// so a 44-marker body costs about 1.6 MB per minute at 25 passes per second).
class PlaybackRecording {
public:
    static constexpr size_t kDefaultByteLimit = size_t{256} << 20;
    static constexpr double kPassesPerSecond = 25.0;
    // The TRC export's scale and units: marker files are read at a tenth of their units, so
    // this gives them back in the units the capture had (centimetres for the sample).
    static constexpr double kTrcScale = 10.0;
    static constexpr const char* kTrcUnits = "cm";

    explicit PlaybackRecording(size_t byteLimit = kDefaultByteLimit) : byteLimit_(byteLimit) {}

    // Starts a new recording with one column per marker (what was kept before is dropped).
    void start(std::vector<std::string> markerNames);
    // Stops keeping frames; what was kept stays for export.
    void stop() { recording_ = false; }
    void clear();

    bool isRecording() const { return recording_; }
    // True once a frame was refused because the limit was reached (recording then stopped).
    bool reachedLimit() const { return reachedLimit_; }
    size_t markerCount() const { return names_.size(); }
    int32_t frameCount() const;
    const std::vector<std::string>& markerNames() const { return names_; }
    // Point m of frame f.
    const Vec3& point(int32_t frame, size_t marker) const { return points_[static_cast<size_t>(frame) * names_.size() + marker]; }

    // Keeps one frame, one point per marker in column order. Returns false (keeping nothing)
    // when not recording or when the frame has the wrong size; when the limit would be passed
    // it also stops the recording.
    bool addFrame(const std::vector<Vec3>& points);

    size_t bytesPerFrame() const { return names_.size() * sizeof(Vec3); }
    // Memory one minute of recording takes for that many markers.
    static double bytesPerMinute(size_t markers) { return static_cast<double>(markers * sizeof(Vec3)) * kPassesPerSecond * 60.0; }

    // The kept frames as a TRC take at 25 frames per second in a right-handed y-up frame (the
    // scene's depth z changes sign), every coordinate multiplied by `scale` and labelled with
    // `units`.
    TrcTake toTrc(double scale, std::string units) const;
    // The kept frames as a C3D take at 25 frames per second: millimetres in the capture's own
    // right-handed z-up frame, labelled as the TRC columns, each described by its group
    // ("Group<g>").
    C3dTake toC3d() const;

private:
    // Every kept frame, each point converted.
    std::vector<std::vector<Vec3>> rows(const std::function<Vec3(const Vec3&)>& convert) const;

    size_t byteLimit_;
    bool recording_ = false;
    bool reachedLimit_ = false;
    std::vector<std::string> names_;
    std::vector<Vec3> points_;
};

// The column of member `markerName` of group `groupNumber`: "Group<g>_<name>", with the name's
// folders, ".mov" extension and collider suffixes (" C:n") left out.
std::string recordingMarkerName(int32_t groupNumber, std::string_view markerName);
// The columns of the given groups: every member of each, in group then member order.
std::vector<std::string> recordingMarkerNames(const std::vector<const Group*>& groups);

// Whether the path names a file a recording can be written to: *.trc or *.c3d (any case).
bool isRecordingPath(std::string_view path);

// What the playback page's "Export" writes: a C3D file for *.c3d, else a TRC file (the scene's
// coordinates times 10, labelled "cm"). On failure false with `error` naming the file.
bool writeRecordingFile(const std::string& path, const PlaybackRecording& recording, std::string& error);

// One recorded frame: the placed joints of the given (playable) groups at the frame each shows,
// in group then member order, as recordingMarkerNames names them. With a blender each group's
// joints are smoothed at transitions (its group number as slot). `points` is overwritten.
void placedMarkersOfPass(std::span<const Group* const> groups, std::vector<Vec3>& points,
                         TransitionBlender* blender = nullptr);

} // namespace duolo
