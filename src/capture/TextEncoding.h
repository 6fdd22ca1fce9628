#pragma once

#include <string>
#include <string_view>

namespace duolo {

// Names (trajectory names: file paths, "Centroid N", " C:n" suffixes) are stored as the raw
// bytes they were read or made with, so that a project saves back byte for byte. Projects
// written on Windows carry Windows-1252 names, ours carry UTF-8.

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates, nothing past
// U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// The text to show or print for a stored name: the bytes themselves when they are valid UTF-8,
// else the bytes decoded as Windows-1252 (its five unassigned bytes as the C1 controls of the
// same value), as UTF-8. The window's lists and the command-line tool's JSON both use this.
std::string displayText(std::string_view bytes);

} // namespace duolo
