// play: builds every group's poses and motion graph as the dissection page would, then runs the
// ensemble playback engine for a number of passes without a window and prints what each group
// did in every pass.
#include "capture/NumberText.h"
#include "capture/Random.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/SavedGraphs.h"
#include "motiongraph/GraphPruning.h"
#include "motiongraph/FrameDistance.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "playback/EnsemblePlayer.h"
#include "playback/PassRecorder.h"
#include "playback/Placement.h"
#include "playback/TransitionBlend.h"
#include "session/MotionCaptureSession.h"
#include "session/PlaybackEnsemble.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>

namespace duolo::cli {
namespace {

constexpr const char* kUsage =
    "usage: duolo-mg play PROJECT.dwz (--gaps G (--threshold T | --threshold-fraction F) | --saved-graphs) "
    "--seed S --passes N [--rotation-limit DEG] [--balance-tolerance X] [--prune] [--blend K] "
    "[--turn-travel] [--out OUT.trc|OUT.c3d]";

struct PlayOptions {
    std::string project;
    bool savedGraphs = false;
    std::optional<int32_t> gaps;
    std::optional<double> threshold;
    std::optional<double> thresholdFraction;
    std::string seed;
    int64_t passes = 0;
    std::optional<int32_t> rotationLimit;
    std::optional<double> balanceTolerance;
    bool prune = false;
    int32_t blend = 0;
    bool turnTravel = false;
    std::string out;  // recording to write, if any
};

// A whole number of any size, kept as written (less leading zeros) for the output; the generator
// takes it modulo 2^32.
struct Seed {
    std::string text;
    uint32_t value = 0;
};

Seed parseSeed(const std::string& text)
{
    const bool negative = !text.empty() && text.front() == '-';
    std::string digits = text.substr(negative ? 1 : 0);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
        throw CliError("play: --seed: " + text + " is not a whole number (" + std::string(kUsage) + ")", 2);
    uint32_t modulo = 0;  // the magnitude modulo 2^32
    for (char c : digits)
        modulo = modulo * 10u + static_cast<uint32_t>(c - '0');
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    Seed seed;
    seed.value = negative ? 0u - modulo : modulo;
    seed.text = (negative && digits != "0" ? "-" : "") + digits;
    return seed;
}

// Numbers with 17 significant digits (not-a-number and infinities as null).
void appendNumber(std::string& out, double value)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    out += formatGeneral(value, 17);
}

void appendInt(std::string& out, int64_t value) { out += std::to_string(value); }

// The summary of every group's graph that starts the output; `thresholds` as used (NaN where
// the graph was not built here).
void appendGroups(const MotionCaptureSession& session, const std::vector<double>& thresholds, std::string& out)
{
    out += "\"groups\": [";
    for (size_t k = 0; k < session.groups.size(); ++k) {
        const Group& g = *session.groups[k];
        out += k == 0 ? "\n  " : ",\n  ";
        out += "{\"group\": ";
        appendInt(out, g.groupNumber);
        out += ", \"frameCount\": ";
        appendInt(out, g.frameCount);
        out += ", \"maxFrameDistance\": ";
        appendNumber(out, g.maxFrameDistance);
        out += ", \"threshold\": ";
        appendNumber(out, thresholds[k]);
        out += ", \"nodes\": ";
        appendInt(out, g.graph->totalNodeCount());
        out += ", \"edges\": ";
        appendInt(out, g.graph->edgeCount() + g.graph->howManySelectedEdges());
        out += "}";
    }
    out += "],\n";
}

// Every group starts playing at the head of its unselected nodes, at the origin (its travel
// turning with its body when asked).
void startPlayback(MotionCaptureSession& session, bool turnTravel)
{
    for (const auto& owned : session.groups) {
        Group& g = *owned;
        g.currentNode = g.graph->nodes.empty() ? nullptr : g.graph->nodes.front();
        g.previousNode = g.currentNode;
        g.positionOffset = Vec3{};
        g.rotationOffset = Vec3{};
        setTravelTurns(g, turnTravel);
    }
}

void appendGroupState(std::string& out, const Group& g, int32_t taps)
{
    out += '[';
    if (g.currentNode) {
        appendInt(out, g.currentNode->id);
        out += ", ";
        appendInt(out, g.currentNode->currentFrame);
    } else {
        out += "null, null";
    }
    for (double v : {g.positionOffset.x, g.positionOffset.y, g.positionOffset.z, g.rotationOffset.x,
                     g.rotationOffset.y, g.rotationOffset.z}) {
        out += ", ";
        appendNumber(out, v);
    }
    out += ", ";
    appendInt(out, taps);
    out += ']';
}

void play(const PlayOptions& options)
{
    auto refuse = [](const std::string& what) {
        throw CliError("play: " + what + " (" + std::string(kUsage) + ")", 2);
    };
    if (const std::string problem = graphSourceProblem(options.savedGraphs, options.gaps.has_value(),
                                                       options.threshold.has_value(),
                                                       options.thresholdFraction.has_value());
        !problem.empty())
        refuse(problem);
    if (options.passes < 0)
        refuse("--passes must not be negative");
    if (options.rotationLimit && *options.rotationLimit < 0)
        refuse("--rotation-limit must not be negative");
    if (options.balanceTolerance && !(std::isfinite(*options.balanceTolerance) && *options.balanceTolerance >= 0.0))
        refuse("--balance-tolerance must be a finite number, not negative");
    if (options.blend < 0 || options.blend > kMaxBlendFrames)
        refuse("--blend must be 0 to " + std::to_string(kMaxBlendFrames) + " frames");
    if (!options.out.empty() && !isRecordingPath(options.out))
        refuse("--out must name a .trc or .c3d file");
    const Seed seed = parseSeed(options.seed);

    std::string out = "{\"seed\": " + seed.text + ", \"passes\": " + std::to_string(options.passes) + ",\n";
    std::unique_ptr<MotionCaptureSession> session;
    std::vector<double> thresholds;
    if (options.savedGraphs) {
        session = loadProjectWithGraphsOrThrow(options.project);
        poseEveryGroup(*session, options.project);
        for (const auto& g : session->groups)
            thresholds.push_back(g->lastBuild.built ? g->lastBuild.threshold : std::nan(""));
        for (auto& g : session->groups)
            g->maxFrameDistance = std::nan("");  // not measured: the saved graphs are played as they are
    } else {
        session = loadProjectOrThrow(options.project);
        thresholds = buildEveryGroupGraph(*session, options.project, *options.gaps, options.threshold,
                                          options.thresholdFraction);
    }
    if (options.prune)
        pruneEveryGroup(*session, "play");
    appendGroups(*session, thresholds, out);
    startPlayback(*session, options.turnTravel);

    seedRandom(seed.value);
    session->rotationConstraintOn = options.rotationLimit.has_value();
    session->rotationLimit = options.rotationLimit.value_or(60);
    session->balanceConstraintOn = options.balanceTolerance.has_value();
    session->balanceTolerance = options.balanceTolerance.value_or(10.0);

    EnsemblePlayer player;
    const Ensemble ensemble = playbackEnsemble(*session);
    std::optional<PassRecorder> recorder;
    if (!options.out.empty())
        recorder.emplace(ensemble, options.blend);
    out += "\"trace\": [";
    for (int64_t p = 0; p < options.passes; ++p) {
        if (recorder)
            recorder->recordPass();
        player.runPass(ensemble);
        out += p == 0 ? "\n  [" : ",\n  [";
        for (int32_t g = 0; g < ensemble.groupCount(); ++g) {
            if (g > 0)
                out += ", ";
            appendGroupState(out, ensemble.group(g), player.view(g).taps);
        }
        out += ']';
        if (out.size() > (1u << 20)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    out += "],\n\"resets\": ";
    appendInt(out, static_cast<int64_t>(player.counters().resets));
    if (recorder) {
        std::string error;
        if (!recorder->write(options.out, error))
            throw CliError("play: " + error);
        out += ",\n\"out\": " + nlohmann::json(options.out).dump() + ", \"outFrames\": ";
        appendInt(out, recorder->recording().frameCount());
    }
    out += "}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

} // namespace

std::string playUsage() { return kUsage; }

void registerPlayCommand(CLI::App& app)
{
    auto options = std::make_shared<PlayOptions>();
    auto* command = app.add_subcommand("play", "Play every group along its motion graph without a window");
    command->add_option("project", options->project, "Project file (*.dwz)")->required();
    command->add_option("--gaps", options->gaps, "Least distance in frames between a transition's ends");
    command->add_flag("--saved-graphs", options->savedGraphs,
                      "Play the motion graphs saved beside the project (PROJECT.graphs) instead of building them");
    auto* threshold = command->add_option("--threshold", options->threshold, "Largest frame distance of a transition");
    auto* fraction = command->add_option("--threshold-fraction", options->thresholdFraction,
                                         "Threshold as a fraction of each group's largest frame distance (truncated)");
    threshold->excludes(fraction);
    command->add_option("--seed", options->seed, "Seed of the random generator (taken modulo 2^32)")->required();
    command->add_option("--passes", options->passes, "Passes of the playing loop")
        ->required();
    command->add_option("--rotation-limit", options->rotationLimit,
                        "Turn the rotation constraint on with this limit in whole degrees");
    command->add_option("--balance-tolerance", options->balanceTolerance,
                        "Turn the balance constraint on with this tolerance");
    command->add_flag("--prune", options->prune,
                      "Keep only each group's largest strongly connected component (no dead ends)");
    command->add_option("--blend", options->blend,
                        "Blend the written positions over this many frames at each transition (0 to 30; 0 = off)");
    command->add_flag("--turn-travel", options->turnTravel,
                      "Turn each body's path with its body at transitions, so that it walks the way it faces "
                      "(placement, balance and the written positions; the trace's offsets are as without it)");
    command->add_option("--out", options->out,
                        "Write every pass's placed markers of every playing group to a TRC or C3D file "
                        "(as the playback page's Export does)");
    command->callback([options] { play(*options); });
}

} // namespace duolo::cli
