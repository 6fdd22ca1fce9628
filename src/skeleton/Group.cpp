#include "skeleton/Group.h"

#include "motiongraph/Graph2D.h"

#include <algorithm>
#include <cmath>

namespace duolo {

uint32_t groupColour(int32_t groupNumber)
{
    static constexpr uint32_t table[] = {0x8DECF1, 0xDFDC9F, 0xD0AED0, 0xA0DEA7,
                                         0x62A4E6, 0xBF99EA, 0x999DEA, 0xFC9391};
    if (groupNumber >= 0 && groupNumber < 8)
        return table[groupNumber];
    return 0xC1C1C1;
}

Group::Group() : graph(std::make_unique<Graph2D>()) { updateColour(); }

Group::Group(int32_t firstGroupMark, int32_t groupNumber, int32_t frameCount)
    : groupNumber(groupNumber), firstGroupMark(firstGroupMark), frameCount(frameCount),
      graph(std::make_unique<Graph2D>())
{
    updateColour();
}

Group::~Group() = default;

void Group::addMember(AnimatedMarker* m)
{
    members.push_back(m);
    m->groups.push_back(this);
    m->inGroup = true;
}

void Group::detachGroup(AnimatedMarker* m)
{
    std::erase(m->groups, this);
    m->inGroup = !m->groups.empty();
}

bool Group::isMember(const AnimatedMarker* m) const
{
    return std::find(members.begin(), members.end(), m) != members.end();
}

void Group::removeMember(const AnimatedMarker* m)
{
    std::erase(members, m);
}

std::vector<AnimatedMarker*> Group::ownTrajectories() const
{
    std::vector<AnimatedMarker*> result;
    for (auto* t : {headingStart.get(), headingEnd.get(), upStart.get(), upEnd.get(), rootTrajectory.get()})
        if (t)
            result.push_back(t);
    return result;
}

int32_t Group::framesHeld() const
{
    int32_t longest = 0;
    for (const AnimatedMarker* m : members)
        longest = std::max(longest, m->sampleCount());
    // The trajectories that poses read: the starts of the vectors are zero once orthonormalised.
    for (const AnimatedMarker* t : {headingEnd.get(), upEnd.get(), rootTrajectory.get()})
        if (t)
            longest = std::max(longest, t->sampleCount());
    return std::clamp(frameCount, 0, longest);
}

void Group::createHeadingVector(AnimatedMarker* a, AnimatedMarker* b)
{
    if (!isMember(a) || !isMember(b))
        return;
    headingStart = a->copy();
    headingEnd = b->copy();
    rootTrajectory = a->copy();
    orthonormaliseVectors(headingEnd.get(), headingStart.get(), upEnd.get(), upStart.get());
    // The new trajectories join the group where it stands rather than jumping it to frame 0.
    setFrame(currentFrame);
}

void Group::createUpVector(AnimatedMarker* a, AnimatedMarker* b)
{
    if (!isMember(a) || !isMember(b))
        return;
    upStart = a->copy();
    upEnd = b->copy();
    orthonormaliseVectors(upEnd.get(), upStart.get(), headingEnd.get(), headingStart.get());
    setFrame(currentFrame);
}

namespace {

Vec3 scaled(const Vec3& v)
{
    const double s = 1.0 / std::sqrt(v.z * v.z + v.y * v.y + v.x * v.x);
    return {v.x * s, v.y * s, v.z * s};
}

Vec3 cross(const Vec3& f, const Vec3& g)
{
    return {f.y * g.z - f.z * g.y, f.z * g.x - f.x * g.z, f.x * g.y - f.y * g.x};
}

bool finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

} // namespace

void Group::orthonormaliseVectors(AnimatedMarker* firstEnd, AnimatedMarker* firstStart,
                                  AnimatedMarker* secondEnd, AnimatedMarker* secondStart)
{
    if (!firstEnd || !firstStart || !secondEnd || !secondStart || frameCount <= 0)
        return;
    // Only frames that all four trajectories have (a mirrored take can leave them shorter).
    const int32_t frames = std::min({frameCount, firstEnd->sampleCount(), firstStart->sampleCount(),
                                     secondEnd->sampleCount(), secondStart->sampleCount()});
    if (frames <= 0)
        return;

    std::vector<Vec3> e(static_cast<size_t>(frames)), g(static_cast<size_t>(frames));
    std::vector<bool> valid(static_cast<size_t>(frames));
    for (int32_t i = 0; i < frames; ++i) {
        const size_t k = static_cast<size_t>(i);
        const Vec3 f = scaled(firstEnd->samples[k].position - firstStart->samples[k].position);
        g[k] = scaled(secondEnd->samples[k].position - secondStart->samples[k].position);
        const Vec3 d = cross(f, g[k]);
        e[k] = cross(d, g[k]);
        valid[k] = finite(e[k]) && finite(g[k]);
    }

    // Where the two markers of a vector coincide there is no direction: such a frame keeps the
    // directions of the nearest earlier good frame (or, at the start, of the first good one);
    // with no good frame at all both vectors are zero. No NaN reaches the poses.
    const auto firstGood = std::find(valid.begin(), valid.end(), true);
    Vec3 lastE, lastG;
    if (firstGood != valid.end()) {
        const auto k = static_cast<size_t>(firstGood - valid.begin());
        lastE = e[k];
        lastG = g[k];
    }
    for (size_t k = 0; k < static_cast<size_t>(frames); ++k) {
        if (valid[k]) {
            lastE = e[k];
            lastG = g[k];
        }
        firstEnd->samples[k].position = lastE;
        secondEnd->samples[k].position = lastG;
        firstStart->samples[k].position = Vec3{};
        secondStart->samples[k].position = Vec3{};
    }
}

namespace {

// end := end - start, start := 0, for the frames both trajectories have.
void subtractStart(AnimatedMarker& end, AnimatedMarker& start, int32_t frames)
{
    const int32_t n = std::min({frames, end.sampleCount(), start.sampleCount()});
    for (int32_t j = 0; j < n; ++j) {
        auto k = static_cast<size_t>(j);
        end.samples[k].position -= start.samples[k].position;
        start.samples[k].position = Vec3{};
    }
}

} // namespace

void Group::flipHeadingVector(int32_t sessionFrameCount)
{
    if (!hasHeading())
        return;  // nothing to flip
    std::swap(headingStart, headingEnd);
    if (upStart || upEnd) {
        subtractStart(*headingEnd, *headingStart, sessionFrameCount);
    } else {
        // Without an up vector the heading is still two raw markers: the root follows the
        // marker that now starts it.
        rootTrajectory = headingStart->copy();
        rootTrajectory->seek(currentFrame);
    }
}

void Group::flipUpVector(int32_t sessionFrameCount)
{
    if (!hasUp())
        return;
    std::swap(upStart, upEnd);
    subtractStart(*upEnd, *upStart, sessionFrameCount);
}

void Group::deleteHeadingVector()
{
    headingStart.reset();
    headingEnd.reset();
}

void Group::deleteUpVector()
{
    upStart.reset();
    upEnd.reset();
}

void Group::setFrame(int32_t frame)
{
    for (auto* m : members)
        m->seek(frame);
    for (auto* t : ownTrajectories())
        t->seek(frame);
    currentFrame = frame;
}

void Group::stepFrame()
{
    int32_t next = currentFrame + 1;
    if (next >= frameCount)
        next = 0;
    setFrame(next);
}

} // namespace duolo
