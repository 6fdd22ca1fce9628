#pragma once

#include "capture/AnimatedMarker.h"
#include "capture/CaptureTake.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace duolo {

class Edge;
class Group;

// The one document: every trajectory, display edge and group, the session-wide frame, the
// skeleton builder's selection counts and the playback constraint settings.
//
// Counts are the sizes of the lists (the project file stores them and the reader insists that
// they agree). Every deletion renumbers, so object i of each list has number i.
class MotionCaptureSession {
public:
    MotionCaptureSession();
    ~MotionCaptureSession();
    MotionCaptureSession(const MotionCaptureSession&) = delete;
    MotionCaptureSession& operator=(const MotionCaptureSession&) = delete;

    bool loaded = false;
    std::vector<std::unique_ptr<AnimatedMarker>> markers;
    std::vector<std::unique_ptr<Edge>> edges;
    std::vector<std::unique_ptr<Group>> groups;
    int32_t currentFrame = 0;
    int32_t frameCount = 0;
    int32_t selectedMarkerCount = 0;
    int32_t selectedEdgeCount = 0;
    int32_t selectedGroupCount = 0;
    int32_t nextColliderId = 0;
    // Playback constraints (never saved).
    int32_t rotationLimit = 60;
    int32_t rotationLimitMax = 180;
    double balanceTolerance = 10.0;
    int32_t balanceToleranceMax = 20;
    bool balanceConstraintOn = false;
    bool rotationConstraintOn = false;

    int32_t markerCount() const { return static_cast<int32_t>(markers.size()); }
    int32_t edgeCount() const { return static_cast<int32_t>(edges.size()); }
    int32_t groupCount() const { return static_cast<int32_t>(groups.size()); }

    // --- Loading and time -------------------------------------------------------------
    // Reads each file into new trajectories, in the order given: a marker file (*.mov) gives
    // one, a capture file (*.c3d, *.trc) one per point in the file's order. A file that cannot
    // be read adds no trajectory; its message (naming the file) is appended to `errors`. What
    // the user should know about a file that did load (its filled gaps, left-out points) is one
    // message per file, appended to `notices` or, without them, shown. Sets `loaded`, puts the
    // frame at 0 and takes the frame count from the first trajectory of the session.
    // Trajectories are renumbered at once, so numbers never repeat. `captureOptions` (the
    // user's vertical axis and units) apply to every capture file of the call.
    void loadMarkers(const std::vector<std::string>& paths, std::vector<std::string>* errors = nullptr,
                     std::vector<std::string>* notices = nullptr, const CaptureImportOptions& captureOptions = {});
    // Moves every ungrouped trajectory to `frame` and every group (with its members) too.
    void setFrame(int32_t frame);
    // One frame on, wrapping from the last frame to 0.
    void stepFrame();
    // setFrame(currentFrame +/- 1) with wrap-around, as the pages' frame buttons do.
    void frameForward();
    void frameBack();

    // --- Lookup and selection -----------------------------------------------------------
    AnimatedMarker* findMarker(int32_t index) const;
    Group* findGroup(int32_t number) const;
    Edge* findEdge(int32_t number) const;
    void selectMarker(int32_t index);
    void selectEdge(int32_t number);
    void selectGroup(int32_t number);
    void clearMarkerSelection();
    void clearEdgeSelection();
    void clearGroupSelection();
    // Numbers every trajectory, edge and group by its position and recolours the groups.
    void renumber();
    // Gives every group whose firstGroupMark names another group that group as parent (a group
    // is never its own parent). Run after loading and after any group is deleted.
    void resolveGroupParents();

    // --- Skeleton builder operations (each does nothing when its precondition fails) -----
    Edge* createEdge();                 // exactly two selected trajectories
    void deleteSelectedEdges();
    AnimatedMarker* createCentroid();   // at least two selected trajectories
    Group* createGroup();               // at least one selected trajectory
    void addSelectedToGroup();          // >= 1 selected trajectory, exactly one selected group
    void removeSelectedFromGroup();     // same
    void deleteSelectedGroups();
    void createHeadingVectorFor(int32_t indexA, int32_t indexB, int32_t groupNumber);
    void createUpVectorFor(int32_t indexA, int32_t indexB, int32_t groupNumber);
    void flipHeadingVectors();
    void flipUpVectors();
    void deleteHeadingVectors();
    void deleteUpVectors();
    void setCollider();                 // >= 1 selected trajectory, at least one group and a
                                        // collider id left (the counter is not at its maximum)
    void setColliderInGroup();          // setCollider on each selected group in list order, each
                                        // with its own id: >= 1 selected trajectory and group
    void deleteSelectedMarkers();
    void mirrorMarkers();               // one or two selected trajectories

    // frameCount, bounded by the longest trajectory of the session: what loops over the take's
    // frames may run to. A project file can store any frame count; the stored value is kept.
    int32_t framesHeld() const;

    // True when every trajectory has exactly `frameCount` samples (the builder's condition
    // for moving on).
    bool allTrajectoriesHaveFrameCount() const;

private:
    // The selected members of `group` get the next collider id (added to their names too).
    void giveColliderId(Group& group);
};

} // namespace duolo
