#include "capture/TrcFile.h"

#include "capture/MarkerFile.h"
#include "capture/NumberText.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace duolo {
namespace {

std::vector<std::string_view> splitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool isNumber(std::string_view field)
{
    const auto first = field.find_first_not_of(" ");
    if (first == std::string_view::npos)
        return false;
    const char c = field[first];
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.';
}

} // namespace

std::string trcSafeName(std::string_view name)
{
    std::string safe(name);
    for (char& c : safe)
        if (c == '\t' || c == '\n' || c == '\r' || c == ' ')
            c = '_';
    return safe;
}

std::string formatTrc(const TrcTake& take, std::string_view fileName)
{
    const std::string rate = formatGeneral(take.frameRate);
    const std::string frames = std::to_string(take.frames.size());
    const std::string markers = std::to_string(take.markerNames.size());
    std::string out;
    out += "PathFileType\t4\t(X/Y/Z)\t" + trcSafeName(fileName) + '\n';
    out += "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\tOrigDataRate\tOrigDataStartFrame\tOrigNumFrames\n";
    out += rate + '\t' + rate + '\t' + frames + '\t' + markers + '\t' + take.units + '\t' + rate + "\t1\t" + frames + '\n';
    out += "Frame#\tTime";
    for (const std::string& name : take.markerNames)
        out += '\t' + trcSafeName(name) + "\t\t";
    out += "\n\t";
    for (size_t m = 1; m <= take.markerNames.size(); ++m) {
        const std::string k = std::to_string(m);
        out += "\tX" + k + "\tY" + k + "\tZ" + k;
    }
    out += "\n\n";
    for (size_t f = 0; f < take.frames.size(); ++f) {
        out += std::to_string(f + 1) + '\t' + formatGeneral(static_cast<double>(f) / take.frameRate);
        for (const Vec3& p : take.frames[f])
            out += '\t' + formatGeneral(p.x) + '\t' + formatGeneral(p.y) + '\t' + formatGeneral(p.z);
        out += '\n';
    }
    return out;
}

bool parseTrc(std::string_view text, TrcTake& take, std::string& error)
{
    take = TrcTake{};
    const std::vector<std::string_view> lines = splitLines(text);
    if (lines.size() < 5 || lines[0].substr(0, 12) != "PathFileType") {
        error = "not a TRC file (no PathFileType header)";
        return false;
    }
    const auto values = splitFields(lines[2]);
    if (values.size() < 5 || !isNumber(values[0]) || !isNumber(values[2]) || !isNumber(values[3])) {
        error = "malformed header line 3 (rate, frame and marker counts, units)";
        return false;
    }
    take.frameRate = parseNumberPrefix(values[0]);
    const auto frameCount = static_cast<size_t>(parseNumberPrefix(values[2]));
    const auto markerCount = static_cast<size_t>(parseNumberPrefix(values[3]));
    take.units = std::string(values[4]);

    const auto names = splitFields(lines[3]);
    for (size_t i = 2; i < names.size(); ++i)
        if (!names[i].empty())
            take.markerNames.emplace_back(names[i]);
    if (take.markerNames.size() != markerCount) {
        error = "the header names " + std::to_string(take.markerNames.size()) + " markers but counts "
                + std::to_string(markerCount);
        return false;
    }

    for (size_t l = 5; l < lines.size(); ++l) {
        if (lines[l].empty())
            continue;
        const auto fields = splitFields(lines[l]);
        if (fields.size() < 2 + 3 * markerCount) {
            error = "line " + std::to_string(l + 1) + " has fewer coordinates than markers";
            return false;
        }
        std::vector<Vec3> frame(markerCount);
        for (size_t m = 0; m < markerCount; ++m) {
            frame[m] = {parseNumberPrefix(fields[2 + 3 * m]), parseNumberPrefix(fields[3 + 3 * m]),
                        parseNumberPrefix(fields[4 + 3 * m])};
        }
        take.frames.push_back(std::move(frame));
    }
    if (take.frames.size() != frameCount) {
        error = "the header counts " + std::to_string(frameCount) + " frames but the file holds "
                + std::to_string(take.frames.size());
        return false;
    }
    return true;
}

bool writeTrcFile(const std::string& path, const TrcTake& take, std::string& error)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = path + ": cannot create the TRC file: " + std::strerror(errno);
        return false;
    }
    const std::string text = formatTrc(take, displayFileName(path));
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        error = path + ": cannot write the TRC file: " + std::strerror(errno);
        return false;
    }
    return true;
}

bool readTrcFile(const std::string& path, TrcTake& take, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open the TRC file: " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::string reason;
    if (!parseTrc(text.str(), take, reason)) {
        error = path + ": " + reason;
        return false;
    }
    return true;
}

} // namespace duolo
