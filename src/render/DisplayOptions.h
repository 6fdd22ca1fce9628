#pragma once

namespace duolo {

// What the 3D views draw of the session. One instance lives in the main window: the simple
// playback page's "Show" check boxes and the dissection page's "Show All Groups" write it, and
// every view reads it on each frame, so a change on one page shows in all views.
struct DisplayOptions {
    bool showUngroupedMarkers = true;
    bool showGroupedMarkers = true;
    bool showSkeleton = true;
    bool showHeadingVectors = true;   // heading and up vectors
    bool showAllGroups = false;       // with a group number: draw every group, not just that one

    bool operator==(const DisplayOptions&) const = default;
};

} // namespace duolo
