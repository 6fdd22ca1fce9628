#include "capture/CaptureReader.h"

#include "capture/MarkerFile.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace duolo {
namespace {

bool hasExtension(std::string_view path, std::string_view extension)
{
    if (path.size() < extension.size())
        return false;
    const auto tail = path.substr(path.size() - extension.size());
    for (size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(tail[i])) != extension[i])
            return false;
    return true;
}

bool readWholeFile(const std::string& path, std::string& bytes, std::string& error)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        error = path + ": cannot read capture file: it is not a regular file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open capture file: " + std::strerror(errno);
        return false;
    }
    in.seekg(0, std::ios::end);
    const auto size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size > 0)
        bytes.resize(static_cast<size_t>(size));
    if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
        error = path + ": cannot read capture file: " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace

const CaptureFormatReader* captureReaderFor(std::string_view path)
{
    for (const CaptureFormatReader* reader : {&c3dReader(), &trcReader()})
        if (hasExtension(path, reader->extension()))
            return reader;
    return nullptr;
}

bool readCaptureFile(const std::string& path, CaptureFile& file, std::string& error,
                     const CaptureImportOptions& options)
{
    const CaptureFormatReader* reader = captureReaderFor(path);
    if (!reader) {
        error = path + ": not a capture file (.c3d or .trc)";
        return false;
    }
    std::string bytes;
    if (!readWholeFile(path, bytes, error))
        return false;
    RawCaptureTake raw;
    std::string problem;
    if (!reader->read(bytes, raw, problem)) {
        error = path + ": cannot read " + std::string(reader->formatName()) + " file: " + problem;
        return false;
    }
    bytes = {};
    file = finishCaptureTake(std::move(raw), path, std::string(reader->formatName()), options);
    if (file.trajectories.empty()) {
        error = path + ": cannot read " + std::string(reader->formatName()) + " file: " +
                (file.pointCount == 0 ? "it holds no points" : "none of its points has a valid sample");
        return false;
    }
    return true;
}

bool readTrajectoryFile(const std::string& path, std::vector<LoadedTrajectory>& trajectories,
                        std::string& notice, std::string& error, const CaptureImportOptions& options)
{
    trajectories.clear();
    notice.clear();
    if (!captureReaderFor(path)) {
        LoadedTrajectory one{path, {}};
        if (!readMarkerFile(path, one.samples, error))
            return false;
        trajectories.push_back(std::move(one));
        return true;
    }
    CaptureFile file;
    if (!readCaptureFile(path, file, error, options))
        return false;
    notice = captureNotice(path, file);
    trajectories = std::move(file.trajectories);
    return true;
}

} // namespace duolo
