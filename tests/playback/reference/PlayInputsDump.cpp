// Prints, as JSON, what `duolo-mg play` feeds its engine: every group of a project with its
// parent, member count, world poses (root, centre, heading, support, angles, contact heights)
// and the motion graph built with the given gaps and threshold (node list order and each node's
// incident edges in list order). The reference player in play_reference.py replays from this.
//   play_inputs_dump PROJECT.dwz GAPS (T THRESHOLD | F FRACTION)
#include "motiongraph/FrameDistance.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "session/MotionCaptureSession.h"
#include "session/ProjectFile.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"
#include "skeleton/Skeleton.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

using namespace duolo;

namespace {

void number(double v) { std::printf("%.17g", v); }

void point(const Vec3& v)
{
    std::printf("[");
    number(v.x);
    std::printf(",");
    number(v.y);
    std::printf(",");
    number(v.z);
    std::printf("]");
}

void optionalPoint(const std::optional<Marker>& m)
{
    if (m)
        point(m->position);
    else
        std::printf("null");
}

void pose(const Skeleton& k)
{
    std::printf("{\"o\":");
    optionalPoint(k.origin);
    std::printf(",\"c\":");
    point(k.centre.position);
    std::printf(",\"h\":");
    optionalPoint(k.heading);
    std::printf(",\"s\":");
    optionalPoint(k.support);
    std::printf(",\"w\":");
    number(k.supportWeight);
    std::printf(",\"a\":[");
    number(k.pitch);
    std::printf(",");
    number(k.yaw);
    std::printf(",");
    number(k.roll);
    std::printf("],\"cs\":[");
    for (size_t c = 0; c < k.contactSets.size(); ++c) {
        std::printf(c ? ",[" : "[");
        for (size_t m = 0; m < k.contactSets[c].size(); ++m) {
            if (m)
                std::printf(",");
            number(k.contactSets[c][m].position.y);
        }
        std::printf("]");
    }
    std::printf("]}");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: play_inputs_dump PROJECT.dwz GAPS (T THRESHOLD | F FRACTION)\n");
        return 2;
    }
    std::string error;
    auto session = loadProject(argv[1], error);
    if (!session) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const int gaps = std::atoi(argv[2]);
    const bool fraction = argv[3][0] == 'F';
    const double value = std::strtod(argv[4], nullptr);
    std::printf("{\"sessionFrames\":%d,\"groups\":[", session->frameCount);
    for (int gi = 0; gi < session->groupCount(); ++gi) {
        Group& g = *session->groups[static_cast<size_t>(gi)];
        if (!buildPoses(g)) {
            std::fprintf(stderr, "the poses of group %d cannot be built\n", gi);
            return 1;
        }
        computeMaxFrameDistance(g);
        const double threshold = fraction ? std::trunc(value * g.maxFrameDistance) : value;
        g.graph = std::make_unique<Graph2D>();
        createEntireMotionGraph(g, gaps, threshold);
        std::printf("%s{\"parent\":%d,\"memberCount\":%d,\"frameCount\":%d,\"max\":", gi ? "," : "",
                    g.parent ? g.parent->groupNumber : -1, g.memberCount(), g.frameCount);
        number(g.maxFrameDistance);
        std::printf(",\"threshold\":");
        number(threshold);
        std::printf(",\"edges\":%d,\"nodes\":[", g.graph->edgeCount() + g.graph->howManySelectedEdges());
        bool first = true;
        for (const Graph2DNode* n : g.graph->nodes) {
            std::printf("%s{\"id\":%d,\"s\":%d,\"e\":%d,\"inc\":[", first ? "" : ",", n->id, n->startFrame,
                        n->endFrame);
            first = false;
            for (size_t k = 0; k < n->incidentEdges.size(); ++k)
                std::printf("%s[%d,%d]", k ? "," : "", n->incidentEdges[k]->from->id, n->incidentEdges[k]->to->id);
            std::printf("]}");
        }
        std::printf("],\"poses\":[");
        for (size_t f = 0; f < g.worldPoses.size(); ++f) {
            if (f)
                std::printf(",");
            pose(g.worldPoses[f]);
        }
        std::printf("]}");
    }
    std::printf("]}\n");
    return 0;
}
