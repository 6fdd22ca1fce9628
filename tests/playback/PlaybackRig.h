#pragma once
// Hand-made groups for the playback tests: each group has a number of members (stand-ins), one
// world pose per frame (root at the origin, heading along +z, centre one unit up, no contacts
// unless a test sets them) and a graph of nodes added in order and left unselected.

#include "motiongraph/Graph2D.h"
#include "playback/Ensemble.h"
#include "skeleton/Group.h"
#include "skeleton/Skeleton.h"
#include "support/TestSupport.h"

#include <memory>
#include <vector>

namespace duolo::test {

struct PlaybackRig {
    FixedClock clock{1000};  // graphs reseed the generator from the clock
    std::vector<std::unique_ptr<AnimatedMarker>> stand_ins;
    std::vector<std::unique_ptr<Group>> groups;
    ConstraintSettings constraints;
    int32_t frameCount = 100;

    Group& addGroup(int32_t members, int32_t frames)
    {
        auto group = std::make_unique<Group>();
        group->groupNumber = static_cast<int32_t>(groups.size());
        group->frameCount = frames;
        for (int32_t k = 0; k < members; ++k) {
            stand_ins.push_back(std::make_unique<AnimatedMarker>(k, "m"));
            group->members.push_back(stand_ins.back().get());
        }
        group->worldPoses.assign(static_cast<size_t>(frames), Skeleton(members));
        for (Skeleton& pose : group->worldPoses) {
            pose.origin = Marker{};
            pose.heading = Marker(Vec3{0, 0, 1}, Vec3{}, 0);
            pose.centre.position = Vec3{0, 1, 0};
        }
        groups.push_back(std::move(group));
        return *groups.back();
    }

    static Skeleton& pose(Group& g, int32_t frame) { return g.worldPoses[static_cast<size_t>(frame)]; }

    // A node placed well away from the others (no overlap nudge), left unselected.
    static Graph2DNode* addNode(Group& g, int32_t start, int32_t end)
    {
        Graph2DNode* node = g.graph->addNode(start, end, 3.0 * g.graph->totalNodeCount(), 0.0);
        g.graph->deselectAll();
        return node;
    }
    static void link(Group& g, Graph2DNode* a, Graph2DNode* b) { g.graph->addEdge(a, b); }
    static void startAt(Group& g, Graph2DNode* node, int32_t frame = -1)
    {
        g.currentNode = g.previousNode = node;
        node->currentFrame = frame < 0 ? node->startFrame : frame;
    }
    // A support of weight 2 under (x, z): one contact set with one sample on the floor.
    static void setSupport(Skeleton& pose, double x, double z)
    {
        pose.support = Marker(Vec3{2 * x, 0, 2 * z}, Vec3{}, 0);
        pose.supportWeight = 2.0;
    }

    Ensemble ensemble() const
    {
        Ensemble e;
        e.groups = groups;
        e.frameCount = frameCount;
        e.constraints = constraints;
        return e;
    }
};

} // namespace duolo::test
