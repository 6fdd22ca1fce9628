// The marker file reader on arbitrary text: one sample per line feed whatever the tokens are,
// and number parsing that agrees with itself on a token read alone.
#include "FuzzSupport.h"

#include "capture/MarkerFile.h"
#include "capture/NumberText.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace duolo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto samples = parseMarkerText(text);
    fuzz::require(samples.size() == static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')),
                  "one sample per line feed");
    for (std::size_t i = 0; i < samples.size(); ++i)
        fuzz::require(samples[i].frame == static_cast<int32_t>(i), "samples are numbered in order");

    // The first token's value, read alone, is the first sample's x before scaling.
    const auto begin = std::min(text.find_first_not_of(" \t\n"), text.size());
    const auto end = std::min(text.find_first_of(" \t\n", begin), text.size());
    const double first = parseNumberPrefix(text.substr(begin, end - begin));
    if (!samples.empty())
        fuzz::require(samples[0].position.x == first * 0.1, "a token reads the same alone and in the stream");
    return 0;
}
