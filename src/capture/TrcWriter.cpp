#include "capture/TrcWriter.h"

#include "capture/MarkerFile.h"
#include "capture/NumberText.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace duolo {

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

} // namespace duolo
