#pragma once

#include "capture/Marker.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace duolo {

// A capture file's vertical axis, as a signed axis of the file's own frame.
enum class VerticalAxis { PlusX, MinusX, PlusY, MinusY, PlusZ, MinusZ };

// Reads "+Z", "-y", "Y" and the like (blanks around it ignored); false when it names no axis.
bool parseVerticalAxis(std::string_view text, VerticalAxis& axis);
std::string verticalAxisName(VerticalAxis axis);  // "+X" ... "-Z"
VerticalAxis oppositeAxis(VerticalAxis axis);     // the same axis, the other sign

// Centimetres per unit for "mm", "cm", "m" (any case, blanks ignored); 0 for anything else.
double centimetresPerUnit(std::string_view units);
// "mm", "cm" or "m" for 0.1, 1 or 100 centimetres per unit.
std::string unitsName(double centimetresPerUnit);

// One point of a capture file as its reader found it: one sample per frame whose `position`
// holds the file's own coordinates (file axes, file units); a sample the file marks as missing
// is not-a-number. Velocities are made later.
struct RawCapturePoint {
    std::string label;  // as the file names it; empty when it has no label
    std::vector<Marker> samples;
};

// A whole capture file as its reader found it.
struct RawCaptureTake {
    std::vector<RawCapturePoint> points;
    int32_t frameCount = 0;
    double frameRate = 0.0;
    std::string units = "mm";           // as the file states them
    double centimetresPerUnit = 0.1;
    VerticalAxis vertical = VerticalAxis::PlusZ;
    // What named the vertical axis ("POINT:Y_SCREEN"); empty when the file names none and the
    // format's usual axis stands in.
    std::string verticalSource;
    std::string note;                   // something the reader let pass, said with the gap notice
};

// What the user decided for a capture file, over what the file says.
struct CaptureImportOptions {
    // The vertical axis with its sign, taken as it stands. Without it the axis is the file's (or
    // the format's usual one) and its sign is the side of the floor on which most samples lie.
    std::optional<VerticalAxis> up;
    double centimetresPerUnit = 0.0;    // the file's units when 0
};

// The trajectories made from a capture file and what was done to get them.
struct CaptureGapReport {
    int32_t pointsWithGaps = 0;
    int32_t longestGap = 0;             // in frames
    int32_t filledSamples = 0;
    std::vector<std::string> leftOut;   // labels of the points without a single valid sample
};

struct LoadedTrajectory {
    std::string name;
    std::vector<Marker> samples;
};

struct CaptureFile {
    std::string format;                 // "C3D" or "TRC"
    std::vector<LoadedTrajectory> trajectories;
    int32_t pointCount = 0;             // points in the file, left-out ones included
    int32_t frameCount = 0;
    double frameRate = 0.0;
    std::string units;
    VerticalAxis vertical = VerticalAxis::PlusZ;
    CaptureGapReport gaps;
    std::string note;
};

// Turns a raw take into trajectories named "<path>/<label>" ("#N" for a point without a label):
// a sample is missing when the file marked it so, when it is not finite or when all three of
// its coordinates are 0; missing samples are filled linearly between the nearest valid samples
// of the point, the ends held at the nearest valid sample, and a point without any valid
// sample is left out. Coordinates go to centimetres, the vertical axis turns (by a rotation,
// never a mirror) into the third column, and the samples are then made exactly as the marker
// file reader makes them from its three columns. Bodies stand on the floor, so unless the user
// chose the up axis, the sign of the file's vertical axis is that of most valid samples' height;
// where this overrules the file (or the format's usual axis) the note says so.
CaptureFile finishCaptureTake(RawCaptureTake&& raw, const std::string& path, std::string format,
                              const CaptureImportOptions& options = {});

// One message for the user about a loaded file's gaps, left-out points and tolerated faults;
// empty when there is nothing to say.
std::string captureNotice(const std::string& path, const CaptureFile& file);

} // namespace duolo
