#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace duolo {

class ArchiveReader;
class ArchiveWriter;
class Graph2D;

// The archive records of the motion graph classes, in the same persistent-object scheme as
// the project file: a graph's four counts and four object lists; a node's id, centre, its edge
// list (an object of class "CObList") and clip; an edge's slope, ends and half width. Nodes and
// edges reached through several lists are stored once and referred to by index afterwards.

// The largest frame a stored node may name. A clip's frames index a group's poses, and no take
// that fits in memory has this many; a graph record naming frames outside 0 .. kMaxGraphFrame
// is refused.
constexpr int32_t kMaxGraphFrame = (1 << 28) - 1;

// Class names the graph records use, for an ArchiveReader that reads them.
const std::vector<std::string>& graphClassNames();

// Writes the Graph2D record (without a class tag).
void writeGraph(ArchiveWriter& out, const Graph2D& graph);

// Reads a Graph2D record. Throws ArchiveError on malformed data: a reference of the wrong
// class, counts that disagree with the lists, or nodes and edges whose lists contradict each
// other (a node in both lists, an edge missing from its ends' lists, ...), or node frames
// outside 0 .. kMaxGraphFrame. Nothing leaks.
// Edge geometry is rebuilt and every node's playback cursor is at its start.
std::unique_ptr<Graph2D> readGraph(ArchiveReader& in);

// A graph as a byte stream of its own (the record alone), and back; on failure null and
// `error` says what is wrong.
std::vector<uint8_t> graphToBytes(const Graph2D& graph);
std::unique_ptr<Graph2D> graphFromBytes(const std::vector<uint8_t>& bytes, std::string& error);

} // namespace duolo
