// Paint time of the motion graph canvas: one whole repaint (image, background, grid, every edge
// and node) as the editor and the playback page do it on each change, against the 40 ms frame.
//
//   graph_canvas_bench [--width W] [--height H] [--repeats N] [--nodes N] [--frames N]
//                      [--fraction F] [--large-only]
//
// Graphs: the large graph (the shared dance take tiled, forwards then backwards, to --frames
// frames, 6,000 by default, and built at gaps 1 with the threshold at F, 0.5 by default, of its
// largest distance: tens of thousands of edges; 0.95 gives over half a million); the largest
// graph of the shared takes as the dissection page first builds them (gaps 10, half the
// group's largest distance); and a synthetic graph of N nodes (5,000 by default) with a
// continuation and a transition from every node. The shared graphs are skipped when the takes
// are not there. The large graph is painted as built (a chain of nodes from the origin, mostly
// past the world's edge) and laid out along the take inside the world (every edge on the
// canvas at zoom 1).
//
// Each graph is painted at every zoom from 1 to 64, centred on the origin as the editor starts:
// whole repaints with nothing and with everything selected, then through the canvas's layers
// a repaint with nothing changed (a mouse move) and the repaints of a drag of one node. Prints
// the median and the worst of the repeats in milliseconds, of wall time and of the thread's
// processor time.
#include "capture/Random.h"
#include "motiongraph/FrameDistance.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/LocomotionTake.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "render/GraphCanvasLayers.h"
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
    int frames = 6000;
    double fraction = 0.5;
    bool largeOnly = false;
};

// The thread's own processor time: on a shared machine the wall time also counts the waits for a
// core, which say nothing about the drawing.
double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Times `paint` over the repeats and prints one line.
template <class Paint>
void timeRepaints(const char* what, int zoom, const Options& o, Paint&& paint)
{
    std::vector<double> ms, cpu;
    for (int r = 0; r < o.repeats; ++r) {
        const double cpuStart = threadCpuMs();
        const auto start = std::chrono::steady_clock::now();
        paint();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        cpu.push_back(threadCpuMs() - cpuStart);
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("  zoom %2d, %-22s canvas %dx%d: median %6.2f ms (cpu %6.2f), worst %6.2f ms (cpu %6.2f)\n", zoom,
                what, o.width, o.height, ms[ms.size() / 2], cpu[cpu.size() / 2], ms.back(), cpu.back());
}

// The unselected node nearest the view's centre, or null.
Graph2DNode* nodeNearCentre(const Graph2D& graph, const GraphView& view)
{
    Graph2DNode* best = nullptr;
    double bestDistance = 0.0;
    for (Graph2DNode* n : graph.nodes) {
        const double d = std::hypot(n->x - view.centreX, n->y - view.centreY);
        if (!best || d < bestDistance) {
            best = n;
            bestDistance = d;
        }
    }
    return best;
}

// Whole repaints with nothing and with everything selected, as the pages painted before the
// canvas kept layers; then, through the layers, a repaint with nothing changed (a hover) and
// the repaints of a drag (the node nearest the centre selected and moved a pixel each time).
void measure(const char* name, const Options& o, MotionCaptureSession& session)
{
    Graph2D& graph = *session.groups.front()->graph;
    std::printf("%s: %d nodes, %d edges%s\n", name, graph.totalNodeCount(),
                graph.edgeCount() + graph.howManySelectedEdges(), isCrowded(graph) ? " (crowded)" : "");
    for (int zoom : {1, 2, 4, 8, 16, 32, 64}) {
        GraphView view;
        view.width = o.width;
        view.height = o.height;
        view.zoom = zoom;
        auto whole = [&] {
            QImage image = makeGraphCanvasImage(view);
            QPainter painter(&image);
            drawGraphCanvas(painter, view, session, 0);
        };
        graph.deselectAll();
        timeRepaints("whole, none selected", zoom, o, whole);
        graph.toggleNodesInRectangle(-1e9, 1e9, 1e9, -1e9);
        graph.selectedEdges.swap(graph.edges);
        timeRepaints("whole, all selected", zoom, o, whole);
        graph.selectedEdges.swap(graph.edges);
        graph.deselectAll();

        GraphCanvasLayers layers;
        auto layered = [&] {
            QImage image = makeGraphCanvasImage(view);
            QPainter painter(&image);
            layers.draw(painter, view, session, 0);
        };
        layered();
        timeRepaints("layers, nothing changed", zoom, o, layered);
        Graph2DNode* dragged = nodeNearCentre(graph, view);
        if (!dragged)
            continue;
        graph.toggleNodeAt(dragged->x, dragged->y);
        const double pixel = view.visibleWidth() / view.width;
        double moved = 0.0;
        layered();
        timeRepaints("layers, drag one node", zoom, o, [&] {
            graph.moveSelected(pixel, 0.0);
            moved += pixel;
            layered();
        });
        graph.moveSelected(-moved, 0.0);
        graph.deselectAll();
    }
}

// The editor's time-line view of a graph, roughly: x from the clip's first frame across the
// world, clips stacked in rows one unit apart so that none overlap, every node inside the world.
void layOutAlongTime(Graph2D& graph, int32_t frames)
{
    std::vector<Graph2DNode*> order = graph.nodes;
    std::sort(order.begin(), order.end(), [](auto* a, auto* b) { return a->startFrame < b->startFrame; });
    std::vector<double> rowEnds;
    for (Graph2DNode* n : order) {
        const double x = -500.0 + 1000.0 * n->startFrame / std::max(1, frames);
        size_t row = 0;
        while (row < rowEnds.size() && rowEnds[row] > x - 1.0)
            ++row;
        if (row == rowEnds.size())
            rowEnds.push_back(x);
        rowEnds[row] = x;
        const double y = static_cast<double>(row);
        n->translate(x - n->x, y - n->y);
    }
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

// The dance take's group with its poses tiled (forwards, then backwards) to `frames` frames and
// built at gaps 1 with the threshold at `fraction` of the largest distance.
std::unique_ptr<MotionCaptureSession> largeSession(const Options& o, std::string& error)
{
    const std::filesystem::path dir = std::filesystem::path(DUOLO_SHARED_DATA_DIR) / "c3dorg_phoenix_dance";
    if (!std::filesystem::is_directory(dir)) {
        error = "not found: " + dir.string();
        return nullptr;
    }
    auto session = std::make_unique<MotionCaptureSession>();
    Group* group = test::buildDanceGroup(*session, dir, &error);
    if (!group)
        return nullptr;
    const auto original = group->normalisedPoses;
    const int32_t n = static_cast<int32_t>(original.size());
    if (n > 0 && o.frames > n) {
        group->normalisedPoses.clear();
        for (int32_t f = 0; f < o.frames; ++f) {
            const int32_t round = f / n, k = f % n;
            group->normalisedPoses.push_back(original[round % 2 == 0 ? k : n - 1 - k]);
        }
        group->frameCount = o.frames;
    }
    computeMaxFrameDistance(*group);
    if (!group->graph)
        group->graph = std::make_unique<Graph2D>();
    setRandomClock([] { return 1000u; });
    createEntireMotionGraph(*group, 1, std::floor(group->maxFrameDistance * o.fraction));
    setRandomClock(nullptr);
    group->graph->deselectAll();
    std::printf("dance take tiled to %d frames, gaps 1, threshold %.0f of largest %.1f\n", group->frameCount,
                std::floor(group->maxFrameDistance * o.fraction), group->maxFrameDistance);
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
        else if (!std::strcmp(argv[a], "--frames")) o.frames = std::max(2, value());
        else if (!std::strcmp(argv[a], "--fraction") && a + 1 < argc) o.fraction = std::atof(argv[++a]);
        else if (!std::strcmp(argv[a], "--large-only")) o.largeOnly = true;
        else {
            std::fprintf(stderr, "usage: graph_canvas_bench [--width W] [--height H] [--repeats N] [--nodes N] "
                                 "[--frames N] [--fraction F] [--large-only]\n");
            return 2;
        }
    }
    // Drawing into images needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    {
        std::string error;
        if (auto large = largeSession(o, error)) {
            measure("large graph, as built", o, *large);
            Group& group = *large->groups.front();
            layOutAlongTime(*group.graph, group.frameCount);
            measure("large graph, laid out along the take", o, *large);
        } else
            std::printf("large graph: skipped (%s)\n", error.c_str());
    }
    if (o.largeOnly)
        return 0;
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
