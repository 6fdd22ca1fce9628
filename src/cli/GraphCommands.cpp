// Motion graph subcommands: graph (the whole automatic construction of one group), distance
// (one frame distance) and distance-map (a picture of all of them).
#include "session/MotionCaptureSession.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/PngFile.h"
#include "motiongraph/DistanceMap.h"
#include "motiongraph/FrameDistance.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"
#include "skeleton/Skeleton.h"

#include <memory>
#include <optional>
#include <string>

namespace duolo::cli {
namespace {

using nlohmann::json;

// Loads the project and builds the poses of one of its groups.
struct PosedGroup {
    std::unique_ptr<MotionCaptureSession> session;
    Group* group = nullptr;
};

PosedGroup posedGroup(const std::string& path, int32_t groupNumber)
{
    PosedGroup result;
    result.session = loadProjectOrThrow(path);
    Group* g = result.session->findGroup(groupNumber);
    if (!g)
        throw CliError(path + ": no group " + std::to_string(groupNumber) + " (the project has " +
                       std::to_string(result.session->groupCount()) + ")");
    if (!g->hasHeading() || !g->hasUp() || !g->hasRoot())
        throw CliError(path + ": group " + std::to_string(groupNumber) +
                       " needs a heading vector, an up vector and a root to be posed");
    if (!buildPoses(*g))
        throw CliError(path + ": the poses of group " + std::to_string(groupNumber) + " cannot be built");
    // Only the normalised poses are compared; the world poses are not needed here.
    g->worldPoses.clear();
    g->worldPoses.shrink_to_fit();
    result.group = g;
    return result;
}

void graph(const std::string& path, int32_t groupNumber, int32_t gaps, double threshold, bool exact)
{
    PosedGroup posed = posedGroup(path, groupNumber);
    Group& g = *posed.group;
    const DistanceEngine engine = exact ? DistanceEngine::Exact : DistanceEngine::Fast;
    computeMaxFrameDistance(g, engine);
    g.graph = std::make_unique<Graph2D>();
    createEntireMotionGraph(g, gaps, threshold, {engine, {}});

    json nodes = json::array();
    for (const Graph2DNode* n : g.graph->nodes)
        nodes.push_back({{"id", n->id}, {"startFrame", n->startFrame}, {"endFrame", n->endFrame}});
    json edges = json::array();
    for (const Graph2DEdge* e : g.graph->edges)
        edges.push_back({{"from", e->from->id}, {"to", e->to->id}});
    printJson({{"group", groupNumber},
               {"frameCount", g.frameCount},
               {"maxFrameDistance", jsonNumber(g.maxFrameDistance)},
               {"nodes", std::move(nodes)},
               {"edges", std::move(edges)}});
}

void distance(const std::string& path, int32_t groupNumber, int32_t source, int32_t target)
{
    PosedGroup posed = posedGroup(path, groupNumber);
    const Group& g = *posed.group;
    const int32_t frames = std::min<int32_t>(g.frameCount, static_cast<int32_t>(g.normalisedPoses.size()));
    for (int32_t f : {source, target})
        if (f < 0 || f >= frames)
            throw CliError(path + ": frame " + std::to_string(f) + " is outside group " +
                           std::to_string(groupNumber) + "'s " + std::to_string(frames) + " frames");
    printJson({{"distance", jsonNumber(frameDistance(g.normalisedPoses[source], g.normalisedPoses[target]))}});
}

// The picture of a group's frame distances, coloured against its largest distance, with the
// pairs at or under the threshold (by default half the largest, as on the dissection page)
// highlighted and, given --gaps, the transitions of the graph built with them marked.
void distanceMap(const std::string& path, int32_t groupNumber, std::optional<double> threshold,
                 std::optional<int32_t> gaps, int32_t size, const std::string& out)
{
    PosedGroup posed = posedGroup(path, groupNumber);
    Group& g = *posed.group;
    computeMaxFrameDistance(g);
    const double t = threshold ? *threshold : static_cast<double>(static_cast<int32_t>(g.maxFrameDistance / 2.0));
    DistanceMap map;
    computeDistanceMap(g.normalisedPoses, g.frameCount, size, {}, map);
    if (map.side == 0)
        throw CliError(path + ": group " + std::to_string(groupNumber) + " has no frames to draw");
    std::vector<FrameLink> transitions;
    if (gaps) {
        g.graph = std::make_unique<Graph2D>();
        createEntireMotionGraph(g, *gaps, t, {}, &transitions);
    }
    DistanceMapStyle style;
    style.maxDistance = g.maxFrameDistance;
    style.threshold = t;
    style.transitions = &transitions;
    const RgbImage image = renderDistanceMapWithBar(map, style);
    writePng(out, image);
    printJson({{"group", groupNumber},
               {"frameCount", map.frames},
               {"cells", map.side},
               {"maxFrameDistance", jsonNumber(g.maxFrameDistance)},
               {"threshold", jsonNumber(t)},
               {"transitions", transitions.size()},
               {"width", image.width},
               {"height", image.height},
               {"out", out}});
}

struct GraphOptions {
    std::string project;
    int32_t group = 0;
    int32_t gaps = 10;
    double threshold = 0.0;
    bool exact = false;
    int32_t source = 0;
    int32_t target = 0;
    std::optional<double> mapThreshold;
    std::optional<int32_t> mapGaps;
    int32_t size = kDefaultDistanceMapSize;
    std::string out;
};

} // namespace

void registerGraphCommands(CLI::App& app)
{
    auto options = std::make_shared<GraphOptions>();

    auto* graphCommand = app.add_subcommand("graph", "Build a group's motion graph from its poses");
    graphCommand->add_option("project", options->project, "Project file (*.dwz)")->required();
    graphCommand->add_option("--group", options->group, "Group number")->required();
    graphCommand->add_option("--gaps", options->gaps, "Least distance in frames between a transition's ends")
        ->required();
    graphCommand->add_option("--threshold", options->threshold, "Largest frame distance of a transition")
        ->required();
    graphCommand->add_flag("--exact", options->exact, "Use the straightforward scalar loops");
    graphCommand->callback([options] {
        graph(options->project, options->group, options->gaps, options->threshold, options->exact);
    });

    auto* distanceCommand = app.add_subcommand("distance", "Frame distance between two poses of a group");
    distanceCommand->add_option("project", options->project, "Project file (*.dwz)")->required();
    distanceCommand->add_option("--group", options->group, "Group number")->required();
    distanceCommand->add_option("--source", options->source, "Frame playback would leave")->required();
    distanceCommand->add_option("--target", options->target, "Frame playback would enter")->required();
    distanceCommand->callback([options] {
        distance(options->project, options->group, options->source, options->target);
    });

    auto* mapCommand = app.add_subcommand("distance-map", "Picture of a group's frame distances as a PNG file");
    mapCommand->add_option("project", options->project, "Project file (*.dwz)")->required();
    mapCommand->add_option("--group", options->group, "Group number")->required();
    mapCommand->add_option("--threshold", options->mapThreshold,
                           "Highlight pairs at or under this distance (default: half the largest)")
        ->check(CLI::NonNegativeNumber);
    mapCommand->add_option("--gaps", options->mapGaps, "Build the graph with these gaps and mark its transitions")
        ->check(CLI::NonNegativeNumber);
    mapCommand->add_option("--size", options->size, "Largest number of cells per side (default 1024)")
        ->check(CLI::Range(1, 16384));
    mapCommand->add_option("--out", options->out, "PNG file to write")->required();
    mapCommand->callback([options] {
        distanceMap(options->project, options->group, options->mapThreshold, options->mapGaps, options->size,
                    options->out);
    });
}

} // namespace duolo::cli
