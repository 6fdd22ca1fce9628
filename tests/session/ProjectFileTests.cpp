#include "capture/Archive.h"
#include "session/MotionCaptureSession.h"
#include "session/ProjectFile.h"
#include "skeleton/Edge.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"
#include "support/TestSupport.h"
#include "ProjectTestHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace duolo {
namespace {

using namespace test;

// --- Bytes ---------------------------------------------------------------------------------

struct Bytes {
    std::vector<uint8_t> b;
    Bytes& u8(int v) { b.push_back(static_cast<uint8_t>(v)); return *this; }
    Bytes& u16(int v) { u8(v & 0xFF); return u8((v >> 8) & 0xFF); }
    Bytes& i32(int32_t v) { for (int i = 0; i < 4; ++i) u8((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF); return *this; }
    Bytes& f64(double v) { uint64_t bits; std::memcpy(&bits, &v, 8); for (int i = 0; i < 8; ++i) u8((bits >> (8 * i)) & 0xFF); return *this; }
    Bytes& text(const std::string& s) { b.insert(b.end(), s.begin(), s.end()); return *this; }
    Bytes& sample(const Marker& m)
    {
        return f64(m.position.x).f64(m.position.y).f64(m.position.z)
            .f64(m.velocity.x).f64(m.velocity.y).f64(m.velocity.z).i32(m.frame);
    }
};

TEST(ProjectFile, EmptySessionIs27Bytes)
{
    MotionCaptureSession empty;
    const auto bytes = projectBytes(empty);
    EXPECT_EQ(bytes, std::vector<uint8_t>(27, 0));

    std::string error;
    auto loaded = loadProjectBytes(bytes.data(), bytes.size(), "empty.dwz", error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(loaded->markerCount(), 0);
    EXPECT_FALSE(loaded->loaded);
}

TEST(ProjectFile, OneTrajectoryOfTwoSamplesHasTheDocumentedBytes)
{
    MotionCaptureSession s;
    s.markers.push_back(trajectory(0, "a.mov", 2, {0.1, 0.3, 0.2}, {0.3, 0.3, 0.3}));
    s.loaded = true;
    s.frameCount = 2;
    const auto& samples = s.markers[0]->samples;

    Bytes expected;
    expected.u8(1).i32(0).i32(2).i32(0).i32(1).i32(0);
    expected.u16(1).u16(0xFFFF).u16(0).u16(14).text("AnimatedMarker");
    expected.u8(5).text("a.mov").u8(0).i32(0).i32(0).i32(-1);
    expected.u16(0);                                                      // groups
    expected.u16(2).u16(0xFFFF).u16(0).u16(6).text("Marker").sample(samples[0]);
    expected.u16(0x8003).sample(samples[1]);
    expected.u16(0).u16(0);                                               // edges, groups
    EXPECT_EQ(projectBytes(s), expected.b);
}

TEST(ProjectFile, OtherEncodingsLoadAndAreSavedInTheCanonicalForm)
{
    MotionCaptureSession s;
    s.markers.push_back(trajectory(0, "a.mov", 2, {0.1, 0.3, 0.2}, {0.3, 0.3, 0.3}));
    s.loaded = true;
    s.frameCount = 2;
    const auto& samples = s.markers[0]->samples;
    const auto canonical = projectBytes(s);

    // The same session with a bool byte of 7, a long-form name length, a long-form sample
    // count, the Marker class introduced a second time and wide-string name "a.mov".
    for (int variant = 0; variant < 2; ++variant) {
        Bytes b;
        b.u8(7).i32(0).i32(2).i32(0).i32(1).i32(0);
        b.u16(1).u16(0xFFFF).u16(0).u16(14).text("AnimatedMarker");
        if (variant == 0)
            b.u8(0xFF).u16(5).text("a.mov");
        else
            b.u8(0xFF).u16(0xFFFE).u8(5).text(std::string("a\0.\0m\0o\0v\0", 10));
        b.u8(0).i32(0).i32(0).i32(-1);
        b.u16(0);
        b.u16(0xFFFF).i32(2).u16(0xFFFF).u16(0).u16(6).text("Marker").sample(samples[0]);
        b.u16(0xFFFF).u16(0).u16(6).text("Marker").sample(samples[1]);
        b.u16(0).u16(0);
        std::string error;
        auto loaded = loadProjectBytes(b.b.data(), b.b.size(), "other.dwz", error);
        ASSERT_TRUE(loaded) << error;
        EXPECT_EQ(projectBytes(*loaded), canonical) << variant;
    }
}

TEST(ProjectFile, SharedTrajectoryIsWrittenOnceAndReferredToElsewhere)
{
    MotionCaptureSession s;
    s.markers.push_back(trajectory(0, "first-unique-name", 3, {0, 1, 0}, {1, 0, 0}));
    s.markers.push_back(trajectory(1, "second-unique-name", 3, {0, 2, 0}, {1, 0, 0}));
    s.frameCount = 3;
    s.selectMarker(0);
    s.selectMarker(1);
    s.createGroup();
    s.createEdge();

    const auto bytes = projectBytes(s);
    const std::string text(bytes.begin(), bytes.end());
    auto occurrences = [&](const std::string& needle) {
        int n = 0;
        for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(occurrences("first-unique-name"), 1);
    EXPECT_EQ(occurrences("second-unique-name"), 1);
    EXPECT_EQ(occurrences("AnimatedMarker"), 1);
    EXPECT_EQ(occurrences("Group"), 1);
    EXPECT_EQ(occurrences("Edge"), 1);
    std::string error;
    auto loaded = loadProjectBytes(bytes.data(), bytes.size(), "shared.dwz", error);
    ASSERT_TRUE(loaded) << error;
    ASSERT_EQ(loaded->markerCount(), 2);
    auto* first = loaded->markers[0].get();
    auto* second = loaded->markers[1].get();
    EXPECT_EQ(loaded->edges[0]->from, first);
    EXPECT_EQ(loaded->edges[0]->to, second);
    ASSERT_EQ(loaded->groups[0]->members.size(), 2u);
    EXPECT_EQ(loaded->groups[0]->members[0], first);
    EXPECT_EQ(loaded->groups[0]->members[1], second);
    EXPECT_EQ(first->groups.at(0), loaded->groups[0].get());
    EXPECT_EQ(second->groups.at(0), loaded->groups[0].get());
}

TEST(ProjectFile, RoundTripKeepsEverythingAndResetsTheTransientState)
{
    auto s = builtSession();
    ASSERT_EQ(s->groupCount(), 2);
    ASSERT_TRUE(s->groups[0]->hasHeading() && s->groups[0]->hasUp() && s->groups[0]->hasRoot());
    ASSERT_EQ(s->edgeCount(), 2);

    TempDir dir;
    const auto path = dir.file("project.dwz").string();
    std::string error;
    {
        CapturedMessages messages;
        ASSERT_TRUE(saveProject(*s, path, error)) << error;
        // One note before each embedded part of the group that has them.
        EXPECT_EQ(messages.messages, (std::vector<std::string>{"-1 root", "-1 upv", "-1 hv"}));
    }
    auto loaded = loadProject(path, error);
    ASSERT_TRUE(loaded) << error;
    expectSameProject(*s, *loaded);
    EXPECT_EQ(loaded->groups[0]->parent, nullptr);
    EXPECT_EQ(loaded->groups[1]->parent, loaded->groups[0].get());

    // Saved again, the bytes are the same.
    CapturedMessages quiet;
    EXPECT_EQ(projectBytes(*loaded), readBytes(path));
}

TEST(ProjectFile, EmbeddedTrajectoriesKeepWhateverIndexTheyHave)
{
    auto s = builtSession();
    s->groups[0]->rootTrajectory->index = 7;
    s->groups[0]->upEnd->index = 8;
    CapturedMessages messages;
    const auto bytes = projectBytes(*s);
    EXPECT_EQ(messages.messages, (std::vector<std::string>{"7 root", "8 upv", "-1 hv"}));
    std::string error;
    auto loaded = loadProjectBytes(bytes.data(), bytes.size(), "x.dwz", error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(loaded->groups[0]->rootTrajectory->index, 7);
    EXPECT_EQ(loaded->groups[0]->upEnd->index, 8);
}

TEST(ProjectFile, StoredCountsBeyondTheTrajectoriesDriveNoAllocation)
{
    // A group and a session may store any frame count; poses and centroids are made for the
    // frames the trajectories hold, and the stored values are saved back unchanged.
    auto s = builtSession();  // 6 frames
    s->frameCount = std::numeric_limits<int32_t>::max();
    s->groups[0]->frameCount = 40'000'000;
    s->groups[1]->frameCount = 2;
    s->nextColliderId = std::numeric_limits<int32_t>::max();
    CapturedMessages quiet;
    const auto bytes = projectBytes(*s);
    std::string error;
    auto loaded = loadProjectBytes(bytes.data(), bytes.size(), "counts.dwz", error);
    ASSERT_TRUE(loaded) << error;

    Group& big = *loaded->groups[0];
    EXPECT_EQ(big.framesHeld(), 6);
    ASSERT_TRUE(buildPoses(big));
    EXPECT_EQ(big.normalisedPoses.size(), 6u);
    EXPECT_EQ(big.worldPoses.size(), 6u);
    EXPECT_EQ(loaded->groups[1]->framesHeld(), 2);  // a smaller stored count still rules

    loaded->selectMarker(0);
    loaded->selectMarker(1);
    const AnimatedMarker* centroid = loaded->createCentroid();
    ASSERT_NE(centroid, nullptr);
    EXPECT_EQ(centroid->sampleCount(), 6);
    // The collider counter cannot count on: nothing is set and nothing overflows.
    loaded->clearMarkerSelection();
    loaded->selectMarker(3);
    const std::string name = loaded->markers[3]->name;
    loaded->setCollider();
    EXPECT_EQ(loaded->markers[3]->name, name);
    EXPECT_EQ(loaded->nextColliderId, std::numeric_limits<int32_t>::max());

    loaded->markers.pop_back();  // the centroid
    loaded->clearMarkerSelection();
    EXPECT_EQ(projectBytes(*loaded), bytes);
}

// --- Refusals ------------------------------------------------------------------------------

std::string refusalOf(const std::vector<uint8_t>& bytes, const std::string& name = "/some/where/bad.dwz")
{
    std::string error;
    auto session = loadProjectBytes(bytes.data(), bytes.size(), name, error);
    EXPECT_FALSE(session) << "a bad project was accepted";
    EXPECT_EQ(error.rfind(name + ": ", 0), 0u) << error;
    return error;
}

#define EXPECT_REFUSED(bytes, fragment)                                                        \
    do {                                                                                        \
        const std::string message_ = refusalOf(bytes);                                          \
        EXPECT_NE(message_.find(fragment), std::string::npos) << "message: " << message_;       \
    } while (0)

TEST(ProjectFileRefusal, EveryTruncationIsRefused)
{
    CapturedMessages quiet;
    const auto bytes = projectBytes(*builtSession());
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        const std::string message = refusalOf(cut);
        const bool endsEarly = message.find("truncated: file ends inside") != std::string::npos &&
                               message.find("at byte " + std::to_string(n)) != std::string::npos;
        const bool listTooLong = message.find("truncated or corrupt: ") != std::string::npos &&
                                 message.find("does not fit") != std::string::npos;
        ASSERT_TRUE(endsEarly || listTooLong) << n << ": " << message;
    }
}

TEST(ProjectFileRefusal, TruncationNamesTheRecord)
{
    MotionCaptureSession s;
    s.markers.push_back(trajectory(0, "a-rather-long-name.mov", 2, {}, {1, 1, 1}));
    auto bytes = projectBytes(s);
    bytes.resize(21 + 2 + 20 + 23 + 1 + 4 + 2);  // inside the trajectory's group count
    EXPECT_EQ(refusalOf(bytes, "/path/x.dwz"),
              "/path/x.dwz: truncated: file ends inside an AnimatedMarker record at byte 73");
    bytes.resize(21 + 2 + 20 + 10);  // inside its name
    EXPECT_EQ(refusalOf(bytes, "/path/x.dwz"),
              "/path/x.dwz: truncated or corrupt: a string of 22 characters does not fit in the 9 bytes left, "
              "inside an AnimatedMarker record at byte 43");
    // A sample list longer than the bytes left is refused before anything is reserved.
    bytes = projectBytes(s);
    bytes.resize(bytes.size() - 30);
    EXPECT_EQ(refusalOf(bytes, "/path/x.dwz"),
              "/path/x.dwz: truncated or corrupt: a list of 2 elements does not fit in the 92 bytes left, "
              "inside an AnimatedMarker record at byte 81");
}

TEST(ProjectFileRefusal, UnknownClassIsRefused)
{
    MotionCaptureSession s;
    s.markers.push_back(trajectory(0, "a.mov", 2, {}, {1, 1, 1}));
    auto bytes = projectBytes(s);
    const std::string text(bytes.begin(), bytes.end());
    const auto at = text.find(std::string("\x06\x00Marker", 8));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 2] = 'W';
    EXPECT_REFUSED(bytes, "unknown class \"Warker\"");
}

// Writes session records by hand, so that the tests can build files the program never writes.
struct Forge {
    ArchiveWriter w;
    void header(int32_t markers, int32_t edges = 0, int32_t groups = 0, int32_t frames = 1)
    {
        w.writeBool(true);
        w.writeInt32(edges);
        w.writeInt32(frames);
        w.writeInt32(groups);
        w.writeInt32(markers);
        w.writeInt32(0);
    }
    // A trajectory record with one sample; its group list is written by `groups`.
    template <class Groups>
    void trajectoryRecord(const std::string& name, bool inGroup, int32_t groupCount, Groups groups, int samples = 1)
    {
        w.writeString(name);
        w.writeBool(inGroup);
        w.writeInt32(0);
        w.writeInt32(groupCount);
        w.writeInt32(-1);
        groups();
        w.writeCount(static_cast<std::size_t>(samples));
        for (int i = 0; i < samples; ++i) {
            w.writeNewObject("Marker");  // a sample is always a new object
            for (int k = 0; k < 6; ++k)
                w.writeDouble(0.5);
            w.writeInt32(i);
        }
    }
    void plainTrajectory(const void* id, const std::string& name)
    {
        if (w.writeObject(id, "AnimatedMarker"))
            trajectoryRecord(name, false, 0, [&] { w.writeCount(0); });
    }
    void groupRecord(int32_t memberCount, const std::vector<const void*>& members,
                     const std::vector<std::string>& names, bool memberInGroup)
    {
        w.writeInt32(0);
        w.writeInt32(-1);
        w.writeBool(false);
        w.writeBool(false);
        w.writeBool(false);
        w.writeInt32(0x8DECF1);
        w.writeInt32(1);
        w.writeInt32(memberCount);
        w.writeCount(members.size());
        for (std::size_t i = 0; i < members.size(); ++i)
            if (w.writeObject(members[i], "AnimatedMarker"))
                trajectoryRecord(names[i], memberInGroup, 0, [&] { w.writeCount(0); });
    }
    std::vector<uint8_t> bytes() { return w.bytes(); }
};

int ids[16];

TEST(ProjectFileRefusal, SessionCountsMustMatchTheLists)
{
    for (int variant = 0; variant < 3; ++variant) {
        Forge f;
        f.header(variant == 0 ? 2 : 1, variant == 1 ? 1 : 0, variant == 2 ? 3 : 0);
        f.w.writeCount(1);
        f.plainTrajectory(&ids[0], "a");
        f.w.writeCount(0);
        f.w.writeCount(0);
        EXPECT_REFUSED(f.bytes(), variant == 0 ? "marker count 2 disagrees"
                                  : variant == 1 ? "edge count 1 disagrees"
                                                 : "group count 3 disagrees");
    }
}

TEST(ProjectFileRefusal, AWellFormedForgedFileIsAccepted)
{
    // The forge itself writes acceptable files: the refusals below are about what they change.
    Forge f;
    f.header(2, 1, 1);
    f.w.writeCount(2);
    f.w.writeObject(&ids[0], "AnimatedMarker");
    f.trajectoryRecord("a", true, 1, [&] {
        f.w.writeCount(1);
        f.w.writeObject(&ids[10], "Group");
        f.groupRecord(1, {&ids[0]}, {"a"}, true);
    });
    f.plainTrajectory(&ids[1], "b");
    f.w.writeCount(1);
    f.w.writeObject(&ids[11], "Edge");
    f.w.writeInt32(0);
    f.w.writeObject(&ids[0], "AnimatedMarker");
    f.w.writeObject(&ids[1], "AnimatedMarker");
    f.w.writeCount(1);
    f.w.writeObject(&ids[10], "Group");
    const auto bytes = f.bytes();
    std::string error;
    auto s = loadProjectBytes(bytes.data(), bytes.size(), "forged.dwz", error);
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(s->groups[0]->members.at(0), s->markers[0].get());
    EXPECT_EQ(s->edges[0]->to, s->markers[1].get());
}

TEST(ProjectFileRefusal, TrajectoryGroupCountMustMatchItsList)
{
    Forge f;
    f.header(1, 0, 1);
    f.w.writeCount(1);
    f.w.writeObject(&ids[0], "AnimatedMarker");
    f.trajectoryRecord("a", true, 2, [&] {
        f.w.writeCount(1);
        f.w.writeObject(&ids[10], "Group");
        f.groupRecord(1, {&ids[0]}, {"a"}, true);
    });
    f.w.writeCount(0);
    f.w.writeCount(1);
    f.w.writeObject(&ids[10], "Group");
    EXPECT_REFUSED(f.bytes(), "has group count 2 but lists 1 groups");
}

TEST(ProjectFileRefusal, GroupMemberCountMustMatchItsList)
{
    Forge f;
    f.header(1, 0, 1);
    f.w.writeCount(1);
    f.w.writeObject(&ids[0], "AnimatedMarker");
    f.trajectoryRecord("a", true, 1, [&] {
        f.w.writeCount(1);
        f.w.writeObject(&ids[10], "Group");
        f.groupRecord(5, {&ids[0]}, {"a"}, true);
    });
    f.w.writeCount(0);
    f.w.writeCount(1);
    f.w.writeObject(&ids[10], "Group");
    EXPECT_REFUSED(f.bytes(), "has member count 5 but lists 1 members");
}

TEST(ProjectFileRefusal, MembershipMustAgreeOnBothSides)
{
    // The group lists b as a member, but b does not list the group.
    Forge f;
    f.header(2, 0, 1);
    f.w.writeCount(2);
    f.w.writeObject(&ids[0], "AnimatedMarker");
    f.trajectoryRecord("a", true, 1, [&] {
        f.w.writeCount(1);
        f.w.writeObject(&ids[10], "Group");
        f.groupRecord(2, {&ids[0], &ids[1]}, {"a", "b"}, false);
    });
    f.w.writeObject(&ids[1], "AnimatedMarker");
    f.w.writeCount(0);
    f.w.writeCount(1);
    f.w.writeObject(&ids[10], "Group");
    EXPECT_REFUSED(f.bytes(), "trajectory \"b\" and group 0 disagree about its membership");
}

TEST(ProjectFileRefusal, GroupedFlagMustMatchTheGroupList)
{
    Forge f;
    f.header(1);
    f.w.writeCount(1);
    f.w.writeObject(&ids[0], "AnimatedMarker");
    f.trajectoryRecord("a", true, 0, [&] { f.w.writeCount(0); });
    f.w.writeCount(0);
    f.w.writeCount(0);
    EXPECT_REFUSED(f.bytes(), "is marked grouped but belongs to 0 groups");
}

TEST(ProjectFileRefusal, WrongClassAtAnEdgeEnd)
{
    Forge f;
    f.header(1, 1, 0);
    f.w.writeCount(1);
    f.plainTrajectory(&ids[0], "a");
    f.w.writeCount(1);
    f.w.writeObject(&ids[11], "Edge");
    f.w.writeInt32(0);
    f.w.writeObject(&ids[0], "AnimatedMarker");
    f.w.writeObject(&ids[11], "Edge");  // the edge itself as its second end
    f.w.writeCount(0);
    EXPECT_REFUSED(f.bytes(), "an Edge where an AnimatedMarker must be (an edge's second end)");
}

TEST(ProjectFileRefusal, NullEdgeEnd)
{
    Forge f;
    f.header(1, 1, 0);
    f.w.writeCount(1);
    f.plainTrajectory(&ids[0], "a");
    f.w.writeCount(1);
    f.w.writeObject(&ids[11], "Edge");
    f.w.writeInt32(0);
    f.w.writeNull();
    EXPECT_REFUSED(f.bytes(), "null reference where an AnimatedMarker must be (an edge's first end)");
}

TEST(ProjectFileRefusal, GroupWhereASampleMustBe)
{
    Forge f;
    f.header(1);
    f.w.writeCount(1);
    f.w.writeObject(&ids[0], "AnimatedMarker");
    f.w.writeString("a");
    f.w.writeBool(false);
    f.w.writeInt32(0);
    f.w.writeInt32(0);
    f.w.writeInt32(-1);
    f.w.writeCount(0);
    f.w.writeCount(1);
    f.w.writeObject(&ids[10], "Group");
    f.groupRecord(0, {}, {}, false);
    auto bytes = f.bytes();
    bytes.resize(bytes.size() + 60, 0);
    EXPECT_REFUSED(bytes, "a Group where a new Marker must be");
}

TEST(ProjectFileRefusal, SampleReferredToTwice)
{
    Forge f;
    f.header(1);
    f.w.writeCount(1);
    f.w.writeObject(&ids[0], "AnimatedMarker");
    f.w.writeString("a");
    f.w.writeBool(false);
    f.w.writeInt32(0);
    f.w.writeInt32(0);
    f.w.writeInt32(-1);
    f.w.writeCount(0);
    f.w.writeCount(2);
    for (int i = 0; i < 2; ++i) {
        f.w.writeObject(&ids[5], "Marker");  // the second time as a reference
        for (int k = 0; k < 6; ++k)
            f.w.writeDouble(0);
        f.w.writeInt32(0);
    }
    EXPECT_REFUSED(f.bytes(), "a reference to an earlier Marker where a new Marker must be");
}

TEST(ProjectFileRefusal, MarkerInTheSessionMarkerList)
{
    Forge f;
    f.header(1);
    f.w.writeCount(1);
    f.w.writeObject(&ids[5], "Marker");
    EXPECT_REFUSED(f.bytes(), "a Marker where an AnimatedMarker must be (the session's marker list)");
}

TEST(ProjectFileRefusal, BadReference)
{
    Forge f;
    f.header(1);
    f.w.writeCount(1);
    f.w.writeUInt16(3);  // nothing has index 3
    EXPECT_REFUSED(f.bytes(), "bad reference to index 3 (only 0 assigned) at byte 23");
}

TEST(ProjectFileRefusal, AbsurdCountsAndLengths)
{
    {
        Forge f;
        f.header(1);
        f.w.writeCount(0x7FFFFFFF);
        EXPECT_REFUSED(f.bytes(), "a list of 2147483647 elements does not fit in the 0 bytes left, inside the session record at byte 21");
    }
    {
        // A sample list claiming more samples than the rest of the file can hold (54 bytes each).
        Forge f;
        f.header(1);
        f.w.writeCount(1);
        f.w.writeObject(&ids[0], "AnimatedMarker");
        f.w.writeString("a");
        f.w.writeBool(false);
        for (int32_t v : {0, 0, -1})
            f.w.writeInt32(v);
        f.w.writeCount(0);
        f.w.writeCount(100000);
        f.w.writeCount(0);
        f.w.writeCount(0);
        auto bytes = f.bytes();
        bytes.resize(bytes.size() + 100000 * 2, 0);  // room for 100000 references, not samples
        EXPECT_REFUSED(bytes, "a list of 100000 elements does not fit");
    }
    {
        Forge f;
        f.header(1);
        f.w.writeCount(1);
        f.w.writeObject(&ids[0], "AnimatedMarker");
        f.w.writeByte(0xFF);
        f.w.writeUInt16(0xFFFF);
        f.w.writeUInt32(0xFFFFFF00u);
        EXPECT_REFUSED(f.bytes(), "a string of 4294967040 characters does not fit");
    }
}

TEST(ProjectFileRefusal, TrajectoryOutsideTheSessionList)
{
    // An edge end that the session's marker list does not hold would be owned by no one.
    Forge f;
    f.header(1, 1, 0);
    f.w.writeCount(1);
    f.plainTrajectory(&ids[0], "a");
    f.w.writeCount(1);
    f.w.writeObject(&ids[11], "Edge");
    f.w.writeInt32(0);
    f.w.writeObject(&ids[0], "AnimatedMarker");
    f.plainTrajectory(&ids[1], "stray");
    f.w.writeCount(0);
    EXPECT_REFUSED(f.bytes(), "a trajectory is referred to but not in the session's marker list");
}

TEST(ProjectFileRefusal, DuplicateSessionEntries)
{
    Forge f;
    f.header(2);
    f.w.writeCount(2);
    f.plainTrajectory(&ids[0], "a");
    f.plainTrajectory(&ids[0], "a");
    f.w.writeCount(0);
    f.w.writeCount(0);
    EXPECT_REFUSED(f.bytes(), "appears more than once in the session's marker list");
}

TEST(ProjectFileRefusal, TrailingBytes)
{
    auto bytes = projectBytes(MotionCaptureSession());
    bytes.push_back(0);
    EXPECT_REFUSED(bytes, "1 unexpected bytes after the session record");
}

TEST(ProjectFileRefusal, DeepNestingIsRefusedWithoutExhaustingTheStack)
{
    // trajectory -> group -> member trajectory -> group -> ... far deeper than any real project.
    Forge f;
    f.header(1, 0, 1);
    f.w.writeCount(1);
    std::vector<int> objects(2 * ArchiveReader::kMaxDepth + 10);
    std::function<void(std::size_t)> nest = [&](std::size_t level) {
        if (level + 1 >= objects.size())
            return;
        f.w.writeObject(&objects[level], "AnimatedMarker");
        f.trajectoryRecord("t", true, 1, [&] {
            f.w.writeCount(1);
            f.w.writeObject(&objects[level + 1], "Group");
            f.w.writeInt32(0);
            f.w.writeInt32(-1);
            for (int k = 0; k < 3; ++k)
                f.w.writeBool(false);
            for (int k = 0; k < 3; ++k)
                f.w.writeInt32(1);
            f.w.writeCount(1);
            nest(level + 2);
        }, 0);
    };
    nest(0);
    EXPECT_REFUSED(f.bytes(), "nested more than");
}

TEST(ProjectFileIo, ASessionTooDeepToReadBackIsNotSaved)
{
    // Groups {0, 1}, {1, 2}, {2, 3}, ...: each group's record holds the next trajectory, whose
    // record holds the next group, and so on.
    MotionCaptureSession s;
    const int n = static_cast<int>(ArchiveReader::kMaxDepth) / 2 + 2;
    for (int i = 0; i < n; ++i)
        s.markers.push_back(trajectory(i, "t", 1, {}, {}));
    s.frameCount = 1;
    for (int i = 0; i + 1 < n; ++i) {
        s.clearMarkerSelection();
        s.selectMarker(i);
        s.selectMarker(i + 1);
        s.createGroup();
    }
    TempDir dir;
    std::string error;
    EXPECT_FALSE(saveProject(s, dir.file("deep.dwz").string(), error));
    EXPECT_NE(error.find("nest too deeply"), std::string::npos) << error;

    // Half as deep is fine both ways.
    s.groups.resize(s.groups.size() / 2);
    for (auto& m : s.markers) {
        std::erase_if(m->groups, [&](Group* g) {
            return std::none_of(s.groups.begin(), s.groups.end(), [&](auto& kept) { return kept.get() == g; });
        });
        m->inGroup = !m->groups.empty();
    }
    ASSERT_TRUE(saveProject(s, dir.file("ok.dwz").string(), error)) << error;
    auto loaded = loadProject(dir.file("ok.dwz").string(), error);
    ASSERT_TRUE(loaded) << error;
    expectSameProject(s, *loaded);
}

// A chain of `n` trajectories, each pair sharing a group: trajectory k's record sits 2 + 2k
// records deep, so the last one is 2n deep (2n + 1 for its samples, when it has any).
std::unique_ptr<MotionCaptureSession> groupChain(int n, int lastSamples)
{
    auto s = std::make_unique<MotionCaptureSession>();
    for (int i = 0; i < n; ++i)
        s->markers.push_back(trajectory(i, "t", i + 1 == n ? lastSamples : 0, {}, {}));
    for (int i = 0; i + 1 < n; ++i) {
        s->clearMarkerSelection();
        s->selectMarker(i);
        s->selectMarker(i + 1);
        s->createGroup();
    }
    return s;
}

TEST(ProjectFileIo, EveryProjectThatLoadsCanBeSavedAgain)
{
    // Exactly as deep as the reader allows: it loads, and it saves again byte for byte (the
    // writer used to stop one level short of the reader).
    const int n = static_cast<int>(ArchiveReader::kMaxDepth) / 2;
    const auto bytes = projectBytes(*groupChain(n, 0));
    std::string error;
    auto loaded = loadProjectBytes(bytes.data(), bytes.size(), "deep.dwz", error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(projectBytes(*loaded), bytes);

    // One level more, whether a record or a sample, is neither written nor read.
    EXPECT_THROW(projectBytes(*groupChain(n, 1)), std::length_error);
    EXPECT_THROW(projectBytes(*groupChain(n + 1, 0)), std::length_error);
    const auto chain = projectBytes(*groupChain(n - 1, 1));  // as deep as the reader allows, samples included
    ASSERT_TRUE(loadProjectBytes(chain.data(), chain.size(), "deep.dwz", error)) << error;
}

TEST(ProjectFileRefusal, CorruptedBytesNeverCrash)
{
    CapturedMessages quiet;
    const auto original = projectBytes(*builtSession());
    uint32_t state = 12345;
    auto next = [&] { state = state * 1103515245u + 12345u; return state >> 8; };
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        auto bytes = original;
        const int flips = 1 + static_cast<int>(next() % 4);
        for (int k = 0; k < flips; ++k)
            bytes[next() % bytes.size()] = static_cast<uint8_t>(next());
        std::string error;
        auto s = loadProjectBytes(bytes.data(), bytes.size(), "fuzz.dwz", error);
        if (s) {
            ++accepted;  // a changed number in a sample, say; it must still be a whole session
            for (auto& g : s->groups)
                for (auto* m : g->members)
                    EXPECT_TRUE(std::any_of(s->markers.begin(), s->markers.end(),
                                            [&](auto& owned) { return owned.get() == m; }));
        } else {
            EXPECT_EQ(error.rfind("fuzz.dwz: ", 0), 0u);
        }
    }
    EXPECT_GT(accepted, 0);
}

// --- Files ---------------------------------------------------------------------------------

TEST(ProjectFileIo, MissingFileAndFolderAreReported)
{
    TempDir dir;
    std::string error;
    EXPECT_FALSE(loadProject(dir.file("none.dwz").string(), error));
    EXPECT_NE(error.find("none.dwz: cannot open: No such file"), std::string::npos) << error;
    EXPECT_FALSE(loadProject(dir.path().string(), error));
    EXPECT_NE(error.find("is a folder"), std::string::npos) << error;
    // A FIFO without a writer is refused at once instead of blocking the open.
    const auto fifo = dir.file("fifo.dwz").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(loadProject(fifo, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
}

TEST(ProjectFileIo, SavingIntoAMissingFolderIsReported)
{
    TempDir dir;
    MotionCaptureSession s;
    std::string error;
    const auto path = dir.file("no-such-folder/x.dwz").string();
    EXPECT_FALSE(saveProject(s, path, error));
    EXPECT_EQ(error, path + ": cannot write: No such file or directory");

    const auto notAFolder = dir.write("plain", "x");
    EXPECT_FALSE(saveProject(s, (notAFolder / "x.dwz").string(), error));
    EXPECT_NE(error.find("Not a directory"), std::string::npos) << error;
}

TEST(ProjectFileIo, SavingIntoAReadOnlyFolderIsReported)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    TempDir dir;
    const auto folder = dir.file("locked");
    std::filesystem::create_directory(folder);
    MotionCaptureSession s;
    std::string error;
    ASSERT_TRUE(saveProject(s, (folder / "x.dwz").string(), error)) << error;
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    s.loaded = true;
    EXPECT_FALSE(saveProject(s, (folder / "x.dwz").string(), error));
    EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    EXPECT_EQ(readBytes(folder / "x.dwz"), std::vector<uint8_t>(27, 0));
}

TEST(ProjectFileIo, AFailedSaveLeavesTheOldProjectWhole)
{
    TempDir dir;
    const auto path = dir.file("keep.dwz");
    std::string error;
    MotionCaptureSession small;
    ASSERT_TRUE(saveProject(small, path.string(), error)) << error;

    // Let the process write no file beyond 4 KiB, then save a larger project over the old one.
    CapturedMessages quiet;
    auto big = builtSession();
    for (auto& m : big->markers)
        m->samples.resize(200);
    rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool saved = saveProject(*big, path.string(), error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved);
    EXPECT_NE(error.find(path.string() + ": cannot write: File too large"), std::string::npos) << error;
    EXPECT_EQ(readBytes(path), std::vector<uint8_t>(27, 0));
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(ProjectFileIo, SaveReplacesAnExistingProjectAndKeepsItsPermissions)
{
    TempDir dir;
    const auto path = dir.file("p.dwz");
    std::string error;
    MotionCaptureSession s;
    ASSERT_TRUE(saveProject(s, path.string(), error));
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
    auto built = builtSession();
    CapturedMessages quiet;
    ASSERT_TRUE(saveProject(*built, path.string(), error)) << error;
    EXPECT_EQ(readBytes(path), projectBytes(*built));
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

} // namespace
} // namespace duolo
