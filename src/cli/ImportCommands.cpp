// import: a session of one capture file's trajectories (no groups), saved as a project, with a
// summary of what the file held and what was filled.
#include "capture/CaptureReader.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "session/MotionCaptureSession.h"
#include "session/ProjectFile.h"

namespace duolo::cli {
namespace {

using nlohmann::json;

struct ImportArguments {
    std::string file;
    std::string out;
    std::string up;
};

void importCaptureFile(const std::string& path, const std::string& outPath, const std::string& up)
{
    CaptureImportOptions options;
    if (!up.empty()) {
        VerticalAxis axis;
        if (!parseVerticalAxis(up, axis) || (up.front() != '+' && up.front() != '-'))
            throw CliError("--up \"" + up + "\" is none of +X, -X, +Y, -Y, +Z, -Z", 2);
        options.up = axis;
    }
    if (!captureReaderFor(path))
        throw CliError(path + ": import reads C3D (*.c3d) and TRC (*.trc) files", 2);
    CaptureFile file;
    std::string error;
    if (!readCaptureFile(path, file, error, options))
        throw CliError(error);

    json labels = json::array();
    MotionCaptureSession session;
    for (auto& t : file.trajectories) {
        auto marker = std::make_unique<AnimatedMarker>(session.markerCount(), std::move(t.name));
        marker->samples = std::move(t.samples);
        labels.push_back(marker->name.substr(path.size() + 1));
        session.markers.push_back(std::move(marker));
    }
    session.loaded = true;
    session.renumber();
    session.frameCount = session.markers.front()->sampleCount();
    session.setFrame(0);
    if (!saveProject(session, outPath, error))
        throw CliError(error);

    printJson({{"project", outPath},
               {"format", file.format},
               {"points", file.pointCount},
               {"trajectories", session.markerCount()},
               {"labels", labels},
               {"frames", file.frameCount},
               {"rate", jsonNumber(file.frameRate)},
               {"units", file.units},
               {"verticalAxis", verticalAxisName(file.vertical)},
               {"gaps",
                {{"pointsWithGaps", file.gaps.pointsWithGaps},
                 {"longestGap", file.gaps.longestGap},
                 {"filledSamples", file.gaps.filledSamples},
                 {"leftOut", file.gaps.leftOut}}},
               {"note", file.note.empty() ? json(nullptr) : json(file.note)}});
}

} // namespace

void registerImportCommands(CLI::App& app)
{
    auto args = std::make_shared<ImportArguments>();
    auto* command = app.add_subcommand("import", "Make a project of a C3D or TRC file's trajectories");
    command->add_option("file", args->file, "Capture file (*.c3d, *.trc)")->required();
    command->add_option("out", args->out, "Project file to write (*.dwz)")->required();
    command->add_option("--up", args->up,
                        "Vertical axis of the file, taken as it stands: +X, -X, +Y, -Y, +Z or -Z (without it: "
                        "the file's axis, its sign from where most samples lie)");
    command->callback([args] { importCaptureFile(args->file, args->out, args->up); });
}

} // namespace duolo::cli
