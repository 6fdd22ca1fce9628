// synthesize: one group walks along a floor path (its next clips chosen by a graph search) while
// the other groups play as play plays them; every pass's placed markers go to a TRC file.
#include "capture/Random.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/SavedGraphs.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/GraphPruning.h"
#include "playback/EnsemblePlayer.h"
#include "playback/PassRecorder.h"
#include "playback/PathFollowing.h"
#include "playback/Placement.h"
#include "session/MotionCaptureSession.h"
#include "session/PlaybackEnsemble.h"
#include "skeleton/Group.h"

#include <cmath>
#include <fstream>
#include <optional>
#include <sstream>

namespace duolo::cli {
namespace {

using nlohmann::json;

constexpr const char* kUsage =
    "usage: duolo-mg synthesize PROJECT.dwz (--gaps G (--threshold T | --threshold-fraction F) | --saved-graphs) "
    "--group N --path PATH.json [--blend K] [--prune] [--seed S] [--horizon FRAMES] [--max-passes N] [--end-tolerance D] [--turn-travel] --out OUT.trc";

struct SynthesizeOptions {
    std::string project;
    bool savedGraphs = false;
    std::optional<int32_t> gaps;
    std::optional<double> threshold;
    std::optional<double> thresholdFraction;
    int32_t group = 0;
    std::string path;
    int32_t blend = 0;
    bool prune = false;
    uint32_t seed = 1;
    int32_t horizon = 50;
    int64_t maxPasses = 20000;
    double endTolerance = 3.0;
    bool turnTravel = false;
    std::string out;
};

// {"points": [[x, z], ...]}, at least two points, every number finite.
std::vector<FloorPath::Point> readPath(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw CliError(file + ": cannot read the path file");
    std::stringstream text;
    text << in.rdbuf();
    const json document = json::parse(text.str(), nullptr, false);
    if (document.is_discarded() || !document.is_object() || !document.contains("points") || !document["points"].is_array())
        throw CliError(file + ": not a path (expected {\"points\": [[x, z], ...]})");
    std::vector<FloorPath::Point> points;
    for (const json& p : document["points"]) {
        if (!p.is_array() || p.size() != 2 || !p[0].is_number() || !p[1].is_number() ||
            !std::isfinite(p[0].get<double>()) || !std::isfinite(p[1].get<double>()))
            throw CliError(file + ": every point must be [x, z] with two finite numbers");
        points.push_back({p[0].get<double>(), p[1].get<double>()});
    }
    if (points.size() < 2)
        throw CliError(file + ": a path needs at least two points");
    return points;
}

void synthesize(const SynthesizeOptions& options)
{
    auto refuse = [](const std::string& what) {
        throw CliError("synthesize: " + what + " (" + std::string(kUsage) + ")", 2);
    };
    if (const std::string problem = graphSourceProblem(options.savedGraphs, options.gaps.has_value(),
                                                       options.threshold.has_value(),
                                                       options.thresholdFraction.has_value());
        !problem.empty())
        refuse(problem);
    if (options.blend < 0 || options.blend > kMaxBlendFrames)
        refuse("--blend must be 0 to " + std::to_string(kMaxBlendFrames) + " frames");
    if (!isRecordingPath(options.out))
        refuse("--out: " + options.out + " must end in .trc or .c3d");
    if (options.horizon < 1 || options.maxPasses < 1)
        refuse("--horizon and --max-passes must be at least 1");
    std::vector<FloorPath::Point> points = readPath(options.path);

    std::unique_ptr<MotionCaptureSession> session;
    if (options.savedGraphs) {
        session = loadProjectWithGraphsOrThrow(options.project);
        poseEveryGroup(*session, options.project);
    } else {
        session = loadProjectOrThrow(options.project);
        buildEveryGroupGraph(*session, options.project, *options.gaps, options.threshold, options.thresholdFraction);
    }
    if (options.prune)
        pruneEveryGroup(*session, "synthesize");
    if (options.group < 0 || options.group >= session->groupCount())
        refuse("--group " + std::to_string(options.group) + ": the project has " +
               std::to_string(session->groupCount()) + " groups");
    for (const auto& owned : session->groups) {
        Group& g = *owned;
        g.currentNode = g.previousNode = g.graph->nodes.empty() ? nullptr : g.graph->nodes.front();
        g.positionOffset = g.rotationOffset = Vec3{};
        setTravelTurns(g, options.turnTravel);
    }
    Group& steered = *session->groups[static_cast<size_t>(options.group)];
    if (!isPlayable(steered))
        throw CliError("synthesize: group " + std::to_string(options.group) + " has no motion graph to walk");
    if (placementParent(steered))
        refuse("--group " + std::to_string(options.group) + " rides on its parent: steer the parent instead");

    // The path starts where the group's root stands at its first shown frame; it keeps its
    // direction and size.
    const Vec3 start = rootOf(currentPose(steered));
    const FloorPath::Point anchor = points.front();
    for (FloorPath::Point& p : points)
        p = {p.x - anchor.x + start.x, p.z - anchor.z + start.z};
    PathSearchSettings settings;
    settings.horizonFrames = options.horizon;
    PathFollower follower(steered, FloorPath(points), settings);

    seedRandom(options.seed);
    EnsemblePlayer player;
    player.setSteering(options.group, &follower);
    const Ensemble ensemble = playbackEnsemble(*session);
    PassRecorder recorder(ensemble, options.blend);
    double distanceSum = 0.0, largest = 0.0;
    int64_t passes = 0;
    const double length = follower.path().length();
    const FloorPath::Point end = follower.path().points().back();
    bool endReached = false;
    // Until the root, having come along the whole path, is within the end tolerance of its last
    // point (a closed path ends where it starts).
    while (passes < options.maxPasses) {
        const Vec3 root = placePoint(steered, currentPose(steered), rootOf(currentPose(steered)));
        follower.moveRootTo(root.x, root.z);
        const double d = follower.path().distanceTo(root.x, root.z);
        distanceSum += d;
        largest = std::max(largest, d);
        recorder.recordPass();
        player.runPass(ensemble);
        ++passes;
        if (follower.progress() >= length - options.endTolerance &&
            std::hypot(root.x - end.x, root.z - end.z) <= options.endTolerance) {
            endReached = true;
            break;
        }
    }
    std::string error;
    if (!recorder.write(options.out, error))
        throw CliError("synthesize: " + error);
    const Vec3 root = placePoint(steered, currentPose(steered), rootOf(currentPose(steered)));
    printJson({{"frames", passes},
               {"pathLength", jsonNumber(length)},
               {"lengthReached", jsonNumber(follower.progress())},
               {"endReached", endReached},
               {"rootTravelled", jsonNumber(follower.travelled())},
               {"distanceToEnd", jsonNumber(std::hypot(root.x - end.x, root.z - end.z))},
               {"meanDistance", jsonNumber(passes > 0 ? distanceSum / static_cast<double>(passes) : 0.0)},
               {"largestDistance", jsonNumber(largest)},
               {"searches", follower.searches()},
               {"searchSeconds", jsonNumber(follower.totalSearchSeconds())},
               {"longestSearchSeconds", jsonNumber(follower.longestSearchSeconds())},
               {"resets", player.counters().resets},
               {"turnTravel", options.turnTravel}});
}

} // namespace

void registerSynthesizeCommand(CLI::App& app)
{
    auto options = std::make_shared<SynthesizeOptions>();
    auto* command = app.add_subcommand("synthesize", "Walk one group along a floor path and write the ensemble as TRC");
    command->add_option("project", options->project, "Project file (*.dwz)")->required();
    command->add_option("--gaps", options->gaps, "Least distance in frames between a transition's ends");
    command->add_flag("--saved-graphs", options->savedGraphs, "Use the motion graphs saved beside the project");
    auto* threshold = command->add_option("--threshold", options->threshold, "Largest frame distance of a transition");
    auto* fraction = command->add_option("--threshold-fraction", options->thresholdFraction,
                                         "Threshold as a fraction of each group's largest frame distance (truncated)");
    threshold->excludes(fraction);
    command->add_option("--group", options->group, "The group that follows the path")->required();
    command->add_option("--path", options->path, "The path: {\"points\": [[x, z], ...]} in floor coordinates, "
                                                 "moved to start where the group's root starts")->required();
    command->add_option("--blend", options->blend, "Blend the written positions over this many frames (0 to 30)");
    command->add_flag("--prune", options->prune, "Keep only each group's largest strongly connected component");
    command->add_option("--seed", options->seed, "Seed of the random generator (the other groups' walks)");
    command->add_option("--horizon", options->horizon, "Frames each search looks ahead (default 50, 2 s at 25 a second)");
    command->add_option("--max-passes", options->maxPasses, "Most passes before giving up (default 20000)");
    command->add_option("--end-tolerance", options->endTolerance,
                        "How near the path's last point the root must come to end (default 3 floor units)");
    command->add_flag("--turn-travel", options->turnTravel,
                      "Turn each body's path with its body at transitions, so that turns taken at transitions "
                      "turn the walk (without it a body travels in its take's recorded directions)");
    command->add_option("--out", options->out, "TRC file for every pass's placed markers")->required();
    command->callback([options] { synthesize(*options); });
}

} // namespace duolo::cli
