#include "ui/DissectionTasks.h"

#include "motiongraph/Graph2D.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"

#include <QObject>

namespace duolo {

std::string poseProblem(const Group& g)
{
    if (!g.hasHeading())
        return "it has no heading vector";
    if (!g.hasUp())
        return "it has no up vector";
    if (!g.hasRoot())
        return "it has no root";
    return {};
}

std::unique_ptr<Group> poseScratch(const Group& g)
{
    auto s = std::make_unique<Group>(-1, g.groupNumber, g.frameCount);
    s->members = g.members;
    s->headingEnd = g.headingEnd->copy();
    s->upEnd = g.upEnd->copy();
    s->rootTrajectory = g.rootTrajectory->copy();
    return s;
}

GroupTask::GroupTask() = default;
GroupTask::GroupTask(GroupTask&&) noexcept = default;
GroupTask& GroupTask::operator=(GroupTask&&) noexcept = default;
GroupTask::~GroupTask() = default;

void applyTask(GroupTask& t)
{
    Group& g = *t.target;
    Group& s = *t.scratch;
    if (t.buildPoses) {
        if (t.posesBuilt) {
            g.normalisedPoses = std::move(s.normalisedPoses);
            g.worldPoses = std::move(s.worldPoses);
            g.posesBuilt = true;
        }
    } else if (t.build) {
        g.normalisedPoses = std::move(s.normalisedPoses);  // lent to the worker
    }
    if (t.measured)
        g.maxFrameDistance = s.maxFrameDistance;
    if (t.build) {
        g.graph = std::move(s.graph);  // unchanged when the search was cancelled
        if (t.built) {
            g.currentNode = s.currentNode;
            g.previousNode = s.previousNode;
        }
    }
}

void runTask(GroupTask& t, int count, BackgroundJob::Progress& progress, double from, double to)
{
    Group& s = *t.scratch;
    const double mid = t.build ? (t.measure ? from + (to - from) * 0.5 : from) : to;
    if (t.buildPoses && !progress.cancelled()) {
        progress.setStep(QObject::tr("Building poses, group %1 of %2").arg(t.ordinal).arg(count));
        t.posesTried = true;
        t.posesBuilt = buildPoses(s);
        if (!t.posesBuilt)
            return;
    }
    if (t.measure && !progress.cancelled()) {
        progress.setStep(QObject::tr("Measuring frame distances, group %1 of %2").arg(t.ordinal).arg(count));
        t.measured = computeMaxFrameDistance(s, DistanceEngine::Fast, progress.longRun(from, mid));
        if (!t.measured)
            return;
        t.threshold = halfOf(s.maxFrameDistance);
    }
    if (t.build && !progress.cancelled()) {
        progress.setStep(QObject::tr("Finding transitions"));
        GraphBuildOptions options;
        options.run = progress.longRun(mid, to);
        t.built = duolo::createEntireMotionGraph(s, t.gaps, t.threshold, options, &t.transitions);
    }
}

} // namespace duolo
