#pragma once

// Placeholder until the motion graph model lands: groups own one graph each.
namespace duolo {

class Graph2DNode;

class Graph2D {
public:
    Graph2D();
    ~Graph2D();
};

} // namespace duolo
