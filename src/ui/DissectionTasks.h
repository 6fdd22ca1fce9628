#pragma once

#include "motiongraph/MotionGraphBuilder.h"
#include "ui/BackgroundJob.h"

#include <memory>
#include <string>
#include <vector>

namespace duolo {

class Group;

// The dissection page's long work on one group, split so that the worker thread never touches
// the session: the UI thread prepares a scratch group, the worker fills it, and the UI thread
// takes the results back once the job is over (or cancelled).

// Why a group's poses cannot be built, or empty when they can be tried.
std::string poseProblem(const Group& g);

// The part of a group the worker builds poses from: the session's members are shared (the
// worker only reads their samples), the heading, up and root trajectories are copies.
std::unique_ptr<Group> poseScratch(const Group& g);

// What one job does for one group. The scratch group is the worker's; the session's group is
// touched on the UI thread only, before the job starts and after it ends.
struct GroupTask {
    GroupTask();
    GroupTask(GroupTask&&) noexcept;
    GroupTask& operator=(GroupTask&&) noexcept;
    ~GroupTask();

    Group* target = nullptr;
    int ordinal = 0;  // 1-based position in the dialog's "group k of n"
    std::unique_ptr<Group> scratch;
    bool buildPoses = false;
    bool measure = false;
    bool build = false;  // the whole motion graph
    int gaps = 0;
    int threshold = 0;   // replaced by half the new maximum when the task measures
    // Results.
    bool posesTried = false;
    bool posesBuilt = false;
    bool measured = false;
    bool built = false;
    std::vector<FrameLink> transitions;  // what the build's search found, once built
};

// The default threshold of a group: half its largest distance, truncated.
inline int halfOf(double maximum) { return static_cast<int>(maximum / 2.0); }

// On the worker: poses, then the largest distance, then the graph, as the task asks, reporting
// into [from, to] of the job's progress; `count` is the n of the dialog's "group k of n".
void runTask(GroupTask& t, int count, BackgroundJob::Progress& progress, double from, double to);

// On the UI thread, after the job: gives the results of a finished (or cancelled) task to the
// session's group, and anything lent to the worker back.
void applyTask(GroupTask& t);

} // namespace duolo
