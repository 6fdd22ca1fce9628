#include "motiongraph/Graph2D.h"

#include "capture/Random.h"

namespace duolo {

Graph2D::Graph2D() { seedRandomFromClock(); }
Graph2D::~Graph2D() = default;

} // namespace duolo
