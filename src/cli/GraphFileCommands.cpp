// The graph file kept beside a project: build-graphs (build every group's graph as play does and
// save it) and graph-info (print the saved graphs); the loading that play --saved-graphs and info
// share.
#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/SavedGraphs.h"
#include "motiongraph/FrameDistance.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/GraphLayout.h"
#include "motiongraph/GraphPruning.h"
#include "motiongraph/GraphView.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "session/GraphFile.h"
#include "session/MotionCaptureSession.h"
#include "session/ProjectFile.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace duolo::cli {

using nlohmann::json;

void poseEveryGroup(MotionCaptureSession& session, const std::string& path)
{
    for (const auto& owned : session.groups) {
        Group& g = *owned;
        const std::string name = "group " + std::to_string(g.groupNumber);
        if (!g.hasHeading() || !g.hasUp() || !g.hasRoot())
            throw CliError(path + ": " + name + " needs a heading vector, an up vector and a root to be posed");
        if (!buildPoses(g))
            throw CliError(path + ": the poses of " + name + " cannot be built");
    }
}

std::vector<double> buildEveryGroupGraph(MotionCaptureSession& session, const std::string& path, int32_t gaps,
                                         std::optional<double> threshold, std::optional<double> thresholdFraction)
{
    poseEveryGroup(session, path);
    for (const auto& g : session.groups)
        computeMaxFrameDistance(*g);
    std::vector<double> used;
    for (const auto& owned : session.groups) {
        Group& g = *owned;
        const double t = threshold ? *threshold : std::trunc(*thresholdFraction * g.maxFrameDistance);
        std::vector<FrameLink> found;
        createEntireMotionGraph(g, gaps, t, {}, &found);
        g.lastBuild = GraphBuildRecord{true, gaps, t, std::move(found)};
        used.push_back(t);
    }
    return used;
}

std::string graphSourceProblem(bool savedGraphs, bool gaps, bool threshold, bool thresholdFraction)
{
    if (savedGraphs)
        return gaps || threshold || thresholdFraction
                   ? "--saved-graphs plays the graphs as saved: --gaps and the thresholds cannot go with it"
                   : "";
    if (!gaps)
        return "give --gaps, or --saved-graphs";
    if (threshold == thresholdFraction)
        return "give one of --threshold and --threshold-fraction";
    return "";
}

namespace {

struct ProjectAndBytes {
    std::unique_ptr<MotionCaptureSession> session;
    std::vector<uint8_t> bytes;
};

ProjectAndBytes readProject(const std::string& path)
{
    ProjectAndBytes result;
    std::string error;
    if (!readWholeFile(path, result.bytes, error))
        throw CliError(error);
    result.session = loadProjectBytes(result.bytes.data(), result.bytes.size(), path, error);
    if (!result.session)
        throw CliError(error);
    return result;
}

} // namespace

std::unique_ptr<MotionCaptureSession> loadProjectWithGraphsOrThrow(const std::string& path)
{
    ProjectAndBytes project = readProject(path);
    const GraphFileOutcome outcome = loadGraphsFor(*project.session, path, project.bytes);
    switch (outcome.status) {
    case GraphFileOutcome::Status::Applied:
        return std::move(project.session);
    case GraphFileOutcome::Status::Absent:
        throw CliError(outcome.graphPath + ": no graph file beside " + path + " (build-graphs writes one)");
    case GraphFileOutcome::Status::Mismatch:
        throw CliError(outcome.graphPath + ": its graphs were made from another version of " + path);
    case GraphFileOutcome::Status::Refused:
        break;
    }
    throw CliError(outcome.message);
}

json graphFileInfo(const std::string& projectPath, const std::vector<uint8_t>& projectBytes)
{
    const std::string graphPath = graphFilePathFor(projectPath);
    json info = {{"path", graphPath}, {"present", false}};
    std::error_code ec;
    if (!std::filesystem::exists(graphPath, ec))
        return info;
    info["present"] = true;
    std::vector<uint8_t> data;
    std::string error;
    GraphFileContents contents;
    if (!readWholeFile(graphPath, data, error) || !readGraphFile(data.data(), data.size(), graphPath, contents, error)) {
        info["matches"] = false;
        info["problem"] = error;
        return info;
    }
    info["matches"] = contents.fingerprint == fingerprintOf(projectBytes);
    json groups = json::array();
    for (const GraphFileGroupSummary& g : summarise(contents))
        groups.push_back({{"nodes", g.nodes}, {"edges", g.edges}});
    info["groups"] = groups;
    return info;
}

std::vector<PruneOutcome> pruneEveryGroup(MotionCaptureSession& session, const std::string& command)
{
    std::vector<PruneOutcome> outcomes;
    for (const auto& owned : session.groups) {
        Group& g = *owned;
        const PruneOutcome outcome = removeDeadEnds(g);
        outcomes.push_back(outcome);
        if (!outcome.hasCycle)
            std::fprintf(stderr, "%s: --prune: group %d: the largest strongly connected component has no edge; "
                                 "the graph is kept as it is\n", command.c_str(), g.groupNumber);
        else
            std::fprintf(stderr, "%s: --prune: group %d: kept %d of %d nodes (%lld of %lld frames)\n", command.c_str(),
                         g.groupNumber, outcome.nodesKept, outcome.nodesBefore,
                         static_cast<long long>(outcome.framesKept), static_cast<long long>(outcome.framesBefore));
    }
    return outcomes;
}

namespace {

void buildGraphsCommand(const std::string& path, int32_t gaps, std::optional<double> threshold,
                        std::optional<double> fraction, bool prune, const std::string& layout)
{
    if (threshold.has_value() == fraction.has_value())
        throw CliError("build-graphs: give one of --threshold and --threshold-fraction", 2);
    auto session = loadProjectOrThrow(path);
    const std::vector<double> thresholds = buildEveryGroupGraph(*session, path, gaps, threshold, fraction);
    std::vector<PruneOutcome> pruned;
    if (prune)
        pruned = pruneEveryGroup(*session, "build-graphs");
    for (const auto& g : session->groups) {
        std::string error;
        const bool laidOut = layout.empty() ||
                             (layout == "timeline" ? layOutTimeline(*g->graph, GraphView::kDefaultWorldExtent, error)
                                                   : layOutForce(*g->graph, GraphView::kDefaultWorldExtent, error));
        if (!laidOut)
            throw CliError(path + ": group " + std::to_string(g->groupNumber) + ": " + error);
    }
    // The graph file names the project by its bytes as they are on disk.
    std::vector<uint8_t> bytes;
    std::string error;
    if (!readWholeFile(path, bytes, error))
        throw CliError(error);
    const std::string graphPath = graphFilePathFor(path);
    if (!writeFileAtomically(graphPath, graphFileBytes(*session, fingerprintOf(bytes)), error))
        throw CliError(error);
    json groups = json::array();
    for (size_t k = 0; k < session->groups.size(); ++k) {
        const Group& g = *session->groups[k];
        groups.push_back({{"group", g.groupNumber},
                          {"nodes", g.graph->totalNodeCount()},
                          {"edges", g.graph->edgeCount() + g.graph->howManySelectedEdges()},
                          {"threshold", jsonNumber(thresholds[k])}});
        if (prune)
            groups.back()["pruned"] = {{"hasCycle", pruned[k].hasCycle},
                                       {"nodesBefore", pruned[k].nodesBefore},
                                       {"framesBefore", pruned[k].framesBefore},
                                       {"framesKept", pruned[k].framesKept}};
    }
    printJson({{"graphFile", graphPath}, {"groups", groups}});
}

void graphInfoCommand(const std::string& path)
{
    auto session = loadProjectWithGraphsOrThrow(path);
    json groups = json::array();
    for (const auto& owned : session->groups) {
        const Group& g = *owned;
        json nodes = json::array();
        for (const auto* list : {&g.graph->nodes, &g.graph->selectedNodes})
            for (const Graph2DNode* n : *list)
                nodes.push_back({{"id", n->id},
                                 {"startFrame", n->startFrame},
                                 {"endFrame", n->endFrame},
                                 {"x", jsonNumber(n->x)},
                                 {"y", jsonNumber(n->y)},
                                 {"selected", list == &g.graph->selectedNodes}});
        json edges = json::array();
        for (const auto* list : {&g.graph->edges, &g.graph->selectedEdges})
            for (const Graph2DEdge* e : *list)
                edges.push_back({{"from", e->from->id}, {"to", e->to->id}});
        json build = nullptr;
        if (g.lastBuild.built)
            build = {{"gaps", g.lastBuild.gaps},
                     {"threshold", jsonNumber(g.lastBuild.threshold)},
                     {"transitions", g.lastBuild.transitions.size()}};
        groups.push_back({{"group", g.groupNumber}, {"nodes", nodes}, {"edges", edges}, {"build", build}});
    }
    printJson({{"graphFile", graphFilePathFor(path)}, {"groups", groups}});
}

} // namespace

void registerGraphFileCommands(CLI::App& app)
{
    struct Options {
        std::string project;
        int32_t gaps = 0;
        std::optional<double> threshold;
        std::optional<double> fraction;
        bool prune = false;
        std::string layout;
    };
    auto options = std::make_shared<Options>();
    auto* build = app.add_subcommand("build-graphs",
                                     "Build every group's motion graph as play does and save them beside the project");
    build->add_option("project", options->project, "Project file (*.dwz)")->required();
    build->add_option("--gaps", options->gaps, "Least distance in frames between a transition's ends")->required();
    auto* threshold = build->add_option("--threshold", options->threshold, "Largest frame distance of a transition");
    auto* fraction = build->add_option("--threshold-fraction", options->fraction,
                                       "Threshold as a fraction of each group's largest frame distance (truncated)");
    threshold->excludes(fraction);
    build->add_flag("--prune", options->prune,
                    "Keep only each group's largest strongly connected component (no dead ends)");
    build->add_option("--layout", options->layout,
                      "Lay the graphs out before saving: timeline (the take left to right) or force (structure)")
        ->check(CLI::IsMember({"timeline", "force"}));
    build->callback([options] {
        buildGraphsCommand(options->project, options->gaps, options->threshold, options->fraction, options->prune,
                           options->layout);
    });

    auto* info = app.add_subcommand("graph-info", "Print the motion graphs saved beside a project");
    info->add_option("project", options->project, "Project file (*.dwz)")->required();
    info->callback([options] { graphInfoCommand(options->project); });
}

} // namespace duolo::cli
