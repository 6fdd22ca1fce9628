#pragma once

#include "capture/Vec3.h"

#include <string>
#include <string_view>
#include <vector>

namespace duolo {

// A marker take in the TRC format, the tab-separated text that biomechanics and animation
// tools read: a short header (rate, frame and marker counts, units), a row of marker names with
// an X/Y/Z column triple each, then one row per frame (frame number from 1, time in seconds,
// the coordinates). Coordinates are written as given, y up.
struct TrcTake {
    double frameRate = 25.0;
    std::string units = "cm";
    std::vector<std::string> markerNames;
    std::vector<std::vector<Vec3>> frames;  // frames[f][m]; every frame has one point per marker
};

// The text of the file; `fileName` goes into the first header line. The capture importer
// (trcReader in CaptureReader.h) reads it back.
std::string formatTrc(const TrcTake& take, std::string_view fileName);

// Writes the file; on failure false and `error` names the file and the reason.
bool writeTrcFile(const std::string& path, const TrcTake& take, std::string& error);

// A column name safe for the format: no tabs, line breaks or blanks (each becomes '_').
std::string trcSafeName(std::string_view name);

} // namespace duolo
