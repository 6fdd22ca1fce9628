// C3D files: a 512-byte header block, a parameter section of groups and parameters, and a data
// section of frames (per frame every point's x, y, z and residual word, then the analog samples).
// Numbers are stored as the writing processor did: Intel (little-endian IEEE), DEC (little-endian
// integers, VAX F floats) or MIPS (big-endian IEEE). Integer storage scales the coordinates by
// POINT:SCALE; a negative scale means floating-point storage.
#include "capture/CaptureReader.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <optional>

namespace duolo {
namespace {

constexpr size_t kBlock = 512;
enum class Processor { Intel = 84, Dec = 85, Mips = 86 };

struct Failure {
    std::string problem;
};
[[noreturn]] void fail(std::string problem) { throw Failure{std::move(problem)}; }

// Reads the file's numbers in its processor's byte order and float format. Every access is
// checked against the file's size by its callers.
class Numbers {
public:
    Numbers(std::string_view bytes, Processor processor) : b_(bytes), processor_(processor) {}

    uint8_t u8(size_t at) const { return static_cast<uint8_t>(b_[at]); }
    int8_t i8(size_t at) const { return static_cast<int8_t>(b_[at]); }
    uint16_t u16(size_t at) const
    {
        return processor_ == Processor::Mips ? static_cast<uint16_t>(u8(at) << 8 | u8(at + 1))
                                             : static_cast<uint16_t>(u8(at) | u8(at + 1) << 8);
    }
    int16_t i16(size_t at) const { return static_cast<int16_t>(u16(at)); }
    float f32(size_t at) const
    {
        if (processor_ == Processor::Dec)
            return decFloat(at);
        const uint32_t word = processor_ == Processor::Mips
                                  ? uint32_t{u16(at)} << 16 | u16(at + 2)
                                  : uint32_t{u16(at + 2)} << 16 | u16(at);
        return std::bit_cast<float>(word);
    }

private:
    // VAX F floating point: two little-endian 16-bit words, the first holding the sign, an
    // excess-128 exponent and the top of a fraction with a hidden leading bit: 0.1f * 2^(e - 128).
    float decFloat(size_t at) const
    {
        const uint32_t word = uint32_t{u16(at)} << 16 | u16(at + 2);
        const int exponent = static_cast<int>((word >> 23) & 0xFF);
        if (exponent == 0)
            return 0.0f;  // zero (or the reserved operand, which no writer should produce)
        const double fraction = static_cast<double>((word & 0x7FFFFF) | 0x800000);
        const double value = std::ldexp(fraction, exponent - 128 - 24);
        return static_cast<float>((word >> 31) ? -value : value);
    }

    std::string_view b_;
    Processor processor_;
};

struct Parameter {
    int type = 0;               // -1 text, 1 byte, 2 16-bit integer, 4 float
    std::vector<size_t> dims;
    size_t data = 0;            // offset of the first element in the file
    size_t count() const
    {
        size_t n = 1;
        for (size_t d : dims)
            n *= d;
        return n;
    }
};

std::string upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

class C3dFile {
public:
    explicit C3dFile(std::string_view bytes) : b_(bytes) {}

    void read(RawCaptureTake& take)
    {
        if (b_.size() < kBlock)
            fail("the file is too short to hold a C3D header (" + std::to_string(b_.size()) + " bytes)");
        if (static_cast<uint8_t>(b_[1]) != 0x50)
            fail("it is not a C3D file (the header's key byte is not 0x50)");
        const size_t parameterBlock = static_cast<uint8_t>(b_[0]);
        if (parameterBlock < 2 || (parameterBlock - 1) * kBlock + 4 > b_.size())
            fail("the header points its parameter section to block " + std::to_string(parameterBlock) +
                 ", outside the file");
        const size_t section = (parameterBlock - 1) * kBlock;
        const int processor = static_cast<uint8_t>(b_[section + 3]);
        if (processor < 84 || processor > 86)
            fail("unknown processor type " + std::to_string(processor) + " (84 Intel, 85 DEC, 86 MIPS)");
        n_.emplace(b_, static_cast<Processor>(processor));
        // A block count of 0 (left unset by some writers) bounds the section by the file alone.
        const size_t blocks = static_cast<uint8_t>(b_[section + 2]);
        if (section + blocks * kBlock > b_.size())
            fail("the parameter section (" + std::to_string(blocks) + " blocks from block " +
                 std::to_string(parameterBlock) + ") runs past the end of the file");
        readParameters(section + 4, blocks == 0 ? b_.size() : section + blocks * kBlock);
        readData(take, parameterBlock);
    }

private:
    const Numbers& n() const { return *n_; }

    void readParameters(size_t at, size_t end)
    {
        std::map<int, std::string> groupNames;
        std::vector<std::pair<int, std::pair<std::string, Parameter>>> found;
        while (at + 2 <= end) {
            const int nameLength = std::abs(static_cast<int>(n().i8(at)));  // negative: locked
            const int id = n().i8(at + 1);                                 // negative: a group
            if (nameLength == 0 || id == 0)
                break;
            const size_t name = at + 2;
            const size_t link = name + static_cast<size_t>(nameLength);
            if (link + 2 > end)
                fail("a parameter record runs past the end of the parameter section");
            std::string label = upper(std::string(b_.substr(name, static_cast<size_t>(nameLength))));
            const int offset = n().i16(link);  // from the link word itself to the next record
            if (offset < 0 || (offset > 0 && link + static_cast<size_t>(offset) > end))
                fail("parameter record " + label + " points outside the parameter section");
            if (id < 0) {
                groupNames[-id] = label;
            } else {
                Parameter p;
                size_t cursor = link + 2;
                if (cursor + 2 > end)
                    fail("parameter " + label + " runs past the end of the parameter section");
                p.type = n().i8(cursor);
                const size_t dimensions = n().u8(cursor + 1);
                if (p.type != -1 && p.type != 1 && p.type != 2 && p.type != 4)
                    fail("parameter " + label + " has the unknown type " + std::to_string(p.type));
                cursor += 2;
                if (dimensions > 7 || cursor + dimensions > end)
                    fail("parameter " + label + " has a dimension list that the file cannot hold");
                for (size_t d = 0; d < dimensions; ++d)
                    p.dims.push_back(n().u8(cursor + d));
                p.data = cursor + dimensions;
                const size_t size = p.count() * static_cast<size_t>(std::abs(p.type));
                const size_t recordEnd = offset > 0 ? link + static_cast<size_t>(offset) : end;
                if (p.data + size > recordEnd)
                    fail("parameter " + label + " holds more data than its record");
                found.push_back({id, {std::move(label), std::move(p)}});
            }
            if (offset == 0)
                break;
            at = link + static_cast<size_t>(offset);
        }
        // Groups may follow their parameters, so names are joined at the end.
        for (auto& [id, entry] : found) {
            const auto group = groupNames.find(id);
            if (group != groupNames.end())
                parameters_.emplace(group->second + ":" + entry.first, std::move(entry.second));
        }
    }

    const Parameter* find(const char* key) const
    {
        const auto it = parameters_.find(key);
        return it == parameters_.end() ? nullptr : &it->second;
    }

    // The first element of a numeric parameter; nothing for text or an empty parameter.
    std::optional<double> number(const char* key, bool unsignedWords = false) const
    {
        const Parameter* p = find(key);
        if (!p || p->count() == 0)
            return std::nullopt;
        switch (p->type) {
        case 1: return n().u8(p->data);
        case 2: return unsignedWords ? double(n().u16(p->data)) : double(n().i16(p->data));
        case 4: return n().f32(p->data);
        default: return std::nullopt;
        }
    }

    std::optional<std::string> text(const char* key) const
    {
        const Parameter* p = find(key);
        if (!p || p->type != -1)
            return std::nullopt;
        return std::string(b_.substr(p->data, p->count()));
    }

    // A 32-bit frame number stored as two 16-bit words, low word first.
    std::optional<uint32_t> longFrame(const char* key) const
    {
        const Parameter* p = find(key);
        if (!p || p->type != 2 || p->count() < 2)
            return std::nullopt;
        return uint32_t{n().u16(p->data)} | uint32_t{n().u16(p->data + 2)} << 16;
    }

    uint64_t frameCount() const
    {
        // Takes longer than 65,535 frames keep their range in TRIAL (32-bit, low word first) or
        // their count in a float POINT:FRAMES or POINT:LONG_FRAMES; the header's 16-bit range
        // serves every other file.
        uint64_t first = n().u16(6);
        uint64_t last = n().u16(8);
        const auto trialStart = longFrame("TRIAL:ACTUAL_START_FIELD");
        const auto trialEnd = longFrame("TRIAL:ACTUAL_END_FIELD");
        if (trialStart && trialEnd) {
            first = *trialStart;
            last = *trialEnd;
        } else {
            for (const char* key : {"POINT:LONG_FRAMES", "POINT:FRAMES"}) {
                const Parameter* frames = find(key);
                if (!frames || frames->type != 4)
                    continue;
                const double f = number(key).value_or(0.0);
                if (f > 65535.0 && f < 4294967296.0 && f == std::floor(f))
                    return static_cast<uint64_t>(f);
            }
        }
        if (last < first)
            fail("its frame range ends (frame " + std::to_string(last) + ") before it starts (frame " +
                 std::to_string(first) + ")");
        return last - first + 1;
    }

    std::vector<std::string> labels(size_t points) const
    {
        std::vector<std::string> out;
        for (int k = 1; out.size() < points; ++k) {
            const std::string key = k == 1 ? "POINT:LABELS" : "POINT:LABELS" + std::to_string(k);
            const Parameter* p = find(key.c_str());
            if (!p)
                break;
            if (p->type != -1)
                fail(key + " is not text");
            if (p->dims.empty())
                continue;
            const size_t width = p->dims[0];
            const size_t count = width == 0 ? 0 : p->count() / width;
            for (size_t i = 0; i < count && out.size() < points; ++i)
                out.push_back(cleanLabel(b_.substr(p->data + i * width, width), key));
        }
        out.resize(points);
        return out;
    }

    // Labels are blank- or NUL-padded text; a label with control characters is refused, and
    // bytes that are not UTF-8 are taken as Latin-1.
    static std::string cleanLabel(std::string_view raw, const std::string& key)
    {
        std::string s(raw);
        for (char& c : s)
            if (c == '\0')
                c = ' ';
        const auto first = s.find_first_not_of(' ');
        if (first == std::string::npos)
            return {};
        s = s.substr(first, s.find_last_not_of(' ') - first + 1);
        for (unsigned char c : s)
            if (c < 0x20 || c == 0x7F)
                fail(key + " holds a label that is not text");
        return validUtf8(s) ? s : latin1ToUtf8(s);
    }

    static bool validUtf8(std::string_view s)
    {
        for (size_t i = 0; i < s.size();) {
            const auto c = static_cast<unsigned char>(s[i]);
            if (c < 0x80) {
                ++i;
                continue;
            }
            const size_t extra = (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 0;
            if (extra == 0 || i + extra >= s.size())
                return false;
            for (size_t k = 1; k <= extra; ++k)
                if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2)
                    return false;
            i += extra + 1;
        }
        return true;
    }

    static std::string latin1ToUtf8(std::string_view s)
    {
        std::string out;
        for (unsigned char c : s) {
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else {
                out += static_cast<char>(0xC0 | c >> 6);
                out += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        return out;
    }

    // The entries of a text parameter: one string when it has one dimension, one per column
    // of its second dimension otherwise, each without its padding.
    std::vector<std::string> textEntries(const char* key) const
    {
        std::vector<std::string> out;
        const Parameter* p = find(key);
        if (!p || p->type != -1)
            return out;
        const size_t width = p->dims.empty() ? p->count() : p->dims[0];
        const size_t count = width == 0 ? 0 : p->count() / width;
        for (size_t i = 0; i < count; ++i) {
            std::string entry(b_.substr(p->data + i * width, width));
            std::replace(entry.begin(), entry.end(), '\0', ' ');
            const auto first = entry.find_first_not_of(" \t");
            out.push_back(first == std::string::npos
                              ? std::string()
                              : entry.substr(first, entry.find_last_not_of(" \t") - first + 1));
        }
        return out;
    }

    // POINT:UNITS is one text in most files and one entry per point in some; the entries must
    // agree, since one take has one scale. Millimetres where nothing is said.
    void readUnits(RawCaptureTake& take) const
    {
        std::string units;
        for (const std::string& entry : textEntries("POINT:UNITS")) {
            if (entry.empty())
                continue;
            if (centimetresPerUnit(entry) == 0.0)
                fail("its POINT:UNITS \"" + entry + "\" are none of mm, cm or m");
            if (units.empty())
                units = entry;
            else if (centimetresPerUnit(entry) != centimetresPerUnit(units))
                fail("its POINT:UNITS differ between points (\"" + units + "\" and \"" + entry +
                     "\"); one take needs one unit");
        }
        take.centimetresPerUnit = units.empty() ? 0.1 : centimetresPerUnit(units);
        take.units = unitsName(take.centimetresPerUnit);
    }

    void readData(RawCaptureTake& take, size_t parameterBlock)
    {
        const auto used = number("POINT:USED", true);
        const size_t points = used ? static_cast<size_t>(*used) : n().u16(2);
        const size_t analogPerFrame = n().u16(4);
        const double scale = number("POINT:SCALE").value_or(n().f32(12));
        if (scale == 0.0 || !std::isfinite(scale))
            fail("its POINT:SCALE is " + std::string(scale == 0.0 ? "0" : "not a number"));
        const bool floats = scale < 0.0;
        const size_t word = floats ? 4 : 2;

        readUnits(take);
        if (const auto up = text("POINT:Y_SCREEN"); up && up->find_first_not_of(" \t") != std::string::npos) {
            if (!parseVerticalAxis(*up, take.vertical))
                fail("its POINT:Y_SCREEN \"" + *up + "\" names no axis");
            take.verticalSource = "POINT:Y_SCREEN";
        }
        const double rate = number("POINT:RATE").value_or(n().f32(20));
        take.frameRate = std::isfinite(rate) ? rate : 0.0;

        // The header's data block, unless it points into the header or the parameters: then the
        // parameter's (one of the two is wrong in some files written in the wild).
        size_t dataBlock = n().u16(16);
        const auto validBlock = [&](size_t block) { return block > parameterBlock; };
        if (!validBlock(dataBlock)) {
            const auto start = number("POINT:DATA_START", true);
            if (!start || !validBlock(static_cast<size_t>(*start)))
                fail("neither its header nor POINT:DATA_START points to a data section after the parameters");
            dataBlock = static_cast<size_t>(*start);
        }
        const uint64_t dataStart = uint64_t{dataBlock - 1} * kBlock;
        if (dataStart > b_.size())
            fail("its data section (block " + std::to_string(dataBlock) + ") lies outside the file");

        const uint64_t declared = frameCount();
        if (points == 0)
            fail("it holds no 3D points");
        const uint64_t frameBytes = (uint64_t{points} * 4 + analogPerFrame) * word;
        const uint64_t held = (b_.size() - dataStart) / frameBytes;
        uint64_t frames = declared;
        if (held < declared) {
            // Some writers declare one frame more than they store; anything shorter is a cut file.
            if (declared - held > 1)
                fail("the file is truncated: its data section holds " + std::to_string(held) + " of the " +
                     std::to_string(declared) + " frames it declares");
            frames = held;
            take.note = "The file declares " + std::to_string(declared) + " frames but holds " +
                        std::to_string(held) + "; the missing last frame was left out.";
        }
        if (frames > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
            fail("it declares more frames than can be loaded");
        take.frameCount = static_cast<int32_t>(frames);

        const std::vector<std::string> names = labels(points);
        take.points.resize(points);
        for (size_t p = 0; p < points; ++p) {
            take.points[p].label = names[p];
            take.points[p].samples.resize(static_cast<size_t>(frames));
        }
        const double nan = std::numeric_limits<double>::quiet_NaN();
        for (uint64_t f = 0; f < frames; ++f) {
            size_t at = static_cast<size_t>(dataStart + f * frameBytes);
            for (size_t p = 0; p < points; ++p, at += 4 * word) {
                Vec3& position = take.points[p].samples[static_cast<size_t>(f)].position;
                // A negative residual word marks a sample that the system did not see.
                if (floats) {
                    const float residual = n().f32(at + 12);
                    position = residual < 0.0f ? Vec3{nan, nan, nan}
                                               : Vec3{n().f32(at), n().f32(at + 4), n().f32(at + 8)};
                } else {
                    position = n().i16(at + 6) < 0 ? Vec3{nan, nan, nan}
                                                   : Vec3{n().i16(at) * scale, n().i16(at + 2) * scale,
                                                          n().i16(at + 4) * scale};
                }
            }
        }
    }

    std::string_view b_;
    std::optional<Numbers> n_;
    std::map<std::string, Parameter, std::less<>> parameters_;
};

class C3dReader final : public CaptureFormatReader {
public:
    std::string_view formatName() const override { return "C3D"; }
    std::string_view extension() const override { return ".c3d"; }
    bool read(std::string_view bytes, RawCaptureTake& take, std::string& problem) const override
    {
        try {
            take = {};
            C3dFile(bytes).read(take);
            return true;
        } catch (const Failure& f) {
            problem = f.problem;
            take = {};
            return false;
        }
    }
};

} // namespace

const CaptureFormatReader& c3dReader()
{
    static const C3dReader reader;
    return reader;
}

} // namespace duolo
