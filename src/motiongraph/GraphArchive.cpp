#include "motiongraph/GraphArchive.h"

#include "capture/Archive.h"
#include "motiongraph/Graph2D.h"

#include <algorithm>
#include <unordered_map>

namespace duolo {

namespace {

constexpr const char* kGraph = "Graph2D";
constexpr const char* kNode = "Graph2DNode";
constexpr const char* kEdge = "Graph2DEdge";
constexpr const char* kList = "CObList";

// --- Writing ----------------------------------------------------------------------------

void writeEdgeReference(ArchiveWriter& out, const Graph2DEdge* edge);

void writeNodeReference(ArchiveWriter& out, const Graph2DNode* node)
{
    if (!out.writeObject(node, kNode))
        return;
    out.writeInt32(node->id);
    out.writeDouble(node->x);
    out.writeDouble(node->y);
    if (out.writeObject(&node->incidentEdges, kList)) {
        out.writeCount(node->incidentEdges.size());
        for (const Graph2DEdge* edge : node->incidentEdges)
            writeEdgeReference(out, edge);
    }
    out.writeInt32(node->startFrame);
    out.writeInt32(node->endFrame);
}

void writeEdgeReference(ArchiveWriter& out, const Graph2DEdge* edge)
{
    if (!out.writeObject(edge, kEdge))
        return;
    out.writeDouble(edge->slope);
    writeNodeReference(out, edge->from);
    writeNodeReference(out, edge->to);
    out.writeDouble(edge->halfWidth);
}

// --- Reading ----------------------------------------------------------------------------

// Owns what it creates until the whole record has been read and checked, so that a failure
// anywhere frees everything exactly once.
class GraphRecordReader {
public:
    explicit GraphRecordReader(ArchiveReader& in) : in_(in) {}
    ~GraphRecordReader()
    {
        // Edges are owned by edges_, not by the nodes, until the graph takes them over.
        for (auto& node : nodes_)
            node->incidentEdges.clear();
    }

    std::unique_ptr<Graph2D> read()
    {
        ArchiveReader::RecordScope scope(in_, kGraph);
        const int32_t nodeCount = in_.readInt32();
        const int32_t selectedNodeCount = in_.readInt32();
        const int32_t edgeCount = in_.readInt32();
        const int32_t selectedEdgeCount = in_.readInt32();
        std::vector<Graph2DNode*> nodes, selectedNodes;
        std::vector<Graph2DEdge*> edges, selectedEdges;
        readNodeList(nodes);
        readNodeList(selectedNodes);
        readEdgeList(edges);
        readEdgeList(selectedEdges);
        if (nodeCount != static_cast<int64_t>(nodes.size()) ||
            selectedNodeCount != static_cast<int64_t>(selectedNodes.size()) ||
            edgeCount != static_cast<int64_t>(edges.size()) ||
            selectedEdgeCount != static_cast<int64_t>(selectedEdges.size()))
            in_.fail("the graph's counts do not match its lists");
        check(nodes, selectedNodes, edges, selectedEdges);

        auto graph = std::make_unique<Graph2D>();
        graph->nodes = std::move(nodes);
        graph->selectedNodes = std::move(selectedNodes);
        graph->edges = std::move(edges);
        graph->selectedEdges = std::move(selectedEdges);
        for (auto& node : nodes_)
            node.release();
        for (auto& edge : edges_) {
            edge->rebuildGeometry();
            edge.release();
        }
        nodes_.clear();
        edges_.clear();
        return graph;
    }

private:
    template <typename T>
    T* existingOrNull(const ArchiveReader::Reference& r, const char* className)
    {
        if (r.kind == ArchiveReader::Reference::Kind::Null)
            in_.fail(std::string("a null reference where a ") + className + " was expected", r.offset);
        if (in_.className(r.classId) != className)
            in_.fail(std::string("a ") + in_.className(r.classId) + " where a " + className + " was expected",
                     r.offset);
        return r.kind == ArchiveReader::Reference::Kind::Existing ? static_cast<T*>(r.object) : nullptr;
    }

    Graph2DNode* readNodeReference()
    {
        const auto r = in_.readReference();
        if (auto* existing = existingOrNull<Graph2DNode>(r, kNode))
            return existing;
        nodes_.push_back(std::make_unique<Graph2DNode>());
        Graph2DNode* node = nodes_.back().get();
        in_.bind(node);

        ArchiveReader::RecordScope scope(in_, kNode);
        node->id = in_.readInt32();
        node->x = in_.readDouble();
        node->y = in_.readDouble();
        const auto list = in_.readReference();
        if (list.kind != ArchiveReader::Reference::Kind::New || in_.className(list.classId) != kList)
            in_.fail("a Graph2DNode's edge list must be a CObList of its own", list.offset);
        in_.bind(&node->incidentEdges);
        {
            ArchiveReader::RecordScope listScope(in_, kList);
            const uint32_t count = in_.readCount(2);
            for (uint32_t k = 0; k < count; ++k)
                node->incidentEdges.push_back(readEdgeReference());
        }
        node->startFrame = readFrame();
        node->endFrame = readFrame();
        node->currentFrame = node->startFrame;
        node->radius = 0.5;
        return node;
    }

    int32_t readFrame()
    {
        const std::size_t at = in_.position();
        const int32_t frame = in_.readInt32();
        if (frame < 0 || frame > kMaxGraphFrame)
            in_.fail("a Graph2DNode's clip names frame " + std::to_string(frame), at);
        return frame;
    }

    Graph2DEdge* readEdgeReference()
    {
        const auto r = in_.readReference();
        if (auto* existing = existingOrNull<Graph2DEdge>(r, kEdge))
            return existing;
        edges_.push_back(std::make_unique<Graph2DEdge>());
        Graph2DEdge* edge = edges_.back().get();
        in_.bind(edge);

        ArchiveReader::RecordScope scope(in_, kEdge);
        edge->slope = in_.readDouble();
        edge->from = readNodeReference();
        edge->to = readNodeReference();
        edge->halfWidth = in_.readDouble();
        return edge;
    }

    void readNodeList(std::vector<Graph2DNode*>& list)
    {
        const uint32_t count = in_.readCount(2);
        for (uint32_t k = 0; k < count; ++k)
            list.push_back(readNodeReference());
    }

    void readEdgeList(std::vector<Graph2DEdge*>& list)
    {
        const uint32_t count = in_.readCount(2);
        for (uint32_t k = 0; k < count; ++k)
            list.push_back(readEdgeReference());
    }

    // The graph owns its nodes and the nodes their edges: every node read must be in exactly
    // one node list, every edge in exactly one edge list and listed once at each end (a
    // self-loop once), or destroying the graph would leak or free twice.
    void check(const std::vector<Graph2DNode*>& nodes, const std::vector<Graph2DNode*>& selectedNodes,
               const std::vector<Graph2DEdge*>& edges, const std::vector<Graph2DEdge*>& selectedEdges)
    {
        std::unordered_map<const Graph2DNode*, int> nodeListings;
        for (const auto* list : {&nodes, &selectedNodes})
            for (const Graph2DNode* n : *list)
                ++nodeListings[n];
        std::unordered_map<const Graph2DEdge*, int> edgeListings;
        for (const auto* list : {&edges, &selectedEdges})
            for (const Graph2DEdge* e : *list)
                ++edgeListings[e];
        std::unordered_map<const Graph2DEdge*, int> endListings;
        bool sound = true;
        for (const auto& node : nodes_) {
            sound = sound && nodeListings[node.get()] == 1;
            for (const Graph2DEdge* e : node->incidentEdges) {
                sound = sound && (e->from == node.get() || e->to == node.get());
                ++endListings[e];
            }
        }
        for (const auto& edge : edges_) {
            const int expected = edge->from == edge->to ? 1 : 2;
            sound = sound && edgeListings[edge.get()] == 1 && endListings[edge.get()] == expected;
            if (sound && expected == 2)
                sound = std::count(edge->from->incidentEdges.begin(), edge->from->incidentEdges.end(), edge.get()) == 1;
        }
        if (!sound)
            in_.fail("the graph's nodes and edges do not agree with its lists");
    }

    ArchiveReader& in_;
    std::vector<std::unique_ptr<Graph2DNode>> nodes_;
    std::vector<std::unique_ptr<Graph2DEdge>> edges_;
};

} // namespace

const std::vector<std::string>& graphClassNames()
{
    static const std::vector<std::string> names = {kGraph, kNode, kEdge, kList};
    return names;
}

void writeGraph(ArchiveWriter& out, const Graph2D& graph)
{
    out.writeInt32(graph.nodeCount());
    out.writeInt32(graph.howManySelectedNodes());
    out.writeInt32(graph.edgeCount());
    out.writeInt32(graph.howManySelectedEdges());
    for (const auto* list : {&graph.nodes, &graph.selectedNodes}) {
        out.writeCount(list->size());
        for (const Graph2DNode* node : *list)
            writeNodeReference(out, node);
    }
    for (const auto* list : {&graph.edges, &graph.selectedEdges}) {
        out.writeCount(list->size());
        for (const Graph2DEdge* edge : *list)
            writeEdgeReference(out, edge);
    }
}

std::unique_ptr<Graph2D> readGraph(ArchiveReader& in)
{
    GraphRecordReader reader(in);
    return reader.read();
}

std::vector<uint8_t> graphToBytes(const Graph2D& graph)
{
    ArchiveWriter out;
    writeGraph(out, graph);
    return out.takeBytes();
}

std::unique_ptr<Graph2D> graphFromBytes(const std::vector<uint8_t>& bytes, std::string& error)
{
    try {
        ArchiveReader in(bytes.data(), bytes.size(), graphClassNames());
        auto graph = readGraph(in);
        if (in.remaining() != 0)
            in.fail("unexpected bytes after the graph");
        return graph;
    } catch (const ArchiveError& e) {
        error = e.what();
        return nullptr;
    }
}

} // namespace duolo
