#include "capture/CaptureTake.h"

#include "capture/MarkerFile.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

namespace duolo {
namespace {

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

// The file's (x, y, z) turned so that the vertical axis becomes the third column. Each case is a
// proper rotation (determinant +1), so no take is ever mirrored.
Vec3 turnUpright(const Vec3& p, VerticalAxis up)
{
    switch (up) {
    case VerticalAxis::PlusZ: return p;
    case VerticalAxis::MinusZ: return {p.x, -p.y, -p.z};  // half turn about x
    case VerticalAxis::PlusY: return {p.x, -p.z, p.y};    // quarter turns about x
    case VerticalAxis::MinusY: return {p.x, p.z, -p.y};
    case VerticalAxis::PlusX: return {-p.z, p.y, p.x};    // quarter turns about y
    case VerticalAxis::MinusX: return {p.z, p.y, -p.x};
    }
    return p;
}

bool isValidSample(const Vec3& p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) &&
           !(p.x == 0.0 && p.y == 0.0 && p.z == 0.0);
}

// Fills the missing samples of one point in place (linearly inside, held at the ends). Returns
// false when the point has no valid sample at all.
bool fillGaps(std::vector<Vec3>& p, const std::vector<uint8_t>& valid, CaptureGapReport& report)
{
    const auto n = static_cast<int64_t>(p.size());
    int64_t previous = -1;  // last valid sample seen
    int32_t filled = 0;
    int64_t longest = 0;
    for (int64_t i = 0; i <= n; ++i) {
        if (i < n && !valid[static_cast<size_t>(i)])
            continue;
        const int64_t gap = i - previous - 1;
        if (gap > 0) {
            if (previous < 0 && i == n)
                return false;
            for (int64_t k = previous + 1; k < i; ++k) {
                Vec3& target = p[static_cast<size_t>(k)];
                if (previous < 0)
                    target = p[static_cast<size_t>(i)];
                else if (i == n)
                    target = p[static_cast<size_t>(previous)];
                else {
                    const double t = static_cast<double>(k - previous) / static_cast<double>(i - previous);
                    const Vec3& a = p[static_cast<size_t>(previous)];
                    target = a + (p[static_cast<size_t>(i)] - a) * t;
                }
            }
            filled += static_cast<int32_t>(gap);
            longest = std::max(longest, gap);
        }
        previous = i;
    }
    if (n == 0)
        return false;
    if (filled > 0) {
        ++report.pointsWithGaps;
        report.filledSamples += filled;
        report.longestGap = std::max(report.longestGap, static_cast<int32_t>(longest));
    }
    return true;
}

// Labels become the last part of a trajectory's name, so they must not add path separators.
std::string pointName(const std::string& label, size_t index)
{
    if (label.empty()) {
        std::string unnamed = "#";
        unnamed += std::to_string(index);
        return unnamed;
    }
    std::string name = label;
    std::replace(name.begin(), name.end(), '/', '_');
    std::replace(name.begin(), name.end(), '\\', '_');
    return name;
}

// The height of a file point above the floor along a signed vertical axis.
double heightAlong(const Vec3& p, VerticalAxis up)
{
    switch (up) {
    case VerticalAxis::PlusX: return p.x;
    case VerticalAxis::MinusX: return -p.x;
    case VerticalAxis::PlusY: return p.y;
    case VerticalAxis::MinusY: return -p.y;
    case VerticalAxis::PlusZ: return p.z;
    case VerticalAxis::MinusZ: return -p.z;
    }
    return p.z;
}

// Some writers name the vertical axis with the wrong sign (bodies standing on +Z in a file that
// says -Z), so the sign follows the data: bodies stand on the floor, so most of their samples
// lie above it. A tie keeps what the file says.
void takeUpSignFromData(RawCaptureTake& raw, const std::string& format)
{
    int64_t above = 0;
    int64_t below = 0;
    for (const RawCapturePoint& point : raw.points) {
        for (const Marker& sample : point.samples) {
            if (!isValidSample(sample.position))
                continue;
            const double h = heightAlong(sample.position, raw.vertical);
            above += h > 0.0;
            below += h < 0.0;
        }
    }
    if (below <= above)
        return;
    const VerticalAxis stated = raw.vertical;
    raw.vertical = oppositeAxis(stated);
    std::string said = raw.verticalSource.empty()
                           ? "The file names no vertical axis (" + format + " files usually have " +
                                 verticalAxisName(stated) + " up)"
                           : "Its " + raw.verticalSource + " names " + verticalAxisName(stated) + " as up";
    said += ", but most samples lie on the " + verticalAxisName(raw.vertical) + " side of the floor: " +
            verticalAxisName(raw.vertical) + " was taken as up.";
    raw.note += (raw.note.empty() ? "" : " ") + said;
}

} // namespace

bool parseVerticalAxis(std::string_view text, VerticalAxis& axis)
{
    text = trimmed(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.size() != 1)
        return false;
    switch (std::toupper(static_cast<unsigned char>(text.front()))) {
    case 'X': axis = negative ? VerticalAxis::MinusX : VerticalAxis::PlusX; return true;
    case 'Y': axis = negative ? VerticalAxis::MinusY : VerticalAxis::PlusY; return true;
    case 'Z': axis = negative ? VerticalAxis::MinusZ : VerticalAxis::PlusZ; return true;
    default: return false;
    }
}

std::string verticalAxisName(VerticalAxis axis)
{
    switch (axis) {
    case VerticalAxis::PlusX: return "+X";
    case VerticalAxis::MinusX: return "-X";
    case VerticalAxis::PlusY: return "+Y";
    case VerticalAxis::MinusY: return "-Y";
    case VerticalAxis::PlusZ: return "+Z";
    case VerticalAxis::MinusZ: return "-Z";
    }
    return "+Z";
}

VerticalAxis oppositeAxis(VerticalAxis axis)
{
    switch (axis) {
    case VerticalAxis::PlusX: return VerticalAxis::MinusX;
    case VerticalAxis::MinusX: return VerticalAxis::PlusX;
    case VerticalAxis::PlusY: return VerticalAxis::MinusY;
    case VerticalAxis::MinusY: return VerticalAxis::PlusY;
    case VerticalAxis::PlusZ: return VerticalAxis::MinusZ;
    case VerticalAxis::MinusZ: return VerticalAxis::PlusZ;
    }
    return axis;
}

std::string unitsName(double centimetresPerUnit)
{
    return centimetresPerUnit == 0.1 ? "mm" : centimetresPerUnit == 1.0 ? "cm" : "m";
}

double centimetresPerUnit(std::string_view units)
{
    std::string u(trimmed(units));
    std::transform(u.begin(), u.end(), u.begin(), [](unsigned char c) { return std::tolower(c); });
    if (u == "mm")
        return 0.1;
    if (u == "cm")
        return 1.0;
    if (u == "m")
        return 100.0;
    return 0.0;
}

CaptureFile finishCaptureTake(RawCaptureTake&& raw, const std::string& path, std::string format,
                              const CaptureImportOptions& options)
{
    if (options.centimetresPerUnit > 0.0) {
        raw.centimetresPerUnit = options.centimetresPerUnit;
        raw.units = unitsName(options.centimetresPerUnit);
    }
    if (options.up)
        raw.vertical = *options.up;
    else
        takeUpSignFromData(raw, format);

    CaptureFile file;
    file.format = std::move(format);
    file.pointCount = static_cast<int32_t>(raw.points.size());
    file.frameCount = raw.frameCount;
    file.frameRate = raw.frameRate;
    file.units = raw.units;
    file.vertical = raw.vertical;
    file.note = raw.note;

    std::vector<Vec3> columns;  // (a, b, c) in centimetres, c vertical: the marker file's columns
    std::vector<uint8_t> valid;
    for (size_t index = 0; index < raw.points.size(); ++index) {
        RawCapturePoint& point = raw.points[index];
        const size_t n = point.samples.size();
        columns.resize(n);
        valid.resize(n);
        for (size_t i = 0; i < n; ++i) {
            const Vec3& p = point.samples[i].position;
            valid[i] = isValidSample(p);
            columns[i] = valid[i] ? turnUpright(p, raw.vertical) * raw.centimetresPerUnit : Vec3{};
        }
        if (!fillGaps(columns, valid, file.gaps)) {
            file.gaps.leftOut.push_back(pointName(point.label, index));
            point.samples = {};
            continue;
        }
        // The same arithmetic as the marker file reader, so that nothing later can tell the two apart.
        std::vector<Marker>& samples = point.samples;
        for (size_t i = 0; i < n; ++i) {
            const Vec3& c = columns[i];
            samples[i] = Marker(i == 0 ? nullptr : &samples[i - 1], c.x * 0.1, c.z * 0.1, c.y * 0.1,
                                static_cast<int32_t>(i));
        }
        file.trajectories.push_back({path + "/" + pointName(point.label, index), std::move(samples)});
    }
    return file;
}

std::string captureNotice(const std::string& path, const CaptureFile& file)
{
    const auto& g = file.gaps;
    if (g.pointsWithGaps == 0 && g.leftOut.empty() && file.note.empty())
        return {};
    std::string text = displayFileName(path) + ": ";
    if (g.pointsWithGaps > 0) {
        text += std::to_string(g.pointsWithGaps) + " of " + std::to_string(file.pointCount) +
                (file.pointCount == 1 ? " point" : " points") + " had gaps, filled by interpolation (" +
                std::to_string(g.filledSamples) + " samples; the longest gap " + std::to_string(g.longestGap) +
                (g.longestGap == 1 ? " frame)" : " frames)");
    } else {
        text += "no gaps to fill";
    }
    text += ".";
    if (!g.leftOut.empty()) {
        text += " Left out for lack of a single valid sample: ";
        for (size_t i = 0; i < g.leftOut.size(); ++i) {
            if (i > 0)
                text += ", ";
            text += g.leftOut[i];
        }
        text += ".";
    }
    if (!file.note.empty())
        text += " " + file.note;
    return text;
}

} // namespace duolo
