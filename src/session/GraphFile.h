#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace duolo {

class Group;
class MotionCaptureSession;

// The graph file kept beside a project (NAME.dwz -> NAME.graphs): every group's motion graph
// with everything its playback depends on, the latest build's settings and transitions, and how
// the editor showed it. The project file itself never holds graphs; the graph file names the
// project it belongs to by a fingerprint of the project file's bytes and is applied only to
// that project.
//
// Layout (little-endian): the magic "DUOLOGRF", uint32 version, uint64 project fingerprint,
// uint32 group count, uint64 payload length, uint64 payload checksum, then the payload: per
// group a length-prefixed block (the group's graph state, see groupGraphBytes, then the playback
// cursors and the editor's view).
//
// Graphs are stored as flat tables (nodes, edges, list orders as indices), not as nested
// object records: a record scheme nests one level per node along the graph's longest chain,
// and real graphs have chains of thousands of clips.

inline constexpr uint32_t kGraphFileVersion = 1;

// NAME.dwz -> NAME.graphs; a name without the ".dwz" extension gets ".graphs" appended.
std::string graphFilePathFor(const std::string& projectPath);

// A 64-bit fingerprint of bytes (not cryptographic: it tells versions of a file apart).
uint64_t fingerprintOf(const uint8_t* data, std::size_t size);
inline uint64_t fingerprintOf(const std::vector<uint8_t>& bytes) { return fingerprintOf(bytes.data(), bytes.size()); }

// Whether any group's graph holds a node.
bool anyGroupHasGraph(const MotionCaptureSession& session);

// The edit state of one group's graph: every node (id, clip, centre), both node lists, every
// edge (ends, slope, half width), both edge lists, each node's incident edges in their order,
// and the latest build record. Playback cursors and the view are not part of it. Equal bytes
// mean equal graphs; undo and the unsaved-changes check compare these.
std::vector<uint8_t> groupGraphBytes(const Group& group);
// Puts the graph of groupGraphBytes back in the group. Playback's current and previous node keep
// their places in the node lists where the new graph has them, else go to the first unselected
// node. False (group untouched) with `error` when the bytes are malformed.
bool restoreGroupGraph(Group& group, const std::vector<uint8_t>& bytes, std::string& error);

// The whole graph file of the session, for a project file whose bytes have `fingerprint`.
std::vector<uint8_t> graphFileBytes(const MotionCaptureSession& session, uint64_t fingerprint);

// What a graph file held, read and checked but not yet given to any group.
struct GraphFileContents {
    struct GroupPart;
    GraphFileContents();
    GraphFileContents(GraphFileContents&&) noexcept;
    GraphFileContents& operator=(GraphFileContents&&) noexcept;
    ~GraphFileContents();

    uint64_t fingerprint = 0;
    std::vector<std::unique_ptr<GroupPart>> groups;
};

// Reads a graph file's bytes; `path` names it in messages. False with `error` naming the file
// and the problem for anything damaged, truncated or malformed.
bool readGraphFile(const uint8_t* data, std::size_t size, const std::string& path, GraphFileContents& contents,
                   std::string& error);

// Whether the contents fit the session: same group count, every clip and transition inside
// its group's frames. False with `error` (naming `path`) otherwise.
bool graphsFitSession(const GraphFileContents& contents, const MotionCaptureSession& session, const std::string& path,
                      std::string& error);

// Gives every group its graph, build record, cursors and view from the contents (which must
// fit the session).
void applyGraphs(GraphFileContents&& contents, MotionCaptureSession& session);

// Per group of a graph file: nodes and edges, for summaries.
struct GraphFileGroupSummary {
    int32_t nodes = 0;
    int32_t edges = 0;
};
std::vector<GraphFileGroupSummary> summarise(const GraphFileContents& contents);

// Opening a project's graphs: reads the graph file beside `projectPath` when it is there,
// checks it against the project (whose file bytes are `projectBytes`) and applies it.
struct GraphFileOutcome {
    enum class Status { Absent, Applied, Mismatch, Refused };
    Status status = Status::Absent;
    std::string graphPath;
    std::string message;  // for Mismatch and Refused: what to tell the user
};
GraphFileOutcome loadGraphsFor(MotionCaptureSession& session, const std::string& projectPath,
                               const std::vector<uint8_t>& projectBytes);

// "Save Progress": the project file, then (when any group has a graph, or a graph file is
// there already, which then must not keep graphs the session no longer has) the graph file;
// each written atomically. False with `error` naming the file and the reason.
bool saveProjectWithGraphs(const MotionCaptureSession& session, const std::string& projectPath, std::string& error);

} // namespace duolo
