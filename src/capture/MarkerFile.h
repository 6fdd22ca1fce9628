#pragma once

#include "capture/Marker.h"

#include <string>
#include <string_view>
#include <vector>

namespace duolo {

// Parses the text of a marker file (*.mov). There is one sample per line-feed byte; the tokens
// (runs of characters other than tab, blank and line feed) form one flat stream that is read
// three at a time. Positions are scaled by 0.1, and the file's second and third columns become
// z and y (the file is z-up, the scene y-up). Missing or unparsable values read as 0.
std::vector<Marker> parseMarkerText(std::string_view text);

// Reads a marker file. On failure returns false and sets `error` to a message that names the
// file and the reason; `samples` is then left empty.
bool readMarkerFile(const std::string& path, std::vector<Marker>& samples, std::string& error);

// The part of a path after its last '/' or '\\' (the whole path when it has neither).
std::string displayFileName(std::string_view path);

} // namespace duolo
