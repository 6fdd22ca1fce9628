#pragma once
// Writes small C3D files for the tests and the benchmark: header, parameter section (POINT and,
// when asked, TRIAL) and data, for Intel, DEC and MIPS processors in integer or float storage.

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace duolo::test {

struct C3dLayout {
    int processor = 84;                   // 84 Intel, 85 DEC, 86 MIPS
    bool floats = true;
    float scale = 0.1f;                   // POINT:SCALE magnitude (integer storage multiplies by it)
    bool writeScale = true;
    int points = 0;
    int frames = 0;
    std::vector<std::string> labels;      // fewer than points leaves the rest unlabelled
    size_t labelsPerParameter = 255;      // the rest continue in LABELS2, LABELS3...
    std::string units = "mm";             // empty: no POINT:UNITS
    std::vector<std::string> unitsPerPoint;  // not empty: POINT:UNITS as one entry per point
    std::string yScreen;                  // empty: no POINT:Y_SCREEN
    float rate = 100.0f;
    int analogPerFrame = 0;               // analog values after the points of each frame
    int firstFrame = 1;
    int lastFrame = -1;                   // -1: firstFrame + frames - 1, clipped to 65535
    bool trialRange = false;              // TRIAL:ACTUAL_START_FIELD / ACTUAL_END_FIELD
    bool floatFrames = false;             // POINT:FRAMES as a float (for more than 65,535)
    bool lockedNames = false;             // negative name lengths
    // Per frame, per point: x, y, z, residual (negative: not seen). Missing entries are 0.
    std::vector<std::array<float, 4>> data;  // frame-major
};

class C3dBytes {
public:
    explicit C3dBytes(int processor) : processor_(processor) {}
    std::string bytes;

    void u8(int v) { bytes.push_back(static_cast<char>(v & 0xFF)); }
    void i16(int v)
    {
        const auto w = static_cast<uint16_t>(v);
        if (processor_ == 86) {
            u8(w >> 8);
            u8(w);
        } else {
            u8(w);
            u8(w >> 8);
        }
    }
    void f32(float v)
    {
        uint32_t w = std::bit_cast<uint32_t>(v);
        if (processor_ == 85)
            w = vax(v);
        if (processor_ == 84) {
            i16(static_cast<int>(w & 0xFFFF));
            i16(static_cast<int>(w >> 16));
        } else {
            i16(static_cast<int>(w >> 16));
            i16(static_cast<int>(w & 0xFFFF));
        }
    }
    void pad(size_t block = 512)
    {
        while (bytes.size() % block)
            u8(0);
    }

private:
    static uint32_t vax(float v)
    {
        if (v == 0.0f)
            return 0;
        int exponent = 0;
        const double fraction = std::frexp(std::fabs(static_cast<double>(v)), &exponent);  // [0.5, 1)
        const auto bits = static_cast<uint32_t>(std::ldexp(fraction, 24)) & 0x7FFFFF;
        return (v < 0 ? 0x80000000u : 0u) | static_cast<uint32_t>(exponent + 128) << 23 | bits;
    }
    int processor_;
};

inline std::string writeC3d(const C3dLayout& s)
{
    // Parameter records: each knows its own bytes; the link word is filled in when joined.
    struct Record {
        int id;
        std::string name;
        std::string body;  // after the link word
    };
    std::vector<Record> records;
    const auto param = [&](int group, const std::string& name, int type, std::vector<int> dims,
                           const std::function<void(C3dBytes&)>& data) {
        C3dBytes b(s.processor);
        b.u8(type);
        b.u8(static_cast<int>(dims.size()));
        for (int d : dims)
            b.u8(d);
        data(b);
        b.u8(0);  // no description
        records.push_back({group, name, b.bytes});
    };
    const auto text = [&](int group, const std::string& name, const std::string& value) {
        param(group, name, -1, {static_cast<int>(value.size())}, [&](C3dBytes& b) { b.bytes += value; });
    };
    const int lastFrame = s.lastFrame >= 0 ? s.lastFrame : std::min(65535, s.firstFrame + s.frames - 1);
    const int parameterBlocks = 4;
    const int dataBlock = 2 + parameterBlocks;

    records.push_back({-1, "POINT", std::string(1, '\0')});
    param(1, "USED", 2, {}, [&](C3dBytes& b) { b.i16(s.points); });
    if (s.floatFrames)
        param(1, "FRAMES", 4, {}, [&](C3dBytes& b) { b.f32(static_cast<float>(s.frames)); });
    else
        param(1, "FRAMES", 2, {}, [&](C3dBytes& b) { b.i16(std::min(s.frames, 65535)); });
    param(1, "DATA_START", 2, {}, [&](C3dBytes& b) { b.i16(dataBlock); });
    if (s.writeScale)
        param(1, "SCALE", 4, {}, [&](C3dBytes& b) { b.f32(s.floats ? -s.scale : s.scale); });
    param(1, "RATE", 4, {}, [&](C3dBytes& b) { b.f32(s.rate); });
    if (!s.unitsPerPoint.empty())
        param(1, "UNITS", -1, {4, static_cast<int>(s.unitsPerPoint.size())}, [&](C3dBytes& b) {
            for (const std::string& u : s.unitsPerPoint)
                b.bytes += (u + "    ").substr(0, 4);
        });
    else if (!s.units.empty())
        text(1, "UNITS", s.units);
    if (!s.yScreen.empty())
        text(1, "Y_SCREEN", s.yScreen);
    for (size_t first = 0, k = 1; first < s.labels.size(); first += s.labelsPerParameter, ++k) {
        const size_t n = std::min(s.labelsPerParameter, s.labels.size() - first);
        size_t width = 1;
        for (size_t i = 0; i < n; ++i)
            width = std::max(width, s.labels[first + i].size());
        param(1, k == 1 ? "LABELS" : "LABELS" + std::to_string(k), -1,
              {static_cast<int>(width), static_cast<int>(n)}, [&](C3dBytes& b) {
                  for (size_t i = 0; i < n; ++i)
                      b.bytes += s.labels[first + i] + std::string(width - s.labels[first + i].size(), ' ');
              });
    }
    if (s.trialRange) {
        const auto range = [&](C3dBytes& b, uint32_t v) {
            b.i16(static_cast<int>(v & 0xFFFF));
            b.i16(static_cast<int>(v >> 16));
        };
        const auto first = static_cast<uint32_t>(s.firstFrame);
        param(2, "ACTUAL_START_FIELD", 2, {2}, [&](C3dBytes& b) { range(b, first); });
        param(2, "ACTUAL_END_FIELD", 2, {2}, [&](C3dBytes& b) { range(b, first + s.frames - 1); });
        records.push_back({-2, "TRIAL", std::string(1, '\0')});  // a group after its parameters
    }

    C3dBytes out(s.processor);
    // Header block.
    out.u8(2);
    out.u8(0x50);
    out.i16(s.points);
    out.i16(s.analogPerFrame);
    out.i16(s.firstFrame);
    out.i16(lastFrame);
    out.i16(0);
    out.f32(s.floats ? -s.scale : s.scale);
    out.i16(dataBlock);
    out.i16(s.analogPerFrame);
    out.f32(s.rate);
    out.pad();
    // Parameter section.
    out.u8(1);
    out.u8(0x50);
    out.u8(parameterBlocks);
    out.u8(s.processor);
    for (const Record& r : records) {
        const int length = static_cast<int>(r.name.size());
        out.u8(s.lockedNames ? -length : length);
        out.u8(r.id);
        out.bytes += r.name;
        out.i16(static_cast<int>(r.body.size()) + 2);
        out.bytes += r.body;
    }
    out.pad();
    out.bytes.resize(static_cast<size_t>(dataBlock - 1) * 512, '\0');
    // Data.
    const size_t count = static_cast<size_t>(s.points) * static_cast<size_t>(s.frames);
    for (size_t f = 0; f < static_cast<size_t>(s.frames); ++f) {
        for (size_t p = 0; p < static_cast<size_t>(s.points); ++p) {
            const size_t i = f * static_cast<size_t>(s.points) + p;
            const std::array<float, 4> v = i < s.data.size() && i < count ? s.data[i] : std::array<float, 4>{};
            for (int k = 0; k < 4; ++k) {
                if (s.floats)
                    out.f32(v[k]);
                else if (k == 3)
                    out.i16(v[3] < 0 ? -1 : 0);
                else
                    out.i16(static_cast<int>(std::lround(v[k] / s.scale)));
            }
        }
        for (int a = 0; a < s.analogPerFrame; ++a)
            s.floats ? out.f32(7.0f) : out.i16(7);
    }
    out.pad();
    return out.bytes;
}

} // namespace duolo::test
