#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace duolo {
class MotionCaptureSession;
struct PruneOutcome;
}

namespace duolo::cli {

// Builds the poses of every group (`path` names the project in messages); throws CliError when
// a group cannot be posed.
void poseEveryGroup(MotionCaptureSession& session, const std::string& path);

// Every group's poses and largest frame distance, then its motion graph with the given gaps and
// threshold (or the fraction of its largest distance, truncated), as play builds them; each
// group's build record is kept with its graph. Returns the thresholds used, per group.
std::vector<double> buildEveryGroupGraph(MotionCaptureSession& session, const std::string& path, int32_t gaps,
                                         std::optional<double> threshold, std::optional<double> thresholdFraction);

// --prune: keeps each group's largest strongly connected component with an edge and says on
// standard error, for each group, how many nodes and frames were kept, or that its graph has no
// such component and stays as it is. Returns the outcomes, per group.
std::vector<PruneOutcome> pruneEveryGroup(MotionCaptureSession& session, const std::string& command);

// The project with the graphs saved beside it. Throws CliError (status 1) when the graph file is
// missing, damaged, or belongs to another version of the project (naming both files).
std::unique_ptr<MotionCaptureSession> loadProjectWithGraphsOrThrow(const std::string& path);

// What is wrong with how a command was told where its graphs come from (built with --gaps and one
// threshold, or --saved-graphs), or empty when nothing is.
std::string graphSourceProblem(bool savedGraphs, bool gaps, bool threshold, bool thresholdFraction);

// What `info` says of the graph file beside a project whose file bytes are `projectBytes`.
nlohmann::json graphFileInfo(const std::string& projectPath, const std::vector<uint8_t>& projectBytes);

} // namespace duolo::cli
