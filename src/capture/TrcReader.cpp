// TRC files: tab-separated text. A "PathFileType" line, a line of header names (DataRate,
// NumFrames, NumMarkers, Units, ...) and a line of their values, a line "Frame#, Time" followed
// by one label per point (each label spans its X, Y and Z columns), a line of column names, then
// one row per frame: frame number, time and x, y, z of every point. An empty cell is a missing
// sample. The vertical axis is +Y.
#include "capture/CaptureReader.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <map>

namespace duolo {
namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> cells(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    std::vector<std::string_view> out;
    for (;;) {
        const auto tab = line.find('\t');
        out.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos)
            return out;
        line.remove_prefix(tab + 1);
    }
}

// Whole-cell number conversion, independent of the locale; empty cells are missing samples.
bool parseCell(std::string_view cell, double& value)
{
    cell = trim(cell);
    if (!cell.empty() && cell.front() == '+')
        cell.remove_prefix(1);
    const auto [end, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
    return ec == std::errc() && end == cell.data() + cell.size() && !cell.empty();
}

class TrcReader final : public CaptureFormatReader {
public:
    std::string_view formatName() const override { return "TRC"; }
    std::string_view extension() const override { return ".trc"; }

    bool read(std::string_view text, RawCaptureTake& take, std::string& problem) const override
    {
        take = {};
        std::vector<std::string_view> lines;
        for (size_t at = 0; at < text.size();) {
            const auto end = text.find('\n', at);
            lines.push_back(text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
            at = end == std::string_view::npos ? text.size() : end + 1;
        }
        if (lines.empty() || trim(lines[0]).substr(0, 12) != "PathFileType") {
            problem = "it is not a TRC file (it does not start with \"PathFileType\")";
            return false;
        }
        if (lines.size() < 5) {
            problem = "the file is truncated: its header needs five lines";
            return false;
        }
        std::map<std::string, std::string, std::less<>> header;
        const auto names = cells(lines[1]);
        const auto values = cells(lines[2]);
        for (size_t i = 0; i < names.size() && i < values.size(); ++i)
            header[std::string(trim(names[i]))] = std::string(trim(values[i]));
        const auto labels = cells(lines[3]);

        const auto count = [&](const char* key, size_t limit, size_t& out) {
            const auto it = header.find(key);
            double v = 0;
            if (it == header.end() || !parseCell(it->second, v) || v < 0 || v != std::floor(v)) {
                problem = std::string("its header has no whole number for ") + key;
                return false;
            }
            if (v > static_cast<double>(limit)) {
                problem = std::string("its ") + key + " (" + it->second + ") is more than the file can hold";
                return false;
            }
            out = static_cast<size_t>(v);
            return true;
        };
        size_t points = 0, declaredFrames = 0;
        if (!count("NumMarkers", (std::max(labels.size(), cells(lines[4]).size()) + 2) / 3, points) ||
            !count("NumFrames", lines.size(), declaredFrames))
            return false;
        if (points == 0) {
            problem = "it holds no points (NumMarkers is 0)";
            return false;
        }
        const auto units = header.find("Units");
        take.units = units == header.end() || units->second.empty() ? "mm" : units->second;
        take.centimetresPerUnit = centimetresPerUnit(take.units);
        if (take.centimetresPerUnit == 0.0) {
            problem = "its Units \"" + take.units + "\" are none of mm, cm or m";
            return false;
        }
        take.vertical = VerticalAxis::PlusY;
        if (const auto rate = header.find("DataRate"); rate != header.end())
            parseCell(rate->second, take.frameRate);

        take.points.resize(points);
        for (size_t p = 0; p < points; ++p) {
            const size_t column = 2 + 3 * p;
            take.points[p].label = column < labels.size() ? std::string(trim(labels[column])) : std::string();
            take.points[p].samples.reserve(declaredFrames);
        }
        const double nan = std::numeric_limits<double>::quiet_NaN();
        size_t frames = 0;
        for (size_t row = 5; row < lines.size() && frames < declaredFrames; ++row) {
            if (trim(lines[row]).empty())
                continue;
            const auto c = cells(lines[row]);
            for (size_t p = 0; p < points; ++p) {
                double xyz[3];
                bool present = true;
                for (size_t k = 0; k < 3; ++k) {
                    const size_t column = 2 + 3 * p + k;
                    if (column >= c.size() || trim(c[column]).empty()) {
                        present = false;
                    } else if (!parseCell(c[column], xyz[k])) {
                        problem = "line " + std::to_string(row + 1) + ", column " + std::to_string(column + 1) +
                                  ": \"" + std::string(trim(c[column])) + "\" is not a number";
                        take = {};
                        return false;
                    }
                }
                take.points[p].samples.emplace_back(present ? Vec3{xyz[0], xyz[1], xyz[2]} : Vec3{nan, nan, nan},
                                                    Vec3{}, static_cast<int32_t>(frames));
            }
            ++frames;
        }
        if (frames < declaredFrames) {
            if (declaredFrames - frames > 1) {
                problem = "the file is truncated: it holds " + std::to_string(frames) + " of the " +
                          std::to_string(declaredFrames) + " frames it declares";
                take = {};
                return false;
            }
            take.note = "The file declares " + std::to_string(declaredFrames) + " frames but holds " +
                        std::to_string(frames) + "; the missing last frame was left out.";
        }
        take.frameCount = static_cast<int32_t>(frames);
        return true;
    }
};

} // namespace

const CaptureFormatReader& trcReader()
{
    static const TrcReader reader;
    return reader;
}

} // namespace duolo
