#include "motiongraph/PoseColumnsCache.h"

#include "skeleton/Skeleton.h"

#include <algorithm>
#include <mutex>

namespace duolo {

namespace {

// Enough for the groups of one session; the budget keeps a few long takes from piling up.
constexpr size_t kMostEntries = 4;
constexpr size_t kBudgetBytes = size_t{1} << 30;

std::mutex& cacheMutex()
{
    static std::mutex mutex;
    return mutex;
}

template <typename T>
size_t bytesOf(const std::vector<T>& v)
{
    return v.capacity() * sizeof(T);
}

} // namespace

size_t poseColumnsBytes(const PoseColumns& c)
{
    return bytesOf(c.speedSq) + bytesOf(c.testOrder) + bytesOf(c.gate) + bytesOf(c.records) + bytesOf(c.stillJoint) +
           bytesOf(c.velocityReach) + bytesOf(c.pivotColumns) + bytesOf(c.pivotReachColumns) +
           bytesOf(c.pivotAngleColumns) + bytesOf(c.speedReach) + bytesOf(c.speedSquares) + bytesOf(c.speedRanks) +
           bytesOf(c.gateRanks) + bytesOf(c.roundedPivotColumns) + bytesOf(c.roundedPivotReachColumns) +
           bytesOf(c.roundedPositions);
}

std::shared_ptr<const PoseColumns> PoseColumnsCache::columnsFor(const std::vector<Skeleton>& poses,
                                                                int32_t frameCount)
{
    const void* key = poses.data();
    std::shared_ptr<const PoseColumns> found;
    {
        std::lock_guard lock(cacheMutex());
        const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.poses == key; });
        if (it != entries_.end()) {
            found = it->columns;
            entries_.erase(it);  // back in below if still good, now the most recent
        }
    }
    // The comparison reads every pose: done outside the lock, on columns nobody changes.
    if (found && found->matches(poses, frameCount)) {
        std::lock_guard lock(cacheMutex());
        entries_.push_back({key, found});
        return found;
    }
    found.reset();  // poses changed (or moved away and others took their place): built anew

    auto built = std::make_shared<PoseColumns>();
    if (!built->build(poses, frameCount))
        return nullptr;
    std::lock_guard lock(cacheMutex());
    ++builds_;
    std::erase_if(entries_, [&](const Entry& e) { return e.poses == key; });
    entries_.push_back({key, built});
    size_t total = 0;
    for (const Entry& e : entries_)
        total += poseColumnsBytes(*e.columns);
    while (entries_.size() > 1 && (entries_.size() > kMostEntries || total > kBudgetBytes)) {
        total -= poseColumnsBytes(*entries_.front().columns);
        entries_.erase(entries_.begin());  // callers still using it keep their own reference
    }
    return built;
}

void PoseColumnsCache::clear()
{
    std::lock_guard lock(cacheMutex());
    entries_.clear();
}

size_t PoseColumnsCache::builds() const
{
    std::lock_guard lock(cacheMutex());
    return builds_;
}

size_t PoseColumnsCache::size() const
{
    std::lock_guard lock(cacheMutex());
    return entries_.size();
}

PoseColumnsCache& PoseColumnsCache::shared()
{
    static PoseColumnsCache cache;
    return cache;
}

} // namespace duolo
