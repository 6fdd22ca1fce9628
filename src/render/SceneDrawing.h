#pragma once

#include "capture/Vec3.h"
#include "render/DisplayOptions.h"

#include <array>
#include <cstdint>
#include <optional>

namespace duolo {

class Edge;
class Group;
class MotionCaptureSession;

// Fixed-function OpenGL drawing of the capture scene. Every draw function expects a current
// compatibility-profile context; the material functions are plain data for testing.

enum class SceneLighting { Lit, Unlit };

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
};
// A display colour 0x00BBGGRR (red in the low byte).
Rgb rgbFromColourRef(uint32_t colour);

using Rgba = std::array<float, 4>;

struct Material {
    std::array<float, 3> colour{};   // current colour (what the unlit view shows)
    Rgba ambient{};
    Rgba diffuse{};
    Rgba specular{};
    float shininess = 0.0f;
};

// A marker sphere's material: selected red, else the given colour, else white; a sample below
// the contact height (strictly) is green whatever else holds.
Material markerMaterial(bool selected, const std::optional<Rgb>& colour, double height);
// A skeleton edge's material: red when selected, white between ungrouped markers, the group's
// colour inside one group, yellow for anything else.
Material edgeMaterial(const Edge& edge);

// Clear colour, depth test, shading and (for lit scenes) the directional light.
void setupScene(SceneLighting lighting);
// Viewport and the 45 degree perspective for a surface of w x h pixels; resets the model-view.
void setProjection(int width, int height);
// Camera: 50 units back, 10 up, the scene turned by `yawDegrees` about the vertical axis.
void placeCamera(float yawDegrees);
// Camera straight above the origin, kCameraHeightAbove up and looking down (the scene's +z
// towards the picture's bottom), the scene turned by `yawDegrees` about the vertical axis.
constexpr double kCameraHeightAbove = 80.0;
void placeCameraAbove(float yawDegrees);

void drawFloorGrid(SceneLighting lighting);
void drawMarkerSphere(const Vec3& position, bool selected, const std::optional<Rgb>& colour,
                      double radius, int patches, double contactTestHeight);
void drawMarkerSphere(const Vec3& position, bool selected, const std::optional<Rgb>& colour,
                      double radius, int patches);
void drawGroupMembers(const Group& group, double radius, int patches);
// A 3-pixel line in the edge's colour, unlit whatever the scene's lighting.
void drawSkeletonEdge(const Edge& edge);
// Heading and up arrows of a group whose poses are not built yet.
void drawGroupVectors(const Group& group);

// The raw animation at every marker's current sample. With a group number (not -1) only that
// group (or every group when the options say so) is drawn with its vectors; with -1 the options
// choose among ungrouped markers, grouped markers, skeleton edges and vectors.
void drawSessionFrame(const MotionCaptureSession& session, const DisplayOptions& options,
                      double radius, int patches, int groupNumber);

} // namespace duolo
