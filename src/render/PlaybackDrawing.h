#pragma once

#include "capture/Vec3.h"
#include "render/SceneDrawing.h"

#include <optional>
#include <vector>

namespace duolo {

// What the graph playback view shows in one pass, gathered while the groups are stepped and
// drawn when the view paints: placed marker spheres and, under "Show All Groups", the balance
// overlay.
struct PlacedSphere {
    Vec3 position;          // placed in the world
    Rgb colour;
    double recordedHeight;  // the floor-contact test uses the height before placement
};

// The balance of the ensemble as the overlay draws it: centre of mass M and, when any group
// touches the floor, the support centre on the floor, the horizontal distance D between them and
// the distance allowed.
struct BalanceOverlayShape {
    Vec3 centreOfMass;
    std::optional<Vec3> supportCentre;
    double offset = 0.0;
    double allowedOffset = 0.0;
};

struct PlaybackScene {
    std::vector<PlacedSphere> spheres;
    std::optional<BalanceOverlayShape> balance;
    std::vector<Vec3> path;  // a drawn path on the floor (y ignored), as a line
};

// The magenta of a group's centre of mass.
inline constexpr Rgb kCentreColour{255, 0, 255};

// The balance overlay's materials (front and back faces, no emission, shininess 2).
struct OverlayMaterials {
    Material toleranceRing;   // dark red disk from D out to the allowed distance
    Material offsetDisk;      // bright red disk of radius D
    Material supportSphere;   // blue, at the support centre
    Material massSphere;      // grey, at M and below it on the floor
    Material line;
};
OverlayMaterials overlayMaterials();

// Draws the scene's spheres (marker rules, contact green below 0.72 of recorded height) and
// then its balance overlay.
void drawPlaybackScene(const PlaybackScene& scene, double radius, int patches);

// The floor point (x, 0, z) under pixel (px, py) of a view `width` x `height` pixels whose
// camera placeCamera(yawDegrees) set up (placeCameraAbove with `fromAbove`); none when the
// pixel looks above the horizon.
std::optional<Vec3> floorPointUnderPixel(double px, double py, double width, double height, double yawDegrees,
                                         bool fromAbove = false);
// The disks lie in the floor around the support centre; without support only the two grey
// spheres and the vertical line from M are drawn.
void drawBalanceOverlay(const BalanceOverlayShape& shape);

} // namespace duolo
