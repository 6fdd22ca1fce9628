#pragma once

#include "motiongraph/PoseColumns.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace duolo {

class Skeleton;

// The pose columns of the groups measured last, so that the largest-distance pass, the
// transition search and the distance map of a group build them once while its poses stay as
// they are.
//
// An entry is found by where the poses live (the buffer of the vector, which moving the
// vector from one group to another keeps) and used only when every position and velocity is
// still bit for bit the one it was built from; poses that changed drop the entry and get new
// columns. A few entries are kept, the least recently used going first, within a memory budget.
class PoseColumnsCache {
public:
    // The columns of the first `frameCount` poses, from the cache or freshly built (and then
    // kept); null when the poses do not all have the same joint count.
    std::shared_ptr<const PoseColumns> columnsFor(const std::vector<Skeleton>& poses, int32_t frameCount);
    void clear();

    size_t builds() const;  // columns built so far (for tests)
    size_t size() const;

    // The one the motion graph code shares.
    static PoseColumnsCache& shared();

private:
    struct Entry {
        const void* poses;  // the vector's buffer
        std::shared_ptr<const PoseColumns> columns;
    };
    std::vector<Entry> entries_;  // most recently used last
    size_t builds_ = 0;
};

// Roughly the bytes a set of columns holds.
size_t poseColumnsBytes(const PoseColumns& columns);

} // namespace duolo
