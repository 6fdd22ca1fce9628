// The skeleton builder's operations on the session: edges, centroids, groups, vectors,
// colliders, deleting and mirroring markers. Each does nothing when its precondition fails.
#include "session/MotionCaptureSession.h"
#include "skeleton/Edge.h"
#include "skeleton/Group.h"

#include <algorithm>
#include <limits>

namespace duolo {
namespace {

std::vector<AnimatedMarker*> selectedMarkers(const MotionCaptureSession& s)
{
    std::vector<AnimatedMarker*> result;
    for (auto& m : s.markers)
        if (m->selected)
            result.push_back(m.get());
    return result;
}

Group* firstSelectedGroup(const MotionCaptureSession& s)
{
    for (auto& g : s.groups)
        if (g->selected)
            return g.get();
    return nullptr;
}

// The group that "Add To Group" and "Remove From Group" act on: the first selected group, when
// at least one marker and exactly one group are selected.
Group* membershipTarget(const MotionCaptureSession& s)
{
    if (s.selectedMarkerCount <= 0 || s.selectedGroupCount != 1)
        return nullptr;
    return firstSelectedGroup(s);
}

// The selection counts are raised per click, so after a deletion they are recounted from the
// flags of what is left.
void recountSelections(MotionCaptureSession& s)
{
    s.selectedMarkerCount = static_cast<int32_t>(std::count_if(s.markers.begin(), s.markers.end(), [](auto& m) { return m->selected; }));
    s.selectedEdgeCount = static_cast<int32_t>(std::count_if(s.edges.begin(), s.edges.end(), [](auto& e) { return e->selected; }));
    s.selectedGroupCount = static_cast<int32_t>(std::count_if(s.groups.begin(), s.groups.end(), [](auto& g) { return g->selected; }));
}

Marker mirrored(const Marker& m)
{
    Marker copy = m;
    copy.position.z = -copy.position.z;
    return copy;
}

} // namespace

Edge* MotionCaptureSession::createEdge()
{
    if (selectedMarkerCount != 2)
        return nullptr;
    auto chosen = selectedMarkers(*this);
    if (chosen.size() != 2)
        return nullptr;
    edges.push_back(std::make_unique<Edge>(edgeCount(), chosen[0], chosen[1]));
    return edges.back().get();
}

void MotionCaptureSession::deleteSelectedEdges()
{
    std::erase_if(edges, [](const auto& e) { return e->selected; });
    renumber();
    recountSelections(*this);
}

AnimatedMarker* MotionCaptureSession::createCentroid()
{
    if (selectedMarkerCount < 2)
        return nullptr;
    auto chosen = selectedMarkers(*this);
    if (chosen.size() < 2)
        return nullptr;

    const int32_t n = markerCount();
    auto centroid = std::make_unique<AnimatedMarker>(n, "Centroid " + std::to_string(n));
    const double inverse = 1.0 / static_cast<double>(chosen.size());
    // Shorter markers hold their last sample, up to the take's frame count; a stored count
    // beyond every trajectory (from a damaged file) must not size the centroid.
    const int32_t frames = framesHeld();
    centroid->samples.reserve(static_cast<size_t>(frames));
    for (int32_t j = 0; j < frames; ++j) {
        Vec3 sum;
        for (auto* m : chosen) {
            if (const Marker* s = m->sampleAt(j))
                sum += s->position;
        }
        const Marker* previous = centroid->samples.empty() ? nullptr : &centroid->samples.back();
        centroid->samples.emplace_back(previous, inverse * sum.x, inverse * sum.y, sum.z * inverse, j);
    }
    centroid->seek(currentFrame);
    markers.push_back(std::move(centroid));
    return markers.back().get();
}

Group* MotionCaptureSession::createGroup()
{
    if (selectedMarkerCount <= 0)
        return nullptr;
    auto chosen = selectedMarkers(*this);
    if (chosen.empty())
        return nullptr;
    auto group = std::make_unique<Group>(groups.empty() ? -1 : 0, groupCount(), frameCount);
    group->currentFrame = currentFrame;
    for (auto* m : chosen)
        group->addMember(m);
    group->setFrame(currentFrame);
    groups.push_back(std::move(group));
    resolveGroupParents();
    return groups.back().get();
}

void MotionCaptureSession::addSelectedToGroup()
{
    Group* target = membershipTarget(*this);
    if (!target)
        return;
    for (auto* m : selectedMarkers(*this)) {
        // A marker is a member at most once.
        if (!target->isMember(m)) {
            target->addMember(m);
            m->seek(target->currentFrame);
        }
    }
}

void MotionCaptureSession::removeSelectedFromGroup()
{
    Group* target = membershipTarget(*this);
    if (!target)
        return;
    for (auto* m : selectedMarkers(*this)) {
        if (!target->isMember(m))
            continue;
        target->removeMember(m);
        target->detachGroup(m);
        if (!m->inGroup)
            m->seek(currentFrame);
    }
}

void MotionCaptureSession::deleteSelectedGroups()
{
    for (auto& g : groups) {
        if (!g->selected)
            continue;
        for (auto* m : g->members) {
            g->detachGroup(m);
            if (!m->inGroup)
                m->seek(currentFrame);
        }
        g->members.clear();
    }
    std::erase_if(groups, [](const auto& g) { return g->selected; });
    renumber();
    resolveGroupParents();
    recountSelections(*this);
}

void MotionCaptureSession::createHeadingVectorFor(int32_t indexA, int32_t indexB, int32_t groupNumber)
{
    AnimatedMarker* a = findMarker(indexA);
    AnimatedMarker* b = findMarker(indexB);
    Group* g = findGroup(groupNumber);
    if (a && b && g)
        g->createHeadingVector(a, b);
}

void MotionCaptureSession::createUpVectorFor(int32_t indexA, int32_t indexB, int32_t groupNumber)
{
    AnimatedMarker* a = findMarker(indexA);
    AnimatedMarker* b = findMarker(indexB);
    Group* g = findGroup(groupNumber);
    if (a && b && g)
        g->createUpVector(a, b);
}

void MotionCaptureSession::flipHeadingVectors()
{
    for (auto& g : groups)
        if (g->selected)
            g->flipHeadingVector(frameCount);
}

void MotionCaptureSession::flipUpVectors()
{
    for (auto& g : groups)
        if (g->selected)
            g->flipUpVector(frameCount);
}

void MotionCaptureSession::deleteHeadingVectors()
{
    for (auto& g : groups)
        if (g->selected)
            g->deleteHeadingVector();
}

void MotionCaptureSession::deleteUpVectors()
{
    for (auto& g : groups)
        if (g->selected)
            g->deleteUpVector();
}

void MotionCaptureSession::setCollider()
{
    // A counter read from a file may stand at its maximum: no fresh id is left (and counting on
    // would overflow), so nothing is set.
    if (selectedMarkerCount <= 0 || groups.empty() || nextColliderId == std::numeric_limits<int32_t>::max())
        return;
    // Always the first group of the list, selected or not.
    giveColliderId(*groups.front());
}

void MotionCaptureSession::giveColliderId(Group& group)
{
    for (auto* m : group.members) {
        if (m->selected) {
            m->colliderId = nextColliderId;
            m->name += " C:" + std::to_string(nextColliderId);
        }
    }
    // An id is used up even when no member was selected, as "Set Collider" does.
    ++nextColliderId;
}

void MotionCaptureSession::setColliderInGroup()
{
    // setCollider only reaches the first group; this gives every selected group's bodies their
    // floor contacts, one id per group so that each group's contacts stay its own.
    if (selectedMarkerCount <= 0 || selectedGroupCount <= 0)
        return;
    for (auto& g : groups) {
        if (!g->selected)
            continue;
        if (nextColliderId == std::numeric_limits<int32_t>::max())
            return;
        giveColliderId(*g);
    }
}

void MotionCaptureSession::deleteSelectedMarkers()
{
    std::erase_if(edges, [](const auto& e) {
        return (e->from && e->from->selected) || (e->to && e->to->selected);
    });

    for (auto& g : groups)
        std::erase_if(g->members, [](AnimatedMarker* m) { return m->selected; });
    std::erase_if(groups, [](const auto& g) { return g->members.empty(); });

    // Whatever groups a deleted marker was in have let go of it above; its own list goes with it.
    std::erase_if(markers, [](const auto& m) { return m->selected; });

    renumber();
    resolveGroupParents();
    recountSelections(*this);
}

void MotionCaptureSession::mirrorMarkers()
{
    auto chosen = selectedMarkers(*this);
    if (selectedMarkerCount == 1) {
        if (chosen.empty())
            return;
        AnimatedMarker* m = chosen.front();
        const size_t n = m->samples.size();
        m->samples.reserve(2 * n);
        for (size_t i = 0; i < n; ++i)
            m->samples.push_back(mirrored(m->samples[i]));
        frameCount = static_cast<int32_t>(2 * n);
        for (auto& g : groups)
            g->frameCount = frameCount;
    } else if (selectedMarkerCount == 2) {
        if (chosen.size() < 2)
            return;
        AnimatedMarker* a = chosen[0];
        AnimatedMarker* b = chosen[1];
        const size_t n = a->samples.size();
        if (b->samples.size() != n)
            return;
        // A left and a right marker swap roles in the mirrored half.
        a->samples.reserve(2 * n);
        b->samples.reserve(2 * n);
        for (size_t i = 0; i < n; ++i) {
            a->samples.push_back(mirrored(b->samples[i]));
            b->samples.push_back(mirrored(a->samples[i]));
        }
        frameCount = static_cast<int32_t>(2 * n);
    }
}

} // namespace duolo
