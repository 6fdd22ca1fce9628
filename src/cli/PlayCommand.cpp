// play: builds every group's poses and motion graph as the dissection page would, then runs the
// ensemble playback engine for a number of passes without a window and prints what each group
// did in every pass.
#include "capture/NumberText.h"
#include "capture/Random.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "motiongraph/FrameDistance.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "playback/EnsemblePlayer.h"
#include "session/MotionCaptureSession.h"
#include "session/PlaybackEnsemble.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

namespace duolo::cli {
namespace {

constexpr const char* kUsage =
    "usage: duolo-mg play PROJECT.dwz --gaps G (--threshold T | --threshold-fraction F) --seed S --passes N "
    "[--rotation-limit DEG] [--balance-tolerance X]";

struct PlayOptions {
    std::string project;
    int32_t gaps = 0;
    std::optional<double> threshold;
    std::optional<double> thresholdFraction;
    std::string seed;
    int64_t passes = 0;
    std::optional<int32_t> rotationLimit;
    std::optional<double> balanceTolerance;
};

// A whole number of any size in the signed or unsigned 64-bit range, kept as written for the
// output; the generator takes it modulo 2^32.
struct Seed {
    std::string text;
    uint32_t value = 0;
};

Seed parseSeed(const std::string& text)
{
    Seed seed{text, 0};
    const char* first = text.data();
    const char* last = text.data() + text.size();
    int64_t asSigned = 0;
    auto [end, error] = std::from_chars(first, last, asSigned);
    if (error == std::errc() && end == last) {
        seed.value = static_cast<uint32_t>(static_cast<uint64_t>(asSigned));
        seed.text = std::to_string(asSigned);
        return seed;
    }
    uint64_t asUnsigned = 0;
    auto [end2, error2] = std::from_chars(first, last, asUnsigned);
    if (error2 == std::errc() && end2 == last) {
        seed.value = static_cast<uint32_t>(asUnsigned);
        seed.text = std::to_string(asUnsigned);
        return seed;
    }
    throw CliError("play: --seed: " + text + " is not a whole number (" + std::string(kUsage) + ")", 2);
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

// Poses and largest frame distance of every group, then its motion graph.
void buildGraphs(MotionCaptureSession& session, const PlayOptions& options, std::string& out)
{
    const std::string& path = options.project;
    for (const auto& owned : session.groups) {
        Group& g = *owned;
        const std::string name = "group " + std::to_string(g.groupNumber);
        if (!g.hasHeading() || !g.hasUp() || !g.hasRoot())
            throw CliError(path + ": " + name + " needs a heading vector, an up vector and a root to be posed");
        if (!buildPoses(g))
            throw CliError(path + ": the poses of " + name + " cannot be built");
        computeMaxFrameDistance(g);
    }
    out += "\"groups\": [";
    bool first = true;
    for (const auto& owned : session.groups) {
        Group& g = *owned;
        const double threshold = options.threshold ? *options.threshold
                                                   : std::trunc(*options.thresholdFraction * g.maxFrameDistance);
        createEntireMotionGraph(g, options.gaps, threshold);
        g.currentNode = g.graph->nodes.empty() ? nullptr : g.graph->nodes.front();
        g.previousNode = g.currentNode;
        g.positionOffset = Vec3{};
        g.rotationOffset = Vec3{};
        out += first ? "\n  " : ",\n  ";
        first = false;
        out += "{\"group\": ";
        appendInt(out, g.groupNumber);
        out += ", \"frameCount\": ";
        appendInt(out, g.frameCount);
        out += ", \"maxFrameDistance\": ";
        appendNumber(out, g.maxFrameDistance);
        out += ", \"threshold\": ";
        appendNumber(out, threshold);
        out += ", \"nodes\": ";
        appendInt(out, g.graph->totalNodeCount());
        out += ", \"edges\": ";
        appendInt(out, g.graph->edgeCount() + g.graph->howManySelectedEdges());
        out += "}";
    }
    out += "],\n";
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
    if (options.threshold.has_value() == options.thresholdFraction.has_value())
        throw CliError("play: give one of --threshold and --threshold-fraction (" + std::string(kUsage) + ")", 2);
    auto refuse = [](const std::string& what) {
        throw CliError("play: " + what + " (" + std::string(kUsage) + ")", 2);
    };
    if (options.gaps < 1)
        refuse("--gaps must be at least 1");
    if (options.passes < 0)
        refuse("--passes must not be negative");
    if (options.rotationLimit && *options.rotationLimit < 0)
        refuse("--rotation-limit must not be negative");
    if (options.balanceTolerance && !(std::isfinite(*options.balanceTolerance) && *options.balanceTolerance >= 0.0))
        refuse("--balance-tolerance must be a finite number, not negative");
    const Seed seed = parseSeed(options.seed);

    auto session = loadProjectOrThrow(options.project);
    std::string out = "{\"seed\": " + seed.text + ", \"passes\": " + std::to_string(options.passes) + ",\n";
    buildGraphs(*session, options, out);

    seedRandom(seed.value);
    session->rotationConstraintOn = options.rotationLimit.has_value();
    session->rotationLimit = options.rotationLimit.value_or(60);
    session->balanceConstraintOn = options.balanceTolerance.has_value();
    session->balanceTolerance = options.balanceTolerance.value_or(10.0);

    EnsemblePlayer player;
    const Ensemble ensemble = playbackEnsemble(*session);
    out += "\"trace\": [";
    for (int64_t p = 0; p < options.passes; ++p) {
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
    out += "}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

} // namespace

void registerPlayCommand(CLI::App& app)
{
    auto options = std::make_shared<PlayOptions>();
    auto* command = app.add_subcommand("play", "Play every group along its motion graph without a window");
    command->add_option("project", options->project, "Project file (*.dwz)")->required();
    command->add_option("--gaps", options->gaps, "Least distance in frames between a transition's ends")
        ->required();
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
    command->callback([options] { play(*options); });
}

} // namespace duolo::cli
