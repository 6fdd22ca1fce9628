// Paint time of the motion graph canvas: one whole repaint (image, background, grid, every edge
// and node) as the editor and the playback page do it on each change, against the 40 ms frame.
//
//   graph_canvas_bench [--width W] [--height H] [--repeats N] [--nodes N]
//
// Graphs: the largest graph of the shared takes (each built with createEntireMotionGraph at
// gaps 10 and half the group's largest distance, the dissection page's starting threshold;
// skipped when the takes are not there) and a synthetic graph of N nodes (5,000 by default)
// with a continuation and a transition from every node. Each graph is painted at zoom 16 (the
// editor's start) and at zoom 1 (everything on the canvas), with nothing and with everything
// selected, centred on the origin as the editor starts. Prints the median and the worst of the
// repeats in milliseconds, of wall time and of the thread's processor time.
#include "capture/Random.h"
#include "motiongraph/FrameDistance.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/LocomotionTake.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "render/GraphDrawing.h"
#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"

#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace duolo;

namespace {

struct Options {
    int width = 1000;
    int height = 700;
    int repeats = 30;
    int nodes = 5000;
};

// The thread's own processor time: on a shared machine the wall time also counts the waits for a
// core, which say nothing about the drawing.
double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void paintOnce(const GraphView& view, const MotionCaptureSession& session)
{
    QImage image = makeGraphCanvasImage(view);
    QPainter painter(&image);
    drawGraphCanvas(painter, view, session, 0);
}

void measure(const char* name, const Options& o, MotionCaptureSession& session)
{
    Graph2D& graph = *session.groups.front()->graph;
    std::printf("%s: %d nodes, %d edges\n", name, graph.totalNodeCount(),
                graph.edgeCount() + graph.howManySelectedEdges());
    for (bool selected : {false, true}) {
        graph.deselectAll();
        if (selected) {
            graph.toggleNodesInRectangle(-1e9, 1e9, 1e9, -1e9);
            graph.selectedEdges.swap(graph.edges);
        }
        for (int zoom : {16, 1}) {
            GraphView view;
            view.width = o.width;
            view.height = o.height;
            view.zoom = zoom;
            std::vector<double> ms, cpu;
            for (int r = 0; r < o.repeats; ++r) {
                const double cpuStart = threadCpuMs();
                const auto start = std::chrono::steady_clock::now();
                paintOnce(view, session);
                ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
                cpu.push_back(threadCpuMs() - cpuStart);
            }
            std::sort(ms.begin(), ms.end());
            std::sort(cpu.begin(), cpu.end());
            std::printf("  zoom %2d, %-13s canvas %dx%d: median %6.2f ms (cpu %6.2f), worst %6.2f ms (cpu %6.2f)\n",
                        zoom, selected ? "all selected" : "none selected", o.width, o.height, ms[ms.size() / 2],
                        cpu[cpu.size() / 2], ms.back(), cpu.back());
        }
    }
    graph.deselectAll();
}

// A graph shaped like a built one: clips in a chain of continuations, a transition from every
// node to a random other, nodes scattered around the origin.
std::unique_ptr<MotionCaptureSession> syntheticSession(int nodes)
{
    auto session = std::make_unique<MotionCaptureSession>();
    session->groups.push_back(std::make_unique<Group>(0, 0, nodes * 10));
    Group& group = *session->groups.front();
    group.updateColour();
    if (!group.graph)
        group.graph = std::make_unique<Graph2D>();
    Graph2D& g = *group.graph;
    // Positions first: every overlap nudge reseeds the generator from the clock (fixed here, so
    // that the graph is the same on every run), which would otherwise restart the sequence.
    seedRandom(12345);
    const double spread = std::sqrt(static_cast<double>(nodes)) * 1.2;
    std::vector<std::pair<double, double>> positions;
    for (int i = 0; i < nodes; ++i) {
        const double x = (nextRandom() / 32767.0 - 0.5) * 2.0 * spread;
        const double y = (nextRandom() / 32767.0 - 0.5) * 2.0 * spread;
        positions.emplace_back(x, y);
    }
    std::vector<int> targets;
    for (int i = 0; i < nodes; ++i)
        targets.push_back(nextRandom() % nodes);
    setRandomClock([] { return 12345u; });
    for (int i = 0; i < nodes; ++i)
        g.addNode(i * 10, i * 10 + 9, positions[i].first, positions[i].second);
    g.deselectAll();
    for (int i = 0; i + 1 < nodes; ++i)
        g.addEdge(g.nodes[i], g.nodes[i + 1]);
    for (int i = 0; i < nodes; ++i)
        g.addEdge(g.nodes[i], g.nodes[targets[i]]);
    setRandomClock(nullptr);
    return session;
}

std::unique_ptr<MotionCaptureSession> takeSession(const std::string& take, std::string& error)
{
    auto session = std::make_unique<MotionCaptureSession>();
    const std::filesystem::path dir = std::filesystem::path(DUOLO_SHARED_DATA_DIR) / take;
    if (!std::filesystem::is_directory(dir)) {
        error = "not found: " + dir.string();
        return nullptr;
    }
    Group* group = take == "hdm05_mm_locomotion" ? test::buildLocomotionGroup(*session, dir, &error)
                                                 : test::buildDanceGroup(*session, dir, &error);
    if (!group)
        return nullptr;
    computeMaxFrameDistance(*group);
    if (!group->graph)
        group->graph = std::make_unique<Graph2D>();
    setRandomClock([] { return 1000u; });  // the same node placement on every run
    createEntireMotionGraph(*group, 10, std::floor(group->maxFrameDistance / 2.0));
    setRandomClock(nullptr);
    group->graph->deselectAll();
    return session;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    for (int a = 1; a < argc; ++a) {
        auto value = [&] {
            if (a + 1 >= argc) {
                std::fprintf(stderr, "graph_canvas_bench: %s needs a value\n", argv[a]);
                std::exit(2);
            }
            return std::atoi(argv[++a]);
        };
        if (!std::strcmp(argv[a], "--width")) o.width = value();
        else if (!std::strcmp(argv[a], "--height")) o.height = value();
        else if (!std::strcmp(argv[a], "--repeats")) o.repeats = std::max(1, value());
        else if (!std::strcmp(argv[a], "--nodes")) o.nodes = std::max(2, value());
        else {
            std::fprintf(stderr, "usage: graph_canvas_bench [--width W] [--height H] [--repeats N] [--nodes N]\n");
            return 2;
        }
    }
    // Drawing into images needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    std::unique_ptr<MotionCaptureSession> largest;
    std::string largestName;
    for (const char* take : {"hdm05_mm_locomotion", "c3dorg_phoenix_dance"}) {
        std::string error;
        auto session = takeSession(take, error);
        if (!session) {
            std::printf("%s: skipped (%s)\n", take, error.c_str());
            continue;
        }
        const int n = session->groups.front()->graph->totalNodeCount();
        std::printf("%s: %d nodes\n", take, n);
        if (!largest || n > largest->groups.front()->graph->totalNodeCount()) {
            largest = std::move(session);
            largestName = std::string("largest shared take (") + take + ")";
        }
    }
    if (largest)
        measure(largestName.c_str(), o, *largest);
    auto synthetic = syntheticSession(o.nodes);
    measure("synthetic", o, *synthetic);
    return 0;
}
