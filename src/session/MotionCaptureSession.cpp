#include "session/MotionCaptureSession.h"

#include "capture/CaptureReader.h"
#include "capture/MessageSink.h"
#include "motiongraph/Graph2D.h"
#include "skeleton/Edge.h"
#include "skeleton/Group.h"

#include <algorithm>

namespace duolo {

MotionCaptureSession::MotionCaptureSession() = default;
MotionCaptureSession::~MotionCaptureSession() = default;

void MotionCaptureSession::loadMarkers(const std::vector<std::string>& paths, std::vector<std::string>* errors,
                                       std::vector<std::string>* notices, const CaptureImportOptions& captureOptions)
{
    for (const auto& path : paths) {
        // A marker file gives one trajectory, a capture file (C3D, TRC) one per point.
        std::vector<LoadedTrajectory> loadedTrajectories;
        std::string error;
        std::string notice;
        if (!readTrajectoryFile(path, loadedTrajectories, notice, error, captureOptions)) {
            if (errors)
                errors->push_back(error);
            continue;
        }
        for (auto& t : loadedTrajectories) {
            auto marker = std::make_unique<AnimatedMarker>(markerCount(), std::move(t.name));
            marker->samples = std::move(t.samples);
            markers.push_back(std::move(marker));
        }
        if (!notice.empty()) {
            if (notices)
                notices->push_back(notice);
            else
                showMessage(notice);
        }
    }
    // Numbers follow list positions at once, also when files are added to a loaded session.
    renumber();
    if (!markers.empty()) {
        loaded = true;
        frameCount = markers.front()->sampleCount();
    }
    setFrame(0);
}

void MotionCaptureSession::setFrame(int32_t frame)
{
    // Cursors are positioned absolutely, so a marker shared by two groups ends up in the same
    // place whichever group moves it last.
    for (auto& m : markers)
        if (!m->inGroup)
            m->seek(frame);
    currentFrame = frame;
    for (auto& g : groups)
        g->setFrame(frame);
}

void MotionCaptureSession::stepFrame()
{
    int32_t next = currentFrame + 1;
    if (next >= frameCount)
        next = 0;
    for (auto& m : markers)
        if (!m->inGroup)
            m->seek(next);
    currentFrame = next;
    for (auto& g : groups)
        g->stepFrame();
}

void MotionCaptureSession::frameForward()
{
    if (frameCount <= 0)
        return;
    setFrame(currentFrame + 1 >= frameCount ? 0 : currentFrame + 1);
}

void MotionCaptureSession::frameBack()
{
    if (frameCount <= 0)
        return;
    setFrame(currentFrame - 1 < 0 ? frameCount - 1 : currentFrame - 1);
}

AnimatedMarker* MotionCaptureSession::findMarker(int32_t index) const
{
    for (auto& m : markers)
        if (m->index == index)
            return m.get();
    return nullptr;
}

Group* MotionCaptureSession::findGroup(int32_t number) const
{
    for (auto& g : groups)
        if (g->groupNumber == number)
            return g.get();
    return nullptr;
}

Edge* MotionCaptureSession::findEdge(int32_t number) const
{
    for (auto& e : edges)
        if (e->index == number)
            return e.get();
    return nullptr;
}

void MotionCaptureSession::selectMarker(int32_t index)
{
    if (auto* m = findMarker(index)) {
        m->selected = true;
        ++selectedMarkerCount;
    }
}

void MotionCaptureSession::selectEdge(int32_t number)
{
    if (auto* e = findEdge(number)) {
        e->selected = true;
        ++selectedEdgeCount;
    }
}

void MotionCaptureSession::selectGroup(int32_t number)
{
    if (auto* g = findGroup(number)) {
        g->selected = true;
        ++selectedGroupCount;
    }
}

void MotionCaptureSession::clearMarkerSelection()
{
    for (auto& m : markers)
        m->selected = false;
    selectedMarkerCount = 0;
}

void MotionCaptureSession::clearEdgeSelection()
{
    for (auto& e : edges)
        e->selected = false;
    selectedEdgeCount = 0;
}

void MotionCaptureSession::clearGroupSelection()
{
    for (auto& g : groups)
        g->selected = false;
    selectedGroupCount = 0;
}

void MotionCaptureSession::renumber()
{
    for (size_t i = 0; i < markers.size(); ++i)
        markers[i]->index = static_cast<int32_t>(i);
    for (size_t i = 0; i < edges.size(); ++i)
        edges[i]->index = static_cast<int32_t>(i);
    for (size_t i = 0; i < groups.size(); ++i) {
        groups[i]->groupNumber = static_cast<int32_t>(i);
        groups[i]->updateColour();
    }
}

void MotionCaptureSession::resolveGroupParents()
{
    for (auto& g : groups) {
        g->parent = nullptr;
        const int32_t mark = g->firstGroupMark;
        if (mark >= 0 && mark < groupCount() && groups[static_cast<size_t>(mark)].get() != g.get())
            g->parent = groups[static_cast<size_t>(mark)].get();
    }
}

int32_t MotionCaptureSession::framesHeld() const
{
    int32_t longest = 0;
    for (const auto& m : markers)
        longest = std::max(longest, m->sampleCount());
    return std::clamp(frameCount, 0, longest);
}

bool MotionCaptureSession::allTrajectoriesHaveFrameCount() const
{
    return std::all_of(markers.begin(), markers.end(),
                       [&](const auto& m) { return m->sampleCount() == frameCount; });
}

} // namespace duolo
