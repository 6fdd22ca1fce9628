#include "playback/EnsemblePlayer.h"

#include "capture/Marker.h"
#include "capture/Random.h"
#include "motiongraph/Graph2D.h"
#include "playback/PathFollowing.h"
#include "playback/Placement.h"
#include "playback/TransitionBlend.h"
#include "skeleton/Group.h"
#include "skeleton/Skeleton.h"

#include <algorithm>

namespace duolo {
namespace {

// Clears the graph's selection and selects the node (the 2D panel highlights it).
void selectOnly(Graph2D& graph, Graph2DNode* node)
{
    graph.deselectAll();
    if (!node)
        return;
    auto it = std::find(graph.nodes.begin(), graph.nodes.end(), node);
    if (it == graph.nodes.end())
        return;
    graph.nodes.erase(it);
    graph.selectedNodes.push_back(node);
}

bool leadsAway(const Graph2DEdge* edge, const Graph2DNode& node)
{
    return edge->from && edge->to && edge->from->id == node.id;
}

} // namespace

void alignTransition(Group& group, const Graph2DNode& from, const Graph2DNode& to)
{
    const Skeleton& a = poseAt(group, from.endFrame);
    const Skeleton& b = poseAt(group, to.startFrame);
    const double yawBefore = group.rotationOffset.y;
    group.positionOffset += rootOf(a) - rootOf(b);
    group.rotationOffset += Vec3{b.pitch - a.pitch, b.yaw - a.yaw, b.roll - a.roll};
    if (group.travelTurns) {
        // The new clip's turned root starts where the old clip's turned root ended.
        const Vec3 shift = rotateAboutVertical(rootOf(a), yawBefore) - rotateAboutVertical(rootOf(b), group.rotationOffset.y);
        group.travelOffset += Vec3{shift.x, 0.0, shift.z};
    }
}

int32_t countTaps(const Group& group)
{
    const Graph2DNode& node = *group.currentNode;
    int32_t previousFrame = node.currentFrame - 1;
    if (node.currentFrame == node.startFrame)
        previousFrame = group.previousNode ? group.previousNode->endFrame : node.endFrame;
    const Skeleton& now = poseAt(group, node.currentFrame);
    const Skeleton& before = poseAt(group, previousFrame);
    const size_t sets = std::min(now.contactSets.size(), before.contactSets.size());
    int32_t taps = 0;
    for (size_t s = 0; s < sets; ++s) {
        const auto& setNow = now.contactSets[s];
        const auto& setBefore = before.contactSets[s];
        const size_t samples = std::min(setNow.size(), setBefore.size());
        int32_t touching = 0;
        for (size_t k = 0; k < samples; ++k)
            if (setBefore[k].position.y > kContactHeight && setNow[k].position.y <= kContactHeight)
                ++touching;
        if (touching > 0)
            ++taps;
    }
    return taps;
}

void EnsemblePlayer::fit(const Ensemble& ensemble)
{
    const size_t count = ensemble.groups.size();
    bool changed = views_.size() != count;
    for (size_t g = 0; !changed && g < count; ++g)
        changed = joints_[g].size() != static_cast<size_t>(ensemble.groups[g]->memberCount());
    if (!changed)
        return;
    views_.assign(count, GroupView{});
    joints_.resize(count);
    justReset_.resize(count, 0);
    size_t mostEdges = candidates_.capacity();
    for (size_t g = 0; g < count; ++g) {
        const Group& group = *ensemble.groups[g];
        joints_[g].assign(static_cast<size_t>(group.memberCount()), Vec3{});
        views_[g].joints = joints_[g];
        if (!group.graph)
            continue;
        group.graph->selectedNodes.reserve(group.graph->totalNodeCount());
        for (const auto* list : {&group.graph->nodes, &group.graph->selectedNodes})
            for (const Graph2DNode* node : *list)
                mostEdges = std::max(mostEdges, node->incidentEdges.size());
    }
    candidates_.reserve(mostEdges);
}

bool EnsemblePlayer::isJustReset(int32_t groupNumber) const
{
    return groupNumber >= 0 && static_cast<size_t>(groupNumber) < justReset_.size() &&
           justReset_[static_cast<size_t>(groupNumber)] != 0;
}

void EnsemblePlayer::runPass(const Ensemble& ensemble, const PassOptions& options)
{
    fit(ensemble);
    for (const auto& group : ensemble.groups)
        if (group->graph)
            selectOnly(*group->graph, group->currentNode);
    for (GroupView& view : views_) {
        view.drawn = false;
        view.taps = 0;
    }

    const int32_t count = ensemble.groupCount();
    if (options.showAllGroups) {
        for (int32_t g = 0; g < count; ++g) {
            drawGroup(ensemble, g, options.playing, options.blender);
            if (options.playing)
                advance(ensemble, g);
        }
    } else {
        if (options.selectedGroup >= 0 && options.selectedGroup < count)
            drawGroup(ensemble, options.selectedGroup, options.playing, options.blender);
        if (options.playing)
            for (int32_t g = 0; g < count; ++g)
                advance(ensemble, g);
    }
    balance_ = readBalance(ensemble);
    ++counters_.passes;
}

void EnsemblePlayer::drawGroup(const Ensemble& ensemble, int32_t groupNumber, bool playing, TransitionBlender* blender)
{
    const Group& group = ensemble.group(groupNumber);
    if (!isPlayable(group))
        return;
    GroupView& view = views_[static_cast<size_t>(groupNumber)];
    const Skeleton& pose = currentPose(group);
    const PointPlacer placer(group, pose);
    std::vector<Vec3>& joints = joints_[static_cast<size_t>(groupNumber)];
    const size_t n = std::min(joints.size(), pose.joints.size());
    for (size_t k = 0; k < n; ++k)
        joints[k] = placer.place(pose.joints[k].position);
    view.drawn = true;
    view.frame = group.currentNode->currentFrame;
    view.pose = &pose;
    view.centre = placer.place(pose.centre.position);
    if (blender)
        blender->apply(groupNumber, group, std::span<Vec3>(joints.data(), n), &view.centre);
    view.taps = playing ? countTaps(group) : 0;
}

void EnsemblePlayer::frameForward(const Ensemble& ensemble)
{
    fit(ensemble);
    for (int32_t g = 0; g < ensemble.groupCount(); ++g)
        advance(ensemble, g);
}

bool EnsemblePlayer::frameBack(const Ensemble& ensemble)
{
    for (const auto& group : ensemble.groups)
        if (isPlayable(*group) && group->currentNode->currentFrame == group->currentNode->startFrame)
            return false;
    for (const auto& group : ensemble.groups)
        if (isPlayable(*group))
            group->currentNode->currentFrame -= 1;
    return true;
}

void EnsemblePlayer::moveToOrigin(const Ensemble& ensemble)
{
    for (const auto& group : ensemble.groups)
        moveGroupToOrigin(*group);
}

void EnsemblePlayer::advanceGroup(const Ensemble& ensemble, int32_t groupNumber)
{
    fit(ensemble);
    advance(ensemble, groupNumber);
}

Graph2DNode* EnsemblePlayer::chooseNextNode(const Ensemble& ensemble, int32_t groupNumber)
{
    fit(ensemble);
    return choose(ensemble, groupNumber);
}

Graph2DNode* EnsemblePlayer::restartAllGroups(const Ensemble& ensemble, int32_t caller)
{
    fit(ensemble);
    return restart(ensemble, caller);
}

void EnsemblePlayer::advance(const Ensemble& ensemble, int32_t groupNumber)
{
    Group& group = ensemble.group(groupNumber);
    if (!isPlayable(group) || !group.currentNode->advanceFrame())
        return;
    Graph2DNode* next = choose(ensemble, groupNumber);
    if (!next)
        return;  // only a group whose current node lies outside its own graph gets here
    // A reset may have replaced the current node: the caller then aligns its new clip with
    // itself, which leaves it the clip's own displacement and turn.
    alignTransition(group, *group.currentNode, *next);
    group.previousNode = group.currentNode;
    group.currentNode = next;
    ++counters_.transitions;
}

Graph2DNode* EnsemblePlayer::choose(const Ensemble& ensemble, int32_t groupNumber)
{
    Group& group = ensemble.group(groupNumber);
    const Graph2DNode& current = *group.currentNode;
    candidates_.clear();
    bool anyOutgoing = false;
    for (Graph2DEdge* edge : current.incidentEdges) {
        if (!leadsAway(edge, current))
            continue;
        anyOutgoing = true;
        TransitionCandidate candidate;
        candidate.node = edge->to;
        ++counters_.candidatesTested;
        if (!isTransitionRejected(ensemble, candidate, group)) {
            candidates_.push_back(candidate);
            continue;
        }
        ++counters_.rejected;
        if (ensemble.constraints.rotationConstraintOn && !candidate.rotationOk)
            ++counters_.rejectedByRotation;
        if (ensemble.constraints.balanceConstraintOn && !candidate.balanced)
            ++counters_.rejectedByBalance;
    }

    // Just after a reset, a clip whose every successor is rejected would reset again into the
    // same state for ever; its successors are taken as they are instead.
    char& justReset = justReset_[static_cast<size_t>(groupNumber)];
    if (candidates_.empty() && anyOutgoing && justReset) {
        for (Graph2DEdge* edge : current.incidentEdges)
            if (leadsAway(edge, current)) {
                TransitionCandidate candidate;
                candidate.node = edge->to;
                candidates_.push_back(candidate);
            }
        ++counters_.waivedChoices;
    }

    if (!candidates_.empty() && follower_ && groupNumber == steeredGroup_)
        if (Graph2DNode* steered = follower_->choose(group, candidates_)) {
            justReset = 0;
            return steered;
        }
    if (!candidates_.empty()) {
        const int r = nextRandom();
        justReset = 0;
        return candidates_[static_cast<size_t>(r) % candidates_.size()].node;
    }
    ++counters_.resets;
    return restart(ensemble, groupNumber);
}

Graph2DNode* EnsemblePlayer::restart(const Ensemble& ensemble, int32_t caller)
{
    Graph2DNode* result = nullptr;
    for (int32_t g = 0; g < ensemble.groupCount(); ++g) {
        Group& group = ensemble.group(g);
        group.positionOffset = Vec3{};
        group.rotationOffset = Vec3{};
        group.travelOffset = Vec3{};
        justReset_[static_cast<size_t>(g)] = 1;
        if (!group.graph)
            continue;
        Graph2D& graph = *group.graph;
        graph.deselectAll();
        if (!group.currentNode)
            continue;
        group.currentNode->currentFrame = group.currentNode->startFrame;
        if (group.currentNode->startFrame != 0 && !graph.nodes.empty()) {
            auto it = std::find_if(graph.nodes.begin(), graph.nodes.end(),
                                   [](const Graph2DNode* n) { return n->startFrame == 0; });
            group.currentNode = it != graph.nodes.end() ? *it : graph.nodes.front();
        }
        if (g == caller)
            result = group.currentNode;
    }
    return result;
}

} // namespace duolo
