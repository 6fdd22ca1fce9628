#pragma once
// Helpers shared by the project file tests: small sessions and whole-project comparison.

#include "session/MotionCaptureSession.h"
#include "skeleton/Edge.h"
#include "skeleton/Group.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace duolo::test {

inline std::vector<uint8_t> readBytes(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::unique_ptr<AnimatedMarker> trajectory(int32_t index, const std::string& name, int frames,
                                           Vec3 start, Vec3 step)
{
    auto m = std::make_unique<AnimatedMarker>(index, name);
    for (int f = 0; f < frames; ++f) {
        const Marker* previous = m->samples.empty() ? nullptr : &m->samples.back();
        Vec3 p = start + step * f;
        m->samples.emplace_back(previous, p.x, p.y, p.z, f);
    }
    return m;
}

// A small session with everything the skeleton builder makes: trajectories, a centroid, two
// groups (one marker in both), heading and up vectors, colliders and edges.
inline std::unique_ptr<MotionCaptureSession> builtSession()
{
    auto s = std::make_unique<MotionCaptureSession>();
    const int frames = 6;
    s->markers.push_back(trajectory(0, "markers/hip.mov", frames, {0, 9, 0}, {0, 0, 1}));
    s->markers.push_back(trajectory(1, "markers/front.mov", frames, {0, 9, 2}, {0, 0.1, 1}));
    s->markers.push_back(trajectory(2, "markers/neck.mov", frames, {0, 15, 0}, {0.1, 0, 1}));
    s->markers.push_back(trajectory(3, "markers/toe.mov", frames, {1, 0.5, 0}, {0, 0.2, 1}));
    s->markers.push_back(trajectory(4, "markers/extra.mov", frames, {3, 1, 1}, {0, 0, 0}));
    s->loaded = true;
    s->frameCount = frames;

    auto select = [&](std::initializer_list<int> ids) {
        s->clearMarkerSelection();
        for (int id : ids)
            s->selectMarker(id);
    };
    select({0, 1});
    s->createCentroid();  // marker 5
    select({0, 1, 2, 3, 5});
    s->createGroup();
    s->createHeadingVectorFor(0, 1, 0);
    s->createUpVectorFor(0, 2, 0);
    select({3});
    s->setCollider();
    select({3, 4});
    s->createGroup();  // marker 3 is in both groups
    select({0, 2});
    s->createEdge();
    select({0, 3});
    s->createEdge();
    s->setFrame(3);
    s->clearMarkerSelection();
    s->selectGroup(1);
    return s;
}

inline void expectSameTrajectory(const AnimatedMarker& a, const AnimatedMarker& b)
{
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.index, b.index);
    EXPECT_EQ(a.inGroup, b.inGroup);
    EXPECT_EQ(a.colliderId, b.colliderId);
    ASSERT_EQ(a.samples.size(), b.samples.size()) << a.name;
    for (std::size_t i = 0; i < a.samples.size(); ++i) {
        EXPECT_EQ(a.samples[i].position, b.samples[i].position);
        EXPECT_EQ(a.samples[i].velocity, b.samples[i].velocity);
        EXPECT_EQ(a.samples[i].frame, b.samples[i].frame);
    }
}

inline void expectSameOptional(const std::unique_ptr<AnimatedMarker>& a, const std::unique_ptr<AnimatedMarker>& b)
{
    ASSERT_EQ(a == nullptr, b == nullptr);
    if (a)
        expectSameTrajectory(*a, *b);
}

// Everything a project holds is the same; the transient state is reset.
inline void expectSameProject(const MotionCaptureSession& saved, const MotionCaptureSession& loaded)
{
    EXPECT_EQ(loaded.loaded, saved.loaded);
    EXPECT_EQ(loaded.frameCount, saved.frameCount);
    EXPECT_EQ(loaded.nextColliderId, saved.nextColliderId);
    EXPECT_EQ(loaded.currentFrame, 0);
    EXPECT_EQ(loaded.selectedMarkerCount, 0);
    EXPECT_EQ(loaded.selectedEdgeCount, 0);
    EXPECT_EQ(loaded.selectedGroupCount, 0);
    ASSERT_EQ(loaded.markerCount(), saved.markerCount());
    ASSERT_EQ(loaded.edgeCount(), saved.edgeCount());
    ASSERT_EQ(loaded.groupCount(), saved.groupCount());

    auto position = [](const auto& list, const auto* object) {
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i].get() == object)
                return static_cast<int>(i);
        return -1;
    };
    for (int i = 0; i < saved.markerCount(); ++i) {
        const auto& a = *saved.markers[i];
        const auto& b = *loaded.markers[i];
        expectSameTrajectory(a, b);
        EXPECT_EQ(b.current, 0);
        EXPECT_FALSE(b.selected);
        ASSERT_EQ(a.groups.size(), b.groups.size());
        for (std::size_t k = 0; k < a.groups.size(); ++k)
            EXPECT_EQ(position(saved.groups, a.groups[k]), position(loaded.groups, b.groups[k]));
    }
    for (int i = 0; i < saved.edgeCount(); ++i) {
        const auto& a = *saved.edges[i];
        const auto& b = *loaded.edges[i];
        EXPECT_EQ(a.index, b.index);
        EXPECT_EQ(position(saved.markers, a.from), position(loaded.markers, b.from));
        EXPECT_EQ(position(saved.markers, a.to), position(loaded.markers, b.to));
        EXPECT_FALSE(b.selected);
    }
    for (int i = 0; i < saved.groupCount(); ++i) {
        const auto& a = *saved.groups[i];
        const auto& b = *loaded.groups[i];
        EXPECT_EQ(a.groupNumber, b.groupNumber);
        EXPECT_EQ(a.firstGroupMark, b.firstGroupMark);
        EXPECT_EQ(a.colour, b.colour);
        EXPECT_EQ(a.frameCount, b.frameCount);
        EXPECT_EQ(b.currentFrame, 0);
        EXPECT_FALSE(b.selected);
        EXPECT_FALSE(b.posesBuilt);
        expectSameOptional(a.rootTrajectory, b.rootTrajectory);
        expectSameOptional(a.headingStart, b.headingStart);
        expectSameOptional(a.headingEnd, b.headingEnd);
        expectSameOptional(a.upStart, b.upStart);
        expectSameOptional(a.upEnd, b.upEnd);
        ASSERT_EQ(a.members.size(), b.members.size());
        for (std::size_t k = 0; k < a.members.size(); ++k)
            EXPECT_EQ(position(saved.markers, a.members[k]), position(loaded.markers, b.members[k]));
    }
}

} // namespace duolo::test
