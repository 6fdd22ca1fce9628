#include "session/GraphFile.h"

#include "capture/Archive.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/GraphArchive.h"
#include "motiongraph/GraphView.h"
#include "session/MotionCaptureSession.h"
#include "session/ProjectFile.h"
#include "skeleton/Group.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

namespace duolo {

struct GraphFileContents::GroupPart {
    std::unique_ptr<Graph2D> graph;
    GraphBuildRecord build;
    std::vector<int32_t> currentFrames;  // per node, in table order
    int32_t currentNode = -1;            // table positions, -1 for none
    int32_t previousNode = -1;
    GraphViewRecord view;
};

GraphFileContents::GraphFileContents() = default;
GraphFileContents::GraphFileContents(GraphFileContents&&) noexcept = default;
GraphFileContents& GraphFileContents::operator=(GraphFileContents&&) noexcept = default;
GraphFileContents::~GraphFileContents() = default;

namespace {

constexpr char kMagic[8] = {'D', 'U', 'O', 'L', 'O', 'G', 'R', 'F'};
constexpr std::size_t kHeaderSize = 8 + 4 + 8 + 4 + 8 + 8;

uint64_t mix(uint64_t x)
{
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    return x;
}

void writeUInt64(ArchiveWriter& out, uint64_t v)
{
    out.writeUInt32(static_cast<uint32_t>(v));
    out.writeUInt32(static_cast<uint32_t>(v >> 32));
}

uint64_t readUInt64(ArchiveReader& in)
{
    const uint64_t low = in.readUInt32();
    return low | (static_cast<uint64_t>(in.readUInt32()) << 32);
}

// Nodes in table order: the unselected list, then the selected one; edges likewise.
// A group without a graph object has the tables of an empty graph.
std::vector<const Graph2DNode*> nodeTable(const Graph2D* g)
{
    if (!g)
        return {};
    std::vector<const Graph2DNode*> all(g->nodes.begin(), g->nodes.end());
    all.insert(all.end(), g->selectedNodes.begin(), g->selectedNodes.end());
    return all;
}

std::vector<const Graph2DEdge*> edgeTable(const Graph2D* g)
{
    if (!g)
        return {};
    std::vector<const Graph2DEdge*> all(g->edges.begin(), g->edges.end());
    all.insert(all.end(), g->selectedEdges.begin(), g->selectedEdges.end());
    return all;
}

template <class T>
std::unordered_map<const T*, uint32_t> positions(const std::vector<const T*>& table)
{
    std::unordered_map<const T*, uint32_t> at;
    at.reserve(table.size());
    for (uint32_t k = 0; k < table.size(); ++k)
        at.emplace(table[k], k);
    return at;
}

void writeGraphState(ArchiveWriter& out, const Group& group)
{
    const Graph2D* g = group.graph.get();
    const auto nodes = nodeTable(g);
    const auto edges = edgeTable(g);
    const auto nodeAt = positions(nodes);
    const auto edgeAt = positions(edges);
    out.writeCount(nodes.size());
    for (const Graph2DNode* n : nodes) {
        out.writeInt32(n->id);
        out.writeDouble(n->x);
        out.writeDouble(n->y);
        out.writeInt32(n->startFrame);
        out.writeInt32(n->endFrame);
    }
    out.writeUInt32(g ? static_cast<uint32_t>(g->nodes.size()) : 0u);
    out.writeCount(edges.size());
    for (const Graph2DEdge* e : edges) {
        out.writeUInt32(nodeAt.at(e->from));
        out.writeUInt32(nodeAt.at(e->to));
        out.writeDouble(e->slope);
        out.writeDouble(e->halfWidth);
    }
    out.writeUInt32(g ? static_cast<uint32_t>(g->edges.size()) : 0u);
    for (const Graph2DNode* n : nodes) {
        out.writeCount(n->incidentEdges.size());
        for (const Graph2DEdge* e : n->incidentEdges)
            out.writeUInt32(edgeAt.at(e));
    }
    const GraphBuildRecord& b = group.lastBuild;
    out.writeBool(b.built);
    out.writeInt32(b.gaps);
    out.writeDouble(b.threshold);
    out.writeCount(b.transitions.size());
    for (const auto& [from, to] : b.transitions) {
        out.writeInt32(from);
        out.writeInt32(to);
    }
}

// Reads what writeGraphState wrote, checking that the tables make one sound graph: the graph
// owns its nodes and the nodes their edges, so an edge listed twice or at a node it does not
// touch would be freed twice or leak, and playback tells an edge's source by the node's id.
class GraphStateReader {
public:
    explicit GraphStateReader(ArchiveReader& in) : in_(in) {}
    ~GraphStateReader()
    {
        // Until the graph takes them over, the edges belong to edges_, not to the nodes whose
        // lists name them: a refusal frees each once.
        for (auto& node : nodes_)
            if (node)
                node->incidentEdges.clear();
    }

    void read(GraphFileContents::GroupPart& part)
    {
        const uint32_t nodeCount = in_.readCount(28);
        auto& nodes = nodes_;
        nodes.reserve(nodeCount);
        std::unordered_set<int32_t> ids;
        for (uint32_t k = 0; k < nodeCount; ++k) {
            auto n = std::make_unique<Graph2DNode>();
            n->id = in_.readInt32();
            n->x = in_.readDouble();
            n->y = in_.readDouble();
            n->startFrame = in_.readInt32();
            n->endFrame = in_.readInt32();
            n->currentFrame = n->startFrame;
            if (n->id < 0 || !ids.insert(n->id).second)
                in_.fail("node " + std::to_string(k) + " has the id " + std::to_string(n->id) +
                         ", which is negative or taken");
            if (!std::isfinite(n->x) || !std::isfinite(n->y))
                in_.fail("node " + std::to_string(k) + " has no finite position");
            for (int32_t f : {n->startFrame, n->endFrame})
                if (f < 0 || f > kMaxGraphFrame)
                    in_.fail("node " + std::to_string(k) + " names frame " + std::to_string(f));
            nodes.push_back(std::move(n));
        }
        const uint32_t unselectedNodes = in_.readUInt32();
        if (unselectedNodes > nodeCount)
            in_.fail("more unselected nodes than nodes");

        const uint32_t edgeCount = in_.readCount(24);
        auto& edges = edges_;
        edges.reserve(edgeCount);
        for (uint32_t k = 0; k < edgeCount; ++k) {
            auto e = std::make_unique<Graph2DEdge>();
            const uint32_t from = in_.readUInt32();
            const uint32_t to = in_.readUInt32();
            e->slope = in_.readDouble();
            e->halfWidth = in_.readDouble();
            if (from >= nodeCount || to >= nodeCount)
                in_.fail("edge " + std::to_string(k) + " names a node that does not exist");
            if (!std::isfinite(e->halfWidth))
                in_.fail("edge " + std::to_string(k) + " has no finite width");
            e->from = nodes[from].get();
            e->to = nodes[to].get();
            edges.push_back(std::move(e));
        }
        const uint32_t unselectedEdges = in_.readUInt32();
        if (unselectedEdges > edgeCount)
            in_.fail("more unselected edges than edges");

        std::vector<uint32_t> listings(edgeCount, 0);
        for (uint32_t k = 0; k < nodeCount; ++k) {
            Graph2DNode* n = nodes[k].get();
            const uint32_t count = in_.readCount(4);
            for (uint32_t i = 0; i < count; ++i) {
                const uint32_t e = in_.readUInt32();
                if (e >= edgeCount || (edges[e]->from != n && edges[e]->to != n))
                    in_.fail("node " + std::to_string(k) + " lists an edge that does not touch it");
                ++listings[e];
                n->incidentEdges.push_back(edges[e].get());
            }
        }
        for (uint32_t e = 0; e < edgeCount; ++e) {
            const Graph2DEdge& edge = *edges[e];
            const uint32_t expected = edge.from == edge.to ? 1 : 2;
            const bool once = edge.from == edge.to ||
                              std::count(edge.from->incidentEdges.begin(), edge.from->incidentEdges.end(), &edge) == 1;
            if (listings[e] != expected || !once)
                in_.fail("edge " + std::to_string(e) + " is not listed once at each of its ends");
        }

        GraphBuildRecord& b = part.build;
        b.built = in_.readBool();
        b.gaps = in_.readInt32();
        b.threshold = in_.readDouble();
        const uint32_t transitions = in_.readCount(8);
        b.transitions.reserve(transitions);
        for (uint32_t k = 0; k < transitions; ++k) {
            const int32_t from = in_.readInt32();
            const int32_t to = in_.readInt32();
            if (from < 0 || to < 0 || from > kMaxGraphFrame || to > kMaxGraphFrame)
                in_.fail("a transition names frames outside the take");
            b.transitions.emplace_back(from, to);
        }

        // Sound: hand everything to the graph, which owns it from here on.
        auto graph = std::make_unique<Graph2D>();
        for (uint32_t k = 0; k < nodeCount; ++k)
            (k < unselectedNodes ? graph->nodes : graph->selectedNodes).push_back(nodes[k].release());
        for (uint32_t k = 0; k < edgeCount; ++k) {
            edges[k]->rebuildGeometry();
            (k < unselectedEdges ? graph->edges : graph->selectedEdges).push_back(edges[k].release());
        }
        nodes.clear();
        edges.clear();
        part.graph = std::move(graph);
    }

private:
    ArchiveReader& in_;
    std::vector<std::unique_ptr<Graph2DNode>> nodes_;
    std::vector<std::unique_ptr<Graph2DEdge>> edges_;
};

// The part of a stored graph state that the given bytes hold; throws ArchiveError.
void readGraphStateBytes(const uint8_t* data, std::size_t size, GraphFileContents::GroupPart& part)
{
    ArchiveReader in(data, size, {});
    GraphStateReader(in).read(part);
    if (in.remaining() != 0)
        in.fail(std::to_string(in.remaining()) + " unexpected bytes after the graph");
}

void readGroupBlock(const uint8_t* data, std::size_t size, int32_t index, GraphFileContents::GroupPart& part)
{
    ArchiveReader in(data, size, {});
    const int32_t stored = in.readInt32();
    if (stored != index)
        in.fail("the block of group " + std::to_string(index) + " says it is group " + std::to_string(stored));
    const uint32_t stateSize = in.readUInt32();
    if (stateSize > in.remaining())
        in.fail("the graph runs past the end of its group's block");
    readGraphStateBytes(data + in.position(), stateSize, part);
    for (uint32_t k = 0; k < stateSize; ++k)
        in.readByte();

    const std::vector<const Graph2DNode*> nodes = nodeTable(part.graph.get());
    const uint32_t cursors = in.readCount(4);
    if (cursors != nodes.size())
        in.fail("the playback cursors do not match the nodes");
    for (const Graph2DNode* n : nodes) {
        const int32_t f = in.readInt32();
        const bool inside = n->startFrame <= n->endFrame ? f >= n->startFrame && f <= n->endFrame : f == n->startFrame;
        if (!inside)
            in.fail("a node's playback cursor lies outside its clip");
        part.currentFrames.push_back(f);
    }
    for (int32_t* at : {&part.currentNode, &part.previousNode}) {
        *at = in.readInt32();
        if (*at < -1 || *at >= static_cast<int64_t>(nodes.size()))
            in.fail("the current node does not exist");
    }
    GraphViewRecord& v = part.view;
    v.zoom = in.readInt32();
    v.centreX = in.readDouble();
    v.centreY = in.readDouble();
    v.gridSpacing = in.readInt32();
    v.showGrid = in.readBool();
    v.stored = true;
    if (v.zoom < 1 || v.zoom > GraphView::kMaximumZoom || v.gridSpacing < 1 ||
        v.gridSpacing > GraphView::kMaximumGridSpacing || !std::isfinite(v.centreX) || !std::isfinite(v.centreY))
        in.fail("the editor's view is out of range");
    if (in.remaining() != 0)
        in.fail(std::to_string(in.remaining()) + " unexpected bytes after the group's block");
}

int32_t tablePosition(const Graph2D* g, const Graph2DNode* node)
{
    if (!node || !g)
        return -1;
    const auto nodes = nodeTable(g);
    const auto it = std::find(nodes.begin(), nodes.end(), node);
    return it == nodes.end() ? -1 : static_cast<int32_t>(it - nodes.begin());
}

Graph2DNode* nodeAtPosition(Graph2D& g, int32_t position)
{
    if (position < 0)
        return nullptr;
    const auto k = static_cast<size_t>(position);
    if (k < g.nodes.size())
        return g.nodes[k];
    return k - g.nodes.size() < g.selectedNodes.size() ? g.selectedNodes[k - g.nodes.size()] : nullptr;
}

bool fileExists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

} // namespace

std::string graphFilePathFor(const std::string& projectPath)
{
    const std::string ext = ".dwz";
    if (projectPath.size() > ext.size()) {
        std::string tail = projectPath.substr(projectPath.size() - ext.size());
        std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
        if (tail == ext)
            return projectPath.substr(0, projectPath.size() - ext.size()) + ".graphs";
    }
    return projectPath + ".graphs";
}

uint64_t fingerprintOf(const uint8_t* data, std::size_t size)
{
    uint64_t h = mix(0x9E3779B97F4A7C15ull ^ size);
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t w;
        std::memcpy(&w, data + i, 8);
        h = (h ^ mix(w)) * 0x100000001B3ull + 0x9E3779B97F4A7C15ull;
    }
    uint64_t tail = 0;
    for (std::size_t k = 0; i + k < size; ++k)
        tail |= static_cast<uint64_t>(data[i + k]) << (8 * k);
    return mix(h ^ mix(tail + size));
}

bool anyGroupHasGraph(const MotionCaptureSession& session)
{
    return std::any_of(session.groups.begin(), session.groups.end(),
                       [](const auto& g) { return g->graph && g->graph->totalNodeCount() > 0; });
}

std::vector<uint8_t> groupGraphBytes(const Group& group)
{
    ArchiveWriter out;
    writeGraphState(out, group);
    return out.takeBytes();
}

bool restoreGroupGraph(Group& group, const std::vector<uint8_t>& bytes, std::string& error)
{
    GraphFileContents::GroupPart part;
    try {
        readGraphStateBytes(bytes.data(), bytes.size(), part);
    } catch (const ArchiveError& e) {
        error = e.what();
        return false;
    }
    const int32_t current = tablePosition(group.graph.get(), group.currentNode);
    const int32_t previous = tablePosition(group.graph.get(), group.previousNode);
    group.currentNode = group.previousNode = nullptr;
    group.graph = std::move(part.graph);
    group.lastBuild = std::move(part.build);
    Graph2D& g = *group.graph;
    Graph2DNode* first = g.nodes.empty() ? nullptr : g.nodes.front();
    group.currentNode = nodeAtPosition(g, current);
    group.previousNode = nodeAtPosition(g, previous);
    if (!group.currentNode)
        group.currentNode = first;
    if (!group.previousNode)
        group.previousNode = group.currentNode;
    return true;
}

std::vector<uint8_t> graphFileBytes(const MotionCaptureSession& session, uint64_t fingerprint)
{
    ArchiveWriter payload;
    for (size_t k = 0; k < session.groups.size(); ++k) {
        const Group& group = *session.groups[k];
        ArchiveWriter block;
        block.writeInt32(static_cast<int32_t>(k));
        const std::vector<uint8_t> state = groupGraphBytes(group);
        block.writeUInt32(static_cast<uint32_t>(state.size()));
        for (uint8_t byte : state)
            block.writeByte(byte);
        const Graph2D* g = group.graph.get();
        const auto nodes = nodeTable(g);
        block.writeCount(nodes.size());
        for (const Graph2DNode* n : nodes)
            block.writeInt32(n->currentFrame);
        block.writeInt32(tablePosition(g, group.currentNode));
        block.writeInt32(tablePosition(g, group.previousNode));
        const GraphViewRecord& v = group.graphView;
        block.writeInt32(v.zoom);
        block.writeDouble(v.centreX);
        block.writeDouble(v.centreY);
        block.writeInt32(v.gridSpacing);
        block.writeBool(v.showGrid);
        const std::vector<uint8_t>& bytes = block.bytes();
        payload.writeUInt32(static_cast<uint32_t>(bytes.size()));
        for (uint8_t byte : bytes)
            payload.writeByte(byte);
    }
    const std::vector<uint8_t>& body = payload.bytes();
    ArchiveWriter out;
    out.reserve(kHeaderSize + body.size());
    for (char c : kMagic)
        out.writeByte(static_cast<uint8_t>(c));
    out.writeUInt32(kGraphFileVersion);
    writeUInt64(out, fingerprint);
    out.writeUInt32(static_cast<uint32_t>(session.groups.size()));
    writeUInt64(out, body.size());
    writeUInt64(out, fingerprintOf(body));
    std::vector<uint8_t> bytes = out.takeBytes();
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

bool readGraphFile(const uint8_t* data, std::size_t size, const std::string& path, GraphFileContents& contents,
                   std::string& error)
{
    if (size < sizeof kMagic || std::memcmp(data, kMagic, sizeof kMagic) != 0) {
        error = path + ": not a Duolo Motion Graphs graph file";
        return false;
    }
    if (size < kHeaderSize) {
        error = path + ": the file is truncated (" + std::to_string(size) + " bytes, shorter than its header)";
        return false;
    }
    try {
        ArchiveReader in(data, size, {});
        for (std::size_t k = 0; k < sizeof kMagic; ++k)
            in.readByte();
        const uint32_t version = in.readUInt32();
        if (version != kGraphFileVersion) {
            error = path + ": graph file version " + std::to_string(version) + " cannot be read (this program reads " +
                    std::to_string(kGraphFileVersion) + ")";
            return false;
        }
        GraphFileContents read;
        read.fingerprint = readUInt64(in);
        const uint32_t groups = in.readUInt32();
        const uint64_t length = readUInt64(in);
        const uint64_t checksum = readUInt64(in);
        if (length != in.remaining()) {
            error = path + ": the file is " + (length > in.remaining() ? "truncated" : "longer than it says") +
                    " (its header promises " + std::to_string(length) + " bytes of graphs, " +
                    std::to_string(in.remaining()) + " follow)";
            return false;
        }
        if (fingerprintOf(data + in.position(), in.remaining()) != checksum) {
            error = path + ": the file is damaged (its checksum does not match its contents)";
            return false;
        }
        if (groups > in.remaining() / 4)
            in.fail("more groups than the file can hold");
        for (uint32_t k = 0; k < groups; ++k) {
            const uint32_t blockSize = in.readUInt32();
            if (blockSize > in.remaining())
                in.fail("the block of group " + std::to_string(k) + " runs past the end of the file");
            auto part = std::make_unique<GraphFileContents::GroupPart>();
            try {
                readGroupBlock(data + in.position(), blockSize, static_cast<int32_t>(k), *part);
            } catch (const ArchiveError& e) {
                error = path + ": group " + std::to_string(k) + ": " + e.what();
                return false;
            }
            for (uint32_t b = 0; b < blockSize; ++b)
                in.readByte();
            read.groups.push_back(std::move(part));
        }
        if (in.remaining() != 0)
            in.fail(std::to_string(in.remaining()) + " unexpected bytes after the last group");
        contents = std::move(read);
        return true;
    } catch (const ArchiveError& e) {
        error = path + ": " + e.what();
    } catch (const std::bad_alloc&) {
        error = path + ": not enough memory to read the graphs";
    }
    return false;
}

bool graphsFitSession(const GraphFileContents& contents, const MotionCaptureSession& session, const std::string& path,
                      std::string& error)
{
    if (contents.groups.size() != session.groups.size()) {
        error = path + ": it holds graphs of " + std::to_string(contents.groups.size()) + " groups, the project has " +
                std::to_string(session.groups.size());
        return false;
    }
    for (size_t k = 0; k < contents.groups.size(); ++k) {
        const auto& part = *contents.groups[k];
        const int32_t frames = session.groups[k]->framesHeld();
        auto outside = [frames](int32_t f) { return f < 0 || f >= frames; };
        bool bad = false;
        for (const Graph2DNode* n : nodeTable(part.graph.get()))
            bad = bad || outside(n->startFrame) || outside(n->endFrame);
        for (const auto& [from, to] : part.build.transitions)
            bad = bad || outside(from) || outside(to);
        if (bad) {
            error = path + ": group " + std::to_string(k) + " has clips outside its " + std::to_string(frames) +
                    " frames";
            return false;
        }
    }
    return true;
}

void applyGraphs(GraphFileContents&& contents, MotionCaptureSession& session)
{
    for (size_t k = 0; k < contents.groups.size() && k < session.groups.size(); ++k) {
        auto& part = *contents.groups[k];
        Group& group = *session.groups[k];
        group.currentNode = group.previousNode = nullptr;
        group.graph = std::move(part.graph);
        group.lastBuild = std::move(part.build);
        group.graphView = part.view;
        Graph2D& g = *group.graph;
        for (size_t n = 0; n < part.currentFrames.size(); ++n)
            nodeAtPosition(g, static_cast<int32_t>(n))->currentFrame = part.currentFrames[n];
        group.currentNode = nodeAtPosition(g, part.currentNode);
        group.previousNode = nodeAtPosition(g, part.previousNode);
    }
}

std::vector<GraphFileGroupSummary> summarise(const GraphFileContents& contents)
{
    std::vector<GraphFileGroupSummary> out;
    for (const auto& part : contents.groups)
        out.push_back({part->graph->totalNodeCount(), part->graph->edgeCount() + part->graph->howManySelectedEdges()});
    return out;
}

GraphFileOutcome loadGraphsFor(MotionCaptureSession& session, const std::string& projectPath,
                               const std::vector<uint8_t>& projectBytes)
{
    GraphFileOutcome outcome;
    outcome.graphPath = graphFilePathFor(projectPath);
    if (!fileExists(outcome.graphPath))
        return outcome;
    std::vector<uint8_t> data;
    GraphFileContents contents;
    std::string error;
    if (!readWholeFile(outcome.graphPath, data, error) ||
        !readGraphFile(data.data(), data.size(), outcome.graphPath, contents, error)) {
        outcome.status = GraphFileOutcome::Status::Refused;
        outcome.message = error + ". The project opens without motion graphs.";
        return outcome;
    }
    if (contents.fingerprint != fingerprintOf(projectBytes)) {
        outcome.status = GraphFileOutcome::Status::Mismatch;
        outcome.message = outcome.graphPath + " was saved with another version of " + projectPath +
                          ", so its motion graphs may not fit. The project opens without motion graphs.";
        return outcome;
    }
    if (!graphsFitSession(contents, session, outcome.graphPath, error)) {
        outcome.status = GraphFileOutcome::Status::Refused;
        outcome.message = error + ". The project opens without motion graphs.";
        return outcome;
    }
    applyGraphs(std::move(contents), session);
    outcome.status = GraphFileOutcome::Status::Applied;
    return outcome;
}

bool saveProjectWithGraphs(const MotionCaptureSession& session, const std::string& projectPath, std::string& error)
{
    std::vector<uint8_t> bytes;
    if (!saveProject(session, projectPath, error, &bytes))
        return false;
    const std::string graphPath = graphFilePathFor(projectPath);
    if (!anyGroupHasGraph(session) && !fileExists(graphPath))
        return true;
    return writeFileAtomically(graphPath, graphFileBytes(session, fingerprintOf(bytes)), error);
}

} // namespace duolo
