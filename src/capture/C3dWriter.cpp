// The C3D file as written here: block 1 the header, blocks 2.. the parameter section (groups
// POINT, ANALOG and, for long takes, TRIAL), then the data section, every frame its points'
// x, y, z and residual as little-endian IEEE floats.
#include "capture/C3dWriter.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>

namespace duolo {
namespace {

constexpr size_t kBlock = 512;
constexpr int kIntel = 84;
constexpr size_t kPerParameter = 255;  // a dimension is one byte
constexpr size_t kLongestText = 255;

class Bytes {
public:
    std::string out;

    void u8(unsigned v) { out.push_back(static_cast<char>(v & 0xFF)); }
    void u16(unsigned v)
    {
        u8(v);
        u8(v >> 8);
    }
    void f32(float v)
    {
        const auto w = std::bit_cast<uint32_t>(v);
        u16(w & 0xFFFF);
        u16(w >> 16);
    }
    void text(const std::string& s) { out += s; }
    void padTo(size_t size) { out.resize(size, '\0'); }
};

// One record of the parameter section without its link word, which depends on its neighbours.
struct Record {
    int id;  // negative for a group
    std::string name;
    std::string body;
};

class ParameterSection {
public:
    void group(int id, const std::string& name, const std::string& description)
    {
        Bytes b;
        b.u8(static_cast<unsigned>(description.size()));
        b.text(description);
        records_.push_back({-id, name, b.out});
    }
    void integer(int group, const std::string& name, unsigned value)
    {
        add(group, name, 2, {}, [&](Bytes& b) { b.u16(value); });
    }
    void real(int group, const std::string& name, float value)
    {
        add(group, name, 4, {}, [&](Bytes& b) { b.f32(value); });
    }
    // A 32-bit whole number as two 16-bit words, low word first.
    void longInteger(int group, const std::string& name, uint32_t value)
    {
        add(group, name, 2, {2}, [&](Bytes& b) {
            b.u16(value & 0xFFFF);
            b.u16(value >> 16);
        });
    }
    void text(int group, const std::string& name, const std::string& value)
    {
        add(group, name, -1, {value.size()}, [&](Bytes& b) { b.text(value); });
    }
    // A table of blank-padded texts, `kPerParameter` to a parameter: NAME, NAME2, NAME3...
    void texts(int group, const std::string& name, const std::vector<std::string>& values)
    {
        for (size_t first = 0, k = 1; first < values.size() || k == 1; first += kPerParameter, ++k) {
            const size_t n = std::min(kPerParameter, values.size() - first);
            size_t width = 1;
            for (size_t i = 0; i < n; ++i)
                width = std::max(width, values[first + i].size());
            add(group, k == 1 ? name : name + std::to_string(k), -1, {width, n}, [&](Bytes& b) {
                for (size_t i = 0; i < n; ++i)
                    b.text(values[first + i] + std::string(width - values[first + i].size(), ' '));
            });
        }
    }

    // The section's bytes from its first block on, padded to whole blocks.
    std::string bytes() const
    {
        Bytes b;
        b.u8(1);
        b.u8(0x50);
        b.u8(0);  // block count, set below
        b.u8(kIntel);
        for (const Record& r : records_) {
            b.u8(static_cast<unsigned>(r.name.size()));
            b.u8(static_cast<unsigned>(static_cast<int8_t>(r.id)));
            b.text(r.name);
            b.u16(static_cast<unsigned>(r.body.size() + 2));  // from the link word to the next record
            b.text(r.body);
        }
        b.u16(0);  // a record of no name ends the section
        b.padTo((b.out.size() + kBlock - 1) / kBlock * kBlock);
        b.out[2] = static_cast<char>(std::min<size_t>(b.out.size() / kBlock, 255));
        return b.out;
    }

private:
    template <class Data>
    void add(int group, const std::string& name, int type, std::vector<size_t> dims, Data data)
    {
        Bytes b;
        b.u8(static_cast<unsigned>(static_cast<int8_t>(type)));
        b.u8(static_cast<unsigned>(dims.size()));
        for (size_t d : dims)
            b.u8(static_cast<unsigned>(d));
        data(b);
        b.u8(0);  // no description
        records_.push_back({group, name, b.out});
    }

    std::vector<Record> records_;
};

std::string clipped(const std::string& text) { return text.substr(0, kLongestText); }

// Every parameter of the file; `dataBlock` (POINT:DATA_START) changes no sizes.
ParameterSection describe(const C3dTake& take, size_t dataBlock)
{
    const size_t points = take.labels.size();
    const size_t frames = take.frames.size();
    const bool longTake = frames > 0xFFFF;
    const auto rate = static_cast<float>(take.frameRate);
    enum { kPoint = 1, kAnalog = 2, kTrial = 3 };
    ParameterSection section;
    section.group(kPoint, "POINT", "3-D point parameters");
    section.integer(kPoint, "USED", static_cast<unsigned>(points));
    if (longTake)
        section.real(kPoint, "FRAMES", static_cast<float>(frames));
    else
        section.integer(kPoint, "FRAMES", static_cast<unsigned>(frames));
    section.integer(kPoint, "DATA_START", static_cast<unsigned>(dataBlock));
    section.real(kPoint, "SCALE", -1.0f);
    section.real(kPoint, "RATE", rate);
    section.text(kPoint, "UNITS", "mm");
    section.text(kPoint, "X_SCREEN", "+X");
    section.text(kPoint, "Y_SCREEN", "+Z");
    std::vector<std::string> labels;
    for (const std::string& label : take.labels)
        labels.push_back(clipped(label));
    section.texts(kPoint, "LABELS", labels);
    std::vector<std::string> descriptions;
    for (size_t p = 0; p < points; ++p)
        descriptions.push_back(p < take.descriptions.size() ? clipped(take.descriptions[p]) : std::string());
    section.texts(kPoint, "DESCRIPTIONS", descriptions);
    section.group(kAnalog, "ANALOG", "Analog data parameters");
    section.integer(kAnalog, "USED", 0);
    section.real(kAnalog, "RATE", rate);
    if (longTake) {
        section.group(kTrial, "TRIAL", "Trial parameters");
        section.longInteger(kTrial, "ACTUAL_START_FIELD", 1);
        section.longInteger(kTrial, "ACTUAL_END_FIELD", static_cast<uint32_t>(frames));
    }
    return section;
}

} // namespace

bool formatC3d(const C3dTake& take, std::string& bytes, std::string& problem)
{
    const size_t points = take.labels.size();
    const size_t frames = take.frames.size();
    if (points > 0xFFFF) {
        problem = "a C3D file holds at most 65535 points, not " + std::to_string(points);
        return false;
    }
    if (frames > 0xFFFFFFFEu) {
        problem = "a C3D file holds at most 4294967294 frames";
        return false;
    }
    const size_t parameterBlocks = describe(take, 0).bytes().size() / kBlock;
    if (parameterBlocks > 255) {
        problem = "its labels need a parameter section of " + std::to_string(parameterBlocks) +
                  " blocks, more than the 255 a C3D file can hold";
        return false;
    }
    const size_t dataBlock = 2 + parameterBlocks;  // the header is block 1, the parameters start at 2
    const float rate = static_cast<float>(take.frameRate);

    Bytes out;
    out.u8(2);  // parameters from block 2
    out.u8(0x50);
    out.u16(static_cast<unsigned>(points));
    out.u16(0);  // analog measurements per frame
    out.u16(1);  // first frame
    out.u16(static_cast<unsigned>(std::min<size_t>(frames, 0xFFFF)));
    out.u16(0);  // largest gap filled by interpolation
    out.f32(-1.0f);
    out.u16(static_cast<unsigned>(dataBlock));
    out.u16(0);  // analog samples per frame
    out.f32(rate);
    out.padTo(kBlock);
    out.text(describe(take, dataBlock).bytes());
    out.out.reserve(out.out.size() + frames * points * 16 + kBlock);
    for (const std::vector<Vec3>& frame : take.frames) {
        for (size_t p = 0; p < points; ++p) {
            const Vec3 v = p < frame.size() ? frame[p] : Vec3{};
            out.f32(static_cast<float>(v.x));
            out.f32(static_cast<float>(v.y));
            out.f32(static_cast<float>(v.z));
            out.f32(0.0f);  // residual 0: seen
        }
    }
    out.padTo((out.out.size() + kBlock - 1) / kBlock * kBlock);
    bytes = std::move(out.out);
    return true;
}

bool writeC3dFile(const std::string& path, const C3dTake& take, std::string& error)
{
    std::string bytes;
    std::string problem;
    if (!formatC3d(take, bytes, problem)) {
        error = path + ": cannot write the C3D file: " + problem;
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = path + ": cannot create the C3D file: " + std::strerror(errno);
        return false;
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        error = path + ": cannot write the C3D file: " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace duolo
