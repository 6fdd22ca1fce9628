#pragma once

#include "capture/CaptureTake.h"

#include <string>
#include <string_view>
#include <vector>

namespace duolo {

// One capture file format (C3D, TRC): recognised by its extension, read from the file's bytes.
class CaptureFormatReader {
public:
    virtual ~CaptureFormatReader() = default;
    virtual std::string_view formatName() const = 0;
    virtual std::string_view extension() const = 0;  // lower case, with the dot
    // Reads a whole file. On failure returns false with `problem` saying what is wrong (without
    // the file's name); `take` is then unspecified.
    virtual bool read(std::string_view bytes, RawCaptureTake& take, std::string& problem) const = 0;
};

const CaptureFormatReader& c3dReader();
const CaptureFormatReader& trcReader();

// The reader for a path's extension (any case), or null for every other file: marker files.
const CaptureFormatReader* captureReaderFor(std::string_view path);

// Reads a capture file into trajectories (see finishCaptureTake). A file that cannot be read, is
// refused by its reader or yields no trajectory at all gives false and an `error` that names the
// file and the problem. `options` carry what the user decided over the file.
bool readCaptureFile(const std::string& path, CaptureFile& file, std::string& error,
                     const CaptureImportOptions& options = {});

// Reads any trajectory file: a capture file gives one trajectory per point, any other file is a
// marker file (*.mov) and gives one trajectory named by its path. `notice` receives what the user
// should be told about a file that did load (empty when nothing).
bool readTrajectoryFile(const std::string& path, std::vector<LoadedTrajectory>& trajectories,
                        std::string& notice, std::string& error, const CaptureImportOptions& options = {});

} // namespace duolo
