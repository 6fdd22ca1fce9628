// Project subcommands: make-project (build a session from a recipe, as the skeleton builder
// would, and save it), info, resave and poses.
#include "capture/TextEncoding.h"
#include "session/MotionCaptureSession.h"
#include "session/ProjectFile.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/SavedGraphs.h"
#include "skeleton/Edge.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

namespace duolo::cli {
namespace {

using nlohmann::json;

json readJsonFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in || std::filesystem::is_directory(path))
        throw CliError(path + ": cannot open recipe: " + (in ? "it is a folder" : std::strerror(errno)));
    try {
        return json::parse(in);
    } catch (const json::exception& e) {
        throw CliError(path + ": not a valid recipe: " + e.what());
    }
}

// Runs the steps of a recipe on a session, each as the skeleton builder's button runs it: the
// listed markers, edges and groups become the selection (a selection is a set, in session
// order), and the session operation runs whenever the builder's own precondition holds, even
// where it then changes nothing or less than the step lists (a collider step still uses up a
// collider number, as "Set Collider" does). Such steps are reported as warnings on stderr.
// A number that names nothing, an unknown operation or a malformed step is an error naming the
// recipe and the step, and nothing is saved.
//
// Steps: {"op": ..., fields}
//   centroid {markers}          group {markers}           heading / up {group, a, b}
//   collider {markers}          edge {a, b}               mirror {markers}
//   colliderInGroup {markers, groups}
//   addToGroup / removeFromGroup {markers, group}         deleteMarkers {markers}
//   flipHeading / flipUp / deleteHeading / deleteUp {groups}
//   deleteEdges {edges}         deleteGroups {groups}
class RecipeRunner {
public:
    RecipeRunner(MotionCaptureSession& session, std::string recipePath)
        : s_(session), recipe_(std::move(recipePath))
    {
    }

    void run(const json& steps)
    {
        if (!steps.is_array())
            throw CliError(recipe_ + ": \"steps\" must be a list");
        for (std::size_t i = 0; i < steps.size(); ++i) {
            step_ = i;
            runStep(steps[i]);
        }
    }

private:
    std::string where() const
    {
        return recipe_ + ": step " + std::to_string(step_) + (op_.empty() ? "" : " (" + op_ + ")") + ": ";
    }

    [[noreturn]] void fail(const std::string& problem) const { throw CliError(where() + problem); }

    void warn(const std::string& problem) const { std::cerr << "duolo-mg: warning: " << where() << problem << '\n'; }

    int32_t integer(const json& step, const char* key) const
    {
        if (!step.contains(key))
            fail(std::string("missing \"") + key + "\"");
        const json& v = step[key];
        if (!v.is_number_integer() || v.get<int64_t>() < INT32_MIN || v.get<int64_t>() > INT32_MAX)
            fail(std::string("\"") + key + "\" must be a whole number");
        return v.get<int32_t>();
    }

    // A list of numbers; one listed twice counts once (a selection holds each row once).
    std::vector<int32_t> integers(const json& step, const char* key) const
    {
        if (!step.contains(key) || !step[key].is_array())
            fail(std::string("\"") + key + "\" must be a list of numbers");
        std::vector<int32_t> out;
        std::set<int32_t> seen;
        for (const json& v : step[key]) {
            if (!v.is_number_integer() || v.get<int64_t>() < INT32_MIN || v.get<int64_t>() > INT32_MAX)
                fail(std::string("\"") + key + "\" must be a list of whole numbers");
            if (seen.insert(v.get<int32_t>()).second)
                out.push_back(v.get<int32_t>());
            else
                warn(std::string("\"") + key + "\" lists " + std::to_string(v.get<int32_t>()) + " twice; it counts once");
        }
        return out;
    }

    AnimatedMarker* marker(int32_t index) const
    {
        AnimatedMarker* m = s_.findMarker(index);
        if (!m)
            fail("no marker " + std::to_string(index) + " (the session has " +
                 std::to_string(s_.markerCount()) + ")");
        return m;
    }

    Group* group(int32_t number) const
    {
        Group* g = s_.findGroup(number);
        if (!g)
            fail("no group " + std::to_string(number) + " (the session has " + std::to_string(s_.groupCount()) +
                 ")");
        return g;
    }

    static std::string numbers(const std::vector<int32_t>& list)
    {
        std::string text;
        for (int32_t n : list)
            text += (text.empty() ? "" : ", ") + std::to_string(n);
        return text;
    }

    // The listed markers become the selection.
    std::vector<int32_t> selectMarkers(const json& step, const char* key = "markers")
    {
        auto list = integers(step, key);
        for (int32_t i : list)
            marker(i);
        s_.clearMarkerSelection();
        for (int32_t i : list)
            s_.selectMarker(i);
        return list;
    }

    std::vector<int32_t> selectGroups(const json& step)
    {
        auto list = integers(step, "groups");
        for (int32_t g : list)
            group(g);
        s_.clearGroupSelection();
        for (int32_t g : list)
            s_.selectGroup(g);
        return list;
    }

    void selectOneGroup(int32_t number)
    {
        group(number);
        s_.clearGroupSelection();
        s_.selectGroup(number);
    }

    void vector(const json& step, bool heading)
    {
        Group* g = group(integer(step, "group"));
        const int32_t a = integer(step, "a");
        const int32_t b = integer(step, "b");
        marker(a);
        marker(b);
        // The builder needs two selected markers and one selected group.
        if (a == b)
            return warn("a vector needs two different markers; nothing done");
        std::vector<int32_t> outside;
        for (int32_t i : {a, b})
            if (!g->isMember(marker(i)))
                outside.push_back(i);
        if (heading)
            s_.createHeadingVectorFor(a, b, g->groupNumber);
        else
            s_.createUpVectorFor(a, b, g->groupNumber);
        if (!outside.empty())
            warn("marker " + numbers(outside) + (outside.size() == 1 ? " is" : " are") + " not a member of group " +
                 std::to_string(g->groupNumber) + "; nothing done");
    }

    void collider(const json& step)
    {
        const auto list = selectMarkers(step);
        if (list.empty())
            return warn("no markers listed; nothing done");
        if (s_.groups.empty())
            return warn("colliders are set on the first group, and there is none; nothing done");
        const int32_t before = s_.nextColliderId;
        s_.setCollider();
        if (s_.nextColliderId == before)
            return warn("no collider number is left; nothing done");
        std::vector<int32_t> outside;
        for (int32_t i : list)
            if (!s_.groups.front()->isMember(marker(i)))
                outside.push_back(i);
        if (outside.size() == list.size())
            warn("no listed marker is a member of the first group: collider " + std::to_string(before) +
                 " is used up on no marker");
        else if (!outside.empty())
            warn("marker " + numbers(outside) + (outside.size() == 1 ? " is" : " are") +
                 " not a member of the first group and gets no collider");
    }

    // Each listed group gets its own collider number, in group order, for its listed members.
    void colliderInGroup(const json& step)
    {
        const auto list = selectMarkers(step);
        const auto groupList = selectGroups(step);
        if (list.empty() || groupList.empty())
            return warn(std::string("no ") + (list.empty() ? "markers" : "groups") + " listed; nothing done");
        const int32_t before = s_.nextColliderId;
        s_.setColliderInGroup();
        if (s_.nextColliderId == before)
            return warn("no collider number is left; nothing done");
        std::vector<int32_t> outside;
        for (int32_t i : list) {
            bool member = false;
            for (int32_t g : groupList)
                member = member || group(g)->isMember(marker(i));
            if (!member)
                outside.push_back(i);
        }
        if (!outside.empty())
            warn("marker " + numbers(outside) + (outside.size() == 1 ? " is" : " are") +
                 " not a member of a listed group and gets no collider");
    }

    void membership(const json& step, bool add)
    {
        const auto list = selectMarkers(step);
        Group* g = group(integer(step, "group"));
        selectOneGroup(g->groupNumber);
        if (list.empty())
            return warn("no markers listed; nothing done");
        std::vector<int32_t> unchanged;
        for (int32_t i : list)
            if (g->isMember(marker(i)) == add)
                unchanged.push_back(i);
        if (add)
            s_.addSelectedToGroup();
        else
            s_.removeSelectedFromGroup();
        if (!unchanged.empty())
            warn("marker " + numbers(unchanged) + (unchanged.size() == 1 ? " is" : " are") +
                 (add ? " already" : " not") + " a member of group " + std::to_string(g->groupNumber) +
                 (unchanged.size() == list.size() ? "; nothing done" : "; left as it is"));
    }

    // Flipping or deleting a vector changes only the listed groups that have it.
    void groupVectors(const json& step)
    {
        const auto list = selectGroups(step);
        if (list.empty())
            return warn("no groups listed; nothing done");
        const bool heading = op_ == "flipHeading" || op_ == "deleteHeading";
        std::vector<int32_t> without;
        for (int32_t n : list) {
            const Group* g = group(n);
            if (heading ? !g->hasHeading() : !g->hasUp())
                without.push_back(n);
        }
        if (op_ == "flipHeading")
            s_.flipHeadingVectors();
        else if (op_ == "flipUp")
            s_.flipUpVectors();
        else if (op_ == "deleteHeading")
            s_.deleteHeadingVectors();
        else
            s_.deleteUpVectors();
        if (!without.empty())
            warn("group " + numbers(without) + (without.size() == 1 ? " has" : " have") + " no " +
                 (heading ? "heading" : "up") + " vector" + (without.size() == list.size() ? "; nothing done" : ""));
    }

    void runStep(const json& step)
    {
        op_.clear();
        if (!step.is_object() || !step.contains("op") || !step["op"].is_string())
            fail("a step must be an object with an \"op\"");
        op_ = step["op"].get<std::string>();
        if (op_ == "centroid") {
            if (selectMarkers(step).size() < 2)
                warn("a centroid needs at least two markers; nothing done");
            else
                s_.createCentroid();
        } else if (op_ == "group") {
            if (selectMarkers(step).empty())
                warn("a group needs at least one marker; nothing done");
            else
                s_.createGroup();
        } else if (op_ == "heading" || op_ == "up") {
            vector(step, op_ == "heading");
        } else if (op_ == "collider") {
            collider(step);
        } else if (op_ == "colliderInGroup") {
            colliderInGroup(step);
        } else if (op_ == "edge") {
            const int32_t a = integer(step, "a");
            const int32_t b = integer(step, "b");
            marker(a);
            marker(b);
            s_.clearMarkerSelection();
            s_.selectMarker(a);
            s_.selectMarker(b);
            if (a == b)
                warn("an edge needs two different markers; nothing done");
            else
                s_.createEdge();
        } else if (op_ == "addToGroup" || op_ == "removeFromGroup") {
            membership(step, op_ == "addToGroup");
        } else if (op_ == "flipHeading" || op_ == "flipUp" || op_ == "deleteHeading" || op_ == "deleteUp") {
            groupVectors(step);
        } else if (op_ == "deleteMarkers") {
            if (selectMarkers(step).empty())
                warn("no markers listed; nothing done");
            s_.deleteSelectedMarkers();
        } else if (op_ == "deleteEdges") {
            const auto list = integers(step, "edges");
            for (int32_t e : list)
                if (!s_.findEdge(e))
                    fail("no edge " + std::to_string(e) + " (the session has " + std::to_string(s_.edgeCount()) + ")");
            s_.clearEdgeSelection();
            for (int32_t e : list)
                s_.selectEdge(e);
            if (list.empty())
                warn("no edges listed; nothing done");
            s_.deleteSelectedEdges();
        } else if (op_ == "deleteGroups") {
            if (selectGroups(step).empty())
                warn("no groups listed; nothing done");
            s_.deleteSelectedGroups();
        } else if (op_ == "mirror") {
            const auto list = selectMarkers(step);
            if (list.size() != 1 && list.size() != 2) {
                warn("mirroring takes one or two markers; nothing done");
            } else {
                if (list.size() == 2 && marker(list[0])->sampleCount() != marker(list[1])->sampleCount())
                    warn("markers " + numbers(list) + " have different lengths; nothing done");
                s_.mirrorMarkers();
            }
        } else {
            fail("unknown operation");
        }
        s_.clearMarkerSelection();
        s_.clearEdgeSelection();
        s_.clearGroupSelection();
    }

    MotionCaptureSession& s_;
    std::string recipe_;
    std::size_t step_ = 0;
    std::string op_;
};

void saveOrThrow(const MotionCaptureSession& session, const std::string& path)
{
    std::string error;
    if (!saveProject(session, path, error))
        throw CliError(error);
}

void makeProject(const std::string& recipePath, const std::string& outPath)
{
    const json recipe = readJsonFile(recipePath);
    if (!recipe.is_object() || !recipe.contains("markers") || !recipe["markers"].is_array())
        throw CliError(recipePath + ": a recipe needs a \"markers\" list");

    // Marker paths are relative to the recipe's folder; the trajectories keep them as written.
    const auto folder = std::filesystem::path(recipePath).parent_path();
    // An entry is a path, or {"path": ..., "up": "+Z"} for a capture file whose vertical axis
    // the recipe decides.
    std::vector<std::string> written;
    std::vector<std::string> resolved;
    std::vector<CaptureImportOptions> options;
    for (const json& p : recipe["markers"]) {
        const json* path = &p;
        options.emplace_back();
        if (p.is_object()) {
            path = p.contains("path") ? &p["path"] : nullptr;
            if (p.contains("up")) {
                VerticalAxis axis;
                const json& up = p["up"];
                if (!up.is_string() || up.get<std::string>().empty() || !std::strchr("+-", up.get<std::string>()[0]) ||
                    !parseVerticalAxis(up.get<std::string>(), axis))
                    throw CliError(recipePath + ": \"up\" must be one of \"+X\", \"-X\", \"+Y\", \"-Y\", \"+Z\", \"-Z\"");
                options.back().up = axis;
            }
        }
        if (!path || !path->is_string())
            throw CliError(recipePath + ": \"markers\" must be a list of file paths (or {\"path\", \"up\"} objects)");
        written.push_back(path->get<std::string>());
        resolved.push_back((folder / written.back()).string());
    }

    // A capture file (*.c3d, *.trc) expands to its points in file order, so marker numbers in
    // the steps count the expanded trajectories; every name keeps the path as written.
    MotionCaptureSession session;
    std::vector<std::string> errors;
    for (std::size_t i = 0; i < resolved.size(); ++i) {
        const std::size_t first = session.markers.size();
        session.loadMarkers({resolved[i]}, &errors, nullptr, options[i]);
        if (!errors.empty())
            throw CliError(errors.front());
        for (std::size_t k = first; k < session.markers.size(); ++k)
            session.markers[k]->name = written[i] + session.markers[k]->name.substr(resolved[i].size());
    }

    if (recipe.contains("steps"))
        RecipeRunner(session, recipePath).run(recipe["steps"]);
    session.setFrame(0);

    saveOrThrow(session, outPath);
    printJson({{"project", outPath},
               {"frameCount", session.frameCount},
               {"markers", session.markerCount()},
               {"edges", session.edgeCount()},
               {"groups", session.groupCount()}});
}

void info(const std::string& path)
{
    std::vector<uint8_t> bytes;
    std::string error;
    if (!readWholeFile(path, bytes, error))
        throw CliError(error);
    auto session = loadProjectBytes(bytes.data(), bytes.size(), path, error);
    if (!session)
        throw CliError(error);
    json markers = json::array();
    for (const auto& m : session->markers) {
        json groupNumbers = json::array();
        for (const Group* g : m->groups)
            groupNumbers.push_back(g->groupNumber);
        markers.push_back({{"index", m->index},
                           {"name", displayText(m->name)},
                           {"samples", m->sampleCount()},
                           {"colliderId", m->colliderId},
                           {"groupNumbers", groupNumbers}});
    }
    json edges = json::array();
    for (const auto& e : session->edges)
        edges.push_back({{"index", e->index}, {"from", e->from->index}, {"to", e->to->index}});
    json groups = json::array();
    for (const auto& g : session->groups) {
        json members = json::array();
        for (const AnimatedMarker* m : g->members)
            members.push_back(m->index);
        groups.push_back({{"groupNumber", g->groupNumber},
                          {"firstGroupMark", g->firstGroupMark},
                          {"colour", g->colour},
                          {"frameCount", g->frameCount},
                          {"members", members},
                          {"hasHeading", g->hasHeading()},
                          {"hasUp", g->hasUp()},
                          {"hasRoot", g->hasRoot()}});
    }
    printJson({{"loaded", session->loaded},
               {"frameCount", session->frameCount},
               {"nextColliderId", session->nextColliderId},
               {"markers", markers},
               {"edges", edges},
               {"groups", groups},
               {"graphFile", graphFileInfo(path, bytes)}});
}

void resave(const std::string& inPath, const std::string& outPath)
{
    auto session = loadProjectOrThrow(inPath);
    saveOrThrow(*session, outPath);
    printJson({{"project", outPath},
               {"markers", session->markerCount()},
               {"edges", session->edgeCount()},
               {"groups", session->groupCount()}});
}

json point(const Vec3& p) { return json::array({jsonNumber(p.x), jsonNumber(p.y), jsonNumber(p.z)}); }

void poses(const std::string& path, int32_t groupNumber, int32_t frame)
{
    auto session = loadProjectOrThrow(path);
    Group* g = session->findGroup(groupNumber);
    if (!g)
        throw CliError(path + ": no group " + std::to_string(groupNumber) + " (the project has " +
                       std::to_string(session->groupCount()) + ")");
    // The frames that poses are built for (a stored frame count beyond every trajectory is not).
    const int32_t frames = g->framesHeld();
    if (frame < 0 || frame >= frames)
        throw CliError(path + ": frame " + std::to_string(frame) + " is outside group " +
                       std::to_string(groupNumber) + "'s " + std::to_string(frames) + " frames");
    if (!g->hasHeading() || !g->hasUp() || !g->hasRoot())
        throw CliError(path + ": group " + std::to_string(groupNumber) +
                       " needs a heading vector, an up vector and a root to be posed");
    if (!buildPoses(*g))
        throw CliError(path + ": the poses of group " + std::to_string(groupNumber) + " cannot be built");

    const Skeleton& normalised = g->normalisedPoses.at(static_cast<std::size_t>(frame));
    const Skeleton& world = g->worldPoses.at(static_cast<std::size_t>(frame));
    json normalisedJoints = json::array();
    for (const Marker& j : normalised.joints)
        normalisedJoints.push_back(point(j.position));
    json worldJoints = json::array();
    for (const Marker& j : world.joints)
        worldJoints.push_back(point(j.position));
    json support = nullptr;
    if (world.support)
        support = json::array({jsonNumber(world.support->position.x), jsonNumber(world.support->position.z)});
    printJson({{"normalised", normalisedJoints},
               {"world", worldJoints},
               {"centre", point(world.centre.position)},
               {"pitch", jsonNumber(world.pitch)},
               {"yaw", jsonNumber(world.yaw)},
               {"roll", jsonNumber(world.roll)},
               {"support", support},
               {"supportWeight", jsonNumber(world.supportWeight)}});
}

} // namespace

void registerProjectCommands(CLI::App& app)
{
    struct Options {
        std::string first;
        std::string second;
        int32_t group = 0;
        int32_t frame = 0;
    };
    auto options = std::make_shared<Options>();

    auto* make = app.add_subcommand("make-project", "Build a project from a recipe of marker files and steps");
    make->add_option("recipe", options->first, "Recipe (JSON): {\"markers\": [paths], \"steps\": [...]}")
        ->required();
    make->add_option("out", options->second, "Project file to write (*.dwz)")->required();
    make->callback([options] { makeProject(options->first, options->second); });

    auto* infoCommand = app.add_subcommand("info", "Describe a project file");
    infoCommand->add_option("project", options->first, "Project file (*.dwz)")->required();
    infoCommand->callback([options] { info(options->first); });

    auto* resaveCommand = app.add_subcommand("resave", "Load a project and save it again");
    resaveCommand->add_option("in", options->first, "Project file to read")->required();
    resaveCommand->add_option("out", options->second, "Project file to write")->required();
    resaveCommand->callback([options] { resave(options->first, options->second); });

    auto* posesCommand = app.add_subcommand("poses", "Build a group's poses and print one frame");
    posesCommand->add_option("project", options->first, "Project file (*.dwz)")->required();
    posesCommand->add_option("--group", options->group, "Group number")->required();
    posesCommand->add_option("--frame", options->frame, "Frame")->required();
    posesCommand->callback([options] { poses(options->first, options->group, options->frame); });
}

} // namespace duolo::cli
