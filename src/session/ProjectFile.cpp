// Project files (*.dwz): the session's fields followed by its three object lists, in the
// persistent-object archive format (capture/Archive.h). A trajectory that the session, a group
// and an edge all hold is stored once and referred to by index elsewhere; a group's heading,
// up and root trajectories are embedded in its record as bare trajectory records.
#include "session/ProjectFile.h"

#include "capture/Archive.h"
#include "capture/MessageSink.h"
#include "capture/TextEncoding.h"
#include "session/MotionCaptureSession.h"
#include "skeleton/Edge.h"
#include "skeleton/Group.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <unordered_map>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace duolo {
namespace {

// Class ids of the reader: positions in this list.
enum ClassId { kAnimatedMarker = 0, kMarker = 1, kEdge = 2, kGroup = 3 };
const char* const kClassNames[] = {"AnimatedMarker", "Marker", "Edge", "Group"};

// Smallest number of bytes that one element of a list can take: a two-byte reference. A sample
// is always a new object: its tag and its 52-byte record.
constexpr std::size_t kMinReferenceBytes = 2;
constexpr std::size_t kSampleRecordBytes = 52;
constexpr std::size_t kMinSampleBytes = 2 + kSampleRecordBytes;

// ---------------------------------------------------------------------------------------------
// Writing

class ProjectWriter {
public:
    explicit ProjectWriter(ArchiveWriter& out) : out_(out) {}

    void writeSession(const MotionCaptureSession& s)
    {
        Nesting nesting(depth_);
        out_.writeBool(s.loaded);
        out_.writeInt32(s.edgeCount());
        out_.writeInt32(s.frameCount);
        out_.writeInt32(s.groupCount());
        out_.writeInt32(s.markerCount());
        out_.writeInt32(s.nextColliderId);
        out_.writeCount(s.markers.size());
        for (const auto& m : s.markers)
            writeTrajectoryReference(m.get());
        out_.writeCount(s.edges.size());
        for (const auto& e : s.edges)
            if (out_.writeObject(e.get(), kClassNames[kEdge]))
                writeEdge(*e);
        out_.writeCount(s.groups.size());
        for (const auto& g : s.groups)
            writeGroupReference(g.get());
    }

private:
    // Records nest as the reader will see them, and the writer counts them as the reader does:
    // a session is written exactly when the reader accepts its depth, so every project that
    // loads can be saved again.
    static void checkDepth(std::size_t depth)
    {
        if (depth > ArchiveReader::kMaxDepth)
            throw std::length_error("its groups and members nest too deeply to be read back");
    }
    struct Nesting {
        explicit Nesting(std::size_t& depth) : depth_(depth) { checkDepth(++depth_); }
        ~Nesting() { --depth_; }
        std::size_t& depth_;
    };

    void writeTrajectoryReference(const AnimatedMarker* m)
    {
        if (out_.writeObject(m, kClassNames[kAnimatedMarker]))
            writeTrajectory(*m);
    }

    void writeGroupReference(const Group* g)
    {
        if (out_.writeObject(g, kClassNames[kGroup]))
            writeGroup(*g);
    }

    void writeTrajectory(const AnimatedMarker& m)
    {
        Nesting nesting(depth_);
        out_.writeString(m.name);
        out_.writeBool(m.inGroup);
        out_.writeInt32(m.index);
        out_.writeInt32(m.groupCount());
        out_.writeInt32(m.colliderId);
        out_.writeCount(m.groups.size());
        for (const Group* g : m.groups)
            writeGroupReference(g);
        out_.writeCount(m.samples.size());
        if (!m.samples.empty())
            checkDepth(depth_ + 1);  // each sample is a record one level down
        for (const Marker& s : m.samples) {
            out_.writeNewObject(kClassNames[kMarker]);  // a sample belongs to one trajectory only
            out_.writeDouble(s.position.x);
            out_.writeDouble(s.position.y);
            out_.writeDouble(s.position.z);
            out_.writeDouble(s.velocity.x);
            out_.writeDouble(s.velocity.y);
            out_.writeDouble(s.velocity.z);
            out_.writeInt32(s.frame);
        }
    }

    void writeEdge(const Edge& e)
    {
        Nesting nesting(depth_);
        out_.writeInt32(e.index);
        writeTrajectoryReference(e.from);
        writeTrajectoryReference(e.to);
    }

    // Before each embedded part the save notes the trajectory's index and the part (copies
    // carry index -1, so the notes read "-1 root", "-1 upv", "-1 hv").
    void writeEmbedded(const AnimatedMarker& m, const char* part)
    {
        showMessage(std::to_string(m.index) + part);
        writeTrajectory(m);
    }

    void writeGroup(const Group& g)
    {
        Nesting nesting(depth_);
        const bool hasUp = g.hasUp();
        const bool hasHeading = g.hasHeading();
        const bool hasRoot = g.hasRoot();
        out_.writeInt32(g.groupNumber);
        out_.writeInt32(g.firstGroupMark);
        out_.writeBool(hasUp);
        out_.writeBool(hasHeading);
        out_.writeBool(hasRoot);
        out_.writeInt32(static_cast<int32_t>(g.colour));
        out_.writeInt32(g.frameCount);
        out_.writeInt32(g.memberCount());
        if (hasRoot)
            writeEmbedded(*g.rootTrajectory, " root");
        if (hasUp) {
            showMessage(std::to_string(g.upEnd->index) + " upv");
            writeTrajectory(*g.upEnd);
            writeTrajectory(*g.upStart);
        }
        if (hasHeading) {
            showMessage(std::to_string(g.headingEnd->index) + " hv");
            writeTrajectory(*g.headingEnd);
            writeTrajectory(*g.headingStart);
        }
        out_.writeCount(g.members.size());
        for (const AnimatedMarker* m : g.members)
            writeTrajectoryReference(m);
    }

    ArchiveWriter& out_;
    std::size_t depth_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Reading

// What the reader has created so far. Objects introduced in the file are held here until the
// whole file has been read and checked; only then do they move into a session.
struct LoadedObjects {
    std::vector<std::unique_ptr<AnimatedMarker>> trajectories;
    std::vector<std::unique_ptr<Group>> groups;
    std::vector<std::unique_ptr<Edge>> edges;
};

// The session's own fields, as stored.
struct SessionRecord {
    bool loaded = false;
    int32_t edgeCount = 0;
    int32_t frameCount = 0;
    int32_t groupCount = 0;
    int32_t markerCount = 0;
    int32_t nextColliderId = 0;
    std::vector<AnimatedMarker*> markers;
    std::vector<Edge*> edges;
    std::vector<Group*> groups;
};

std::string article(const std::string& className)
{
    const bool vowel = !className.empty() && std::string_view("AEIOU").find(className[0]) != std::string_view::npos;
    return (vowel ? "an " : "a ") + className;
}

class ProjectReader {
public:
    explicit ProjectReader(ArchiveReader& in) : in_(in) {}

    LoadedObjects objects;

    SessionRecord readSession()
    {
        ArchiveReader::RecordScope scope(in_, "session");
        SessionRecord s;
        s.loaded = in_.readBool();
        s.edgeCount = in_.readInt32();
        s.frameCount = in_.readInt32();
        s.groupCount = in_.readInt32();
        s.markerCount = in_.readInt32();
        s.nextColliderId = in_.readInt32();

        uint32_t n = in_.readCount(kMinReferenceBytes);
        s.markers.reserve(n);
        for (uint32_t i = 0; i < n; ++i)
            s.markers.push_back(readTrajectoryReference("the session's marker list"));
        n = in_.readCount(kMinReferenceBytes);
        s.edges.reserve(n);
        for (uint32_t i = 0; i < n; ++i)
            s.edges.push_back(readEdgeReference());
        n = in_.readCount(kMinReferenceBytes);
        s.groups.reserve(n);
        for (uint32_t i = 0; i < n; ++i)
            s.groups.push_back(readGroupReference("the session's group list"));
        return s;
    }

private:
    // Reads a reference that must be a non-null object of class `expected`; a new one is created
    // by `create`, bound and read by `read`.
    template <class T, class Create, class Read>
    T* readTyped(ClassId expected, const char* where, Create create, Read read)
    {
        const auto ref = in_.readReference();
        using Kind = ArchiveReader::Reference::Kind;
        if (ref.kind == Kind::Null)
            in_.fail(std::string("null reference where ") + article(kClassNames[expected]) +
                         " must be (" + where + ")",
                     ref.offset);
        if (ref.classId != expected)
            in_.fail(article(in_.className(ref.classId)) + " where " + article(kClassNames[expected]) +
                         " must be (" + where + ")",
                     ref.offset);
        if (ref.kind == Kind::Existing)
            return static_cast<T*>(ref.object);
        T* object = create();
        in_.bind(object);
        read(*object);
        return object;
    }

    AnimatedMarker* readTrajectoryReference(const char* where)
    {
        return readTyped<AnimatedMarker>(
            kAnimatedMarker, where,
            [&] { return objects.trajectories.emplace_back(std::make_unique<AnimatedMarker>()).get(); },
            [&](AnimatedMarker& m) { readTrajectory(m, false); });
    }

    Group* readGroupReference(const char* where)
    {
        return readTyped<Group>(
            kGroup, where, [&] { return objects.groups.emplace_back(std::make_unique<Group>()).get(); },
            [&](Group& g) { readGroup(g); });
    }

    Edge* readEdgeReference()
    {
        return readTyped<Edge>(
            kEdge, "the session's edge list",
            [&] { return objects.edges.emplace_back(std::make_unique<Edge>()).get(); },
            [&](Edge& e) { readEdge(e); });
    }

    void readTrajectory(AnimatedMarker& m, bool embedded)
    {
        ArchiveReader::RecordScope scope(in_, "AnimatedMarker");
        m.name = in_.readString();
        m.inGroup = in_.readBool();
        m.index = in_.readInt32();
        const std::size_t countAt = in_.position();
        const int32_t groupCount = in_.readInt32();
        m.colliderId = in_.readInt32();

        const std::size_t listAt = in_.position();
        uint32_t n = in_.readCount(kMinReferenceBytes);
        if (embedded && n != 0)
            in_.fail("a group's own trajectory lists groups of its own", listAt);
        m.groups.reserve(n);
        for (uint32_t i = 0; i < n; ++i)
            m.groups.push_back(readGroupReference("a trajectory's group list"));
        if (groupCount != m.groupCount())
            in_.fail("trajectory \"" + displayText(m.name) + "\" has group count " + std::to_string(groupCount) +
                         " but lists " + std::to_string(m.groupCount()) + " groups",
                     countAt);

        n = in_.readCount(kMinSampleBytes);
        m.samples.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            const auto ref = in_.readReference();
            if (ref.kind != ArchiveReader::Reference::Kind::New || ref.classId != kMarker) {
                const std::string found = ref.kind == ArchiveReader::Reference::Kind::Null
                                              ? std::string("a null reference")
                                          : ref.kind == ArchiveReader::Reference::Kind::Existing
                                              ? "a reference to an earlier " + in_.className(ref.classId)
                                              : article(in_.className(ref.classId));
                in_.fail(found + " where a new Marker must be (a trajectory's samples)", ref.offset);
            }
            Marker& s = m.samples.emplace_back();  // reserved: the address stays put
            in_.bind(&s);
            ArchiveReader::RecordScope sampleScope(in_, "Marker");
            s.position.x = in_.readDouble();
            s.position.y = in_.readDouble();
            s.position.z = in_.readDouble();
            s.velocity.x = in_.readDouble();
            s.velocity.y = in_.readDouble();
            s.velocity.z = in_.readDouble();
            s.frame = in_.readInt32();
        }
        m.current = 0;
        m.selected = false;
    }

    void readEdge(Edge& e)
    {
        ArchiveReader::RecordScope scope(in_, "Edge");
        e.index = in_.readInt32();
        e.from = readTrajectoryReference("an edge's first end");
        e.to = readTrajectoryReference("an edge's second end");
        e.selected = false;
    }

    std::unique_ptr<AnimatedMarker> readEmbedded()
    {
        auto m = std::make_unique<AnimatedMarker>();
        readTrajectory(*m, true);
        return m;
    }

    void readGroup(Group& g)
    {
        ArchiveReader::RecordScope scope(in_, "Group");
        g.groupNumber = in_.readInt32();
        g.firstGroupMark = in_.readInt32();
        const bool hasUp = in_.readBool();
        const bool hasHeading = in_.readBool();
        const bool hasRoot = in_.readBool();
        g.colour = static_cast<uint32_t>(in_.readInt32());
        const std::size_t frameCountAt = in_.position();
        g.frameCount = in_.readInt32();
        if (g.frameCount < 0)
            in_.fail("group " + std::to_string(g.groupNumber) + " has frame count " +
                         std::to_string(g.frameCount),
                     frameCountAt);
        const std::size_t countAt = in_.position();
        const int32_t memberCount = in_.readInt32();
        if (hasRoot)
            g.rootTrajectory = readEmbedded();
        if (hasUp) {
            g.upEnd = readEmbedded();
            g.upStart = readEmbedded();
        }
        if (hasHeading) {
            g.headingEnd = readEmbedded();
            g.headingStart = readEmbedded();
        }
        const uint32_t n = in_.readCount(kMinReferenceBytes);
        g.members.reserve(n);
        for (uint32_t i = 0; i < n; ++i)
            g.members.push_back(readTrajectoryReference("a group's member list"));
        if (memberCount != g.memberCount())
            in_.fail("group " + std::to_string(g.groupNumber) + " has member count " +
                         std::to_string(memberCount) + " but lists " + std::to_string(g.memberCount()) +
                         " members",
                     countAt);
        g.selected = false;
        g.posesBuilt = false;
        g.currentFrame = 0;
        g.parent = nullptr;
    }

    ArchiveReader& in_;
};

// Checks what only the whole file can show: every object is held by the session's list of its
// kind exactly once, the stored counts match the lists, and group membership agrees on both
// sides. Returns an empty string when all is well.
std::string checkConsistency(const SessionRecord& s, const LoadedObjects& objects)
{
    auto countProblem = [](const char* what, int32_t stored, std::size_t actual) {
        return std::string("the session's ") + what + " count " + std::to_string(stored) +
               " disagrees with its list of " + std::to_string(actual);
    };
    if (s.markerCount < 0 || static_cast<std::size_t>(s.markerCount) != s.markers.size())
        return countProblem("marker", s.markerCount, s.markers.size());
    if (s.edgeCount < 0 || static_cast<std::size_t>(s.edgeCount) != s.edges.size())
        return countProblem("edge", s.edgeCount, s.edges.size());
    if (s.groupCount < 0 || static_cast<std::size_t>(s.groupCount) != s.groups.size())
        return countProblem("group", s.groupCount, s.groups.size());
    if (s.frameCount < 0)
        return "the session's frame count is " + std::to_string(s.frameCount);

    // Each object the file introduces must be in its session list, once: the session owns it.
    if (std::set<const AnimatedMarker*>(s.markers.begin(), s.markers.end()).size() != s.markers.size())
        return "a trajectory appears more than once in the session's marker list";
    if (s.markers.size() != objects.trajectories.size())
        return "a trajectory is referred to but not in the session's marker list";
    if (std::set<const Edge*>(s.edges.begin(), s.edges.end()).size() != s.edges.size())
        return "an edge appears more than once in the session's edge list";
    if (std::set<const Group*>(s.groups.begin(), s.groups.end()).size() != s.groups.size())
        return "a group appears more than once in the session's group list";
    if (s.groups.size() != objects.groups.size())
        return "a group is referred to but not in the session's group list";

    // Membership is kept on both sides: trajectory -> groups and group -> members must match,
    // entry for entry.
    std::map<std::pair<const AnimatedMarker*, const Group*>, long> balance;
    for (const AnimatedMarker* m : s.markers) {
        if (m->inGroup != !m->groups.empty())
            return "trajectory \"" + displayText(m->name) + "\" is marked " + (m->inGroup ? "grouped" : "ungrouped") +
                   " but belongs to " + std::to_string(m->groups.size()) + " groups";
        for (const Group* g : m->groups)
            ++balance[{m, g}];
    }
    for (const Group* g : s.groups)
        for (const AnimatedMarker* m : g->members)
            --balance[{m, g}];
    for (const auto& [key, count] : balance)
        if (count != 0)
            return "trajectory \"" + displayText(key.first->name) + "\" and group " +
                   std::to_string(key.second->groupNumber) + " disagree about its membership";
    return {};
}

std::unique_ptr<MotionCaptureSession> buildSession(SessionRecord& s, LoadedObjects& objects)
{
    auto session = std::make_unique<MotionCaptureSession>();
    session->loaded = s.loaded;
    session->frameCount = s.frameCount;
    session->nextColliderId = s.nextColliderId;

    // Every object of the pools is in its session list exactly once (checked before): move
    // each into the session at its list position.
    auto moveInto = [](auto& pool, const auto& order, auto& list) {
        std::unordered_map<const void*, std::size_t> position;
        for (std::size_t i = 0; i < order.size(); ++i)
            position.emplace(order[i], i);
        list.resize(order.size());
        for (auto& owned : pool)
            list[position.at(owned.get())] = std::move(owned);
    };
    moveInto(objects.trajectories, s.markers, session->markers);
    moveInto(objects.edges, s.edges, session->edges);
    moveInto(objects.groups, s.groups, session->groups);

    session->currentFrame = 0;
    session->selectedMarkerCount = 0;
    session->selectedEdgeCount = 0;
    session->selectedGroupCount = 0;
    // A group's parent is the group at position firstGroupMark (a mark naming no other group
    // leaves it without one).
    session->resolveGroupParents();
    return session;
}

std::string errnoText(int error) { return std::strerror(error); }

} // namespace

bool readWholeFile(const std::string& path, std::vector<uint8_t>& data, std::string& error)
{
    // Without waiting for a writer, so that a FIFO is refused below rather than blocking here.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = path + ": cannot open: " + errnoText(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = path + ": cannot read: " + errnoText(errno);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + (S_ISDIR(st.st_mode) ? ": cannot read: is a folder" : ": cannot read: not a regular file");
        ::close(fd);
        return false;
    }
    data.clear();
    data.reserve(static_cast<std::size_t>(st.st_size));
    uint8_t buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            error = path + ": cannot read: " + errnoText(errno);
            ::close(fd);
            return false;
        }
        if (got == 0)
            break;
        data.insert(data.end(), buffer, buffer + got);
    }
    ::close(fd);
    return true;
}

namespace {

bool writeAll(int fd, const uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

} // namespace

std::vector<uint8_t> projectBytes(const MotionCaptureSession& session)
{
    // Samples make up nearly all of a project: reserve room for them at once.
    std::size_t estimate = 64;
    auto add = [&](const AnimatedMarker* m) {
        if (m)
            estimate += 64 + m->name.size() + m->samples.size() * kMinSampleBytes;
    };
    for (const auto& m : session.markers)
        add(m.get());
    for (const auto& g : session.groups) {
        for (const AnimatedMarker* m : g->ownTrajectories())
            add(m);
        estimate += 64 + 2 * g->members.size();
    }
    estimate += 10 * session.edges.size();
    ArchiveWriter out;
    out.reserve(estimate);
    ProjectWriter(out).writeSession(session);
    return out.takeBytes();
}

bool saveProject(const MotionCaptureSession& session, const std::string& path, std::string& error,
                 std::vector<uint8_t>* written)
{
    std::vector<uint8_t> bytes;
    try {
        bytes = projectBytes(session);
    } catch (const std::exception& e) {
        error = path + ": cannot save: " + e.what();
        return false;
    }
    if (!writeFileAtomically(path, bytes, error))
        return false;
    if (written)
        *written = std::move(bytes);
    return true;
}

bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error)
{
    // Replace a link's target rather than the link itself.
    std::string target = path;
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        auto resolved = std::filesystem::weakly_canonical(path, ec);
        if (!ec)
            target = resolved.string();
    }

    // Write a temporary file beside the target, flush it to disk and rename it over the target,
    // so that the old project stays whole until the new one is.
    std::string temp;
    int fd = -1;
    std::random_device random;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(random() % 1000000);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        error = path + ": cannot write: " + errnoText(errno);
        return false;
    }
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(fd, existing.st_mode & 07777);

    auto failWith = [&](int e) {
        ::close(fd);
        ::unlink(temp.c_str());
        error = path + ": cannot write: " + errnoText(e);
        return false;
    };
    if (!writeAll(fd, bytes.data(), bytes.size()))
        return failWith(errno);
    if (::fsync(fd) != 0)
        return failWith(errno);
    if (::close(fd) != 0) {
        const int e = errno;
        ::unlink(temp.c_str());
        error = path + ": cannot write: " + errnoText(e);
        return false;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int e = errno;
        ::unlink(temp.c_str());
        error = path + ": cannot write: " + errnoText(e);
        return false;
    }
    // Make the rename itself durable.
    const auto folder = std::filesystem::path(target).parent_path();
    const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

std::unique_ptr<MotionCaptureSession> loadProjectBytes(const uint8_t* data, std::size_t size,
                                                       const std::string& path, std::string& error)
{
    std::vector<std::string> classNames(std::begin(kClassNames), std::end(kClassNames));
    ArchiveReader in(data, size, std::move(classNames));
    ProjectReader reader(in);
    try {
        SessionRecord record = reader.readSession();
        if (in.remaining() != 0)
            in.fail(std::to_string(in.remaining()) + " unexpected bytes after the session record");
        if (std::string problem = checkConsistency(record, reader.objects); !problem.empty()) {
            error = path + ": " + problem;
            return nullptr;
        }
        return buildSession(record, reader.objects);
    } catch (const ArchiveError& e) {
        error = path + ": " + e.what();
    } catch (const std::bad_alloc&) {
        error = path + ": not enough memory to read the project";
    }
    return nullptr;
}

std::unique_ptr<MotionCaptureSession> loadProject(const std::string& path, std::string& error)
{
    std::vector<uint8_t> data;
    if (!readWholeFile(path, data, error))
        return nullptr;
    return loadProjectBytes(data.data(), data.size(), path, error);
}

} // namespace duolo
