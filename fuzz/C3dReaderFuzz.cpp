// libFuzzer harness for the C3D reader: any bytes must give a take or a refusal, never a crash,
// an out-of-bounds read or an allocation that the input cannot justify. A take that reads is
// also finished (gap filling, conversion), as loading does.
#include "capture/CaptureReader.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    duolo::RawCaptureTake take;
    std::string problem;
    if (duolo::c3dReader().read(bytes, take, problem)) {
        const duolo::CaptureFile file = duolo::finishCaptureTake(std::move(take), "fuzz.c3d", "C3D");
        (void)duolo::captureNotice("fuzz.c3d", file);
    }
    return 0;
}
