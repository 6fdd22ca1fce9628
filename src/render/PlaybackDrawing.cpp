#include "render/PlaybackDrawing.h"

#include "render/SceneDrawing.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

namespace duolo {
namespace {

constexpr double kPi = 3.14159265358979323846;

Material overlayMaterial(const Rgba& ambient, const Rgba& diffuse, const Rgba& specular)
{
    Material m;
    m.colour = {diffuse[0], diffuse[1], diffuse[2]};
    m.ambient = ambient;
    m.diffuse = diffuse;
    m.specular = specular;
    m.shininess = 2.0f;
    return m;
}

void apply(const Material& m)
{
    const GLfloat none[] = {0.0f, 0.0f, 0.0f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, none);
    glColor3f(m.colour[0], m.colour[1], m.colour[2]);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, m.ambient.data());
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, m.diffuse.data());
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, m.specular.data());
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, m.shininess);
}

// A disk in the floor plane: turned into the floor, then moved to (x, z) in the turned axes.
void drawFloorDisk(const Vec3& centre, double inner, double outer)
{
    glPushMatrix();
    glRotated(90.0, 1.0, 0.0, 0.0);
    glTranslated(centre.x, centre.z, 0.0);
    GLUquadric* q = gluNewQuadric();
    gluDisk(q, inner, outer, 16, 1);
    gluDeleteQuadric(q);
    glPopMatrix();
}

void drawSphere(const Vec3& at)
{
    glPushMatrix();
    glTranslated(at.x, at.y, at.z);
    GLUquadric* q = gluNewQuadric();
    gluSphere(q, 0.3, 8, 8);
    gluDeleteQuadric(q);
    glPopMatrix();
}

void vertex(const Vec3& p) { glVertex3d(p.x, p.y, p.z); }

} // namespace

OverlayMaterials overlayMaterials()
{
    return {
        overlayMaterial({0.4f, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 0}),
        overlayMaterial({0.9f, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 0}),
        overlayMaterial({0, 0, 0.3f, 1}, {0.2f, 0.2f, 0.9f, 1}, {0.2f, 0.2f, 0.9f, 0}),
        overlayMaterial({0.2f, 0.2f, 0.2f, 1}, {0.6f, 0.6f, 0.6f, 1}, {0.9f, 0.9f, 0.9f, 0}),
        overlayMaterial({0.2f, 0.2f, 0.2f, 1}, {0, 0, 0, 1}, {0, 0, 0, 0}),
    };
}

void drawBalanceOverlay(const BalanceOverlayShape& shape)
{
    const OverlayMaterials m = overlayMaterials();
    const Vec3& mass = shape.centreOfMass;
    const Vec3 floorPoint{mass.x, 0.0, mass.z};
    if (shape.supportCentre) {
        apply(m.toleranceRing);
        drawFloorDisk(*shape.supportCentre, shape.offset, shape.allowedOffset);
        apply(m.offsetDisk);
        drawFloorDisk(*shape.supportCentre, 0.0, shape.offset);
        apply(m.supportSphere);
        drawSphere(*shape.supportCentre);
    }
    apply(m.massSphere);
    drawSphere(floorPoint);
    drawSphere(mass);

    apply(m.line);
    glLineWidth(1.0f);
    glBegin(GL_LINES);
    vertex(mass);
    vertex(floorPoint);
    if (shape.supportCentre) {
        vertex(floorPoint);
        vertex(*shape.supportCentre);
        vertex(mass);
        vertex(*shape.supportCentre);
    }
    glEnd();
}

void drawPlaybackScene(const PlaybackScene& scene, double radius, int patches)
{
    for (const PlacedSphere& s : scene.spheres)
        drawMarkerSphere(s.position, false, s.colour, radius, patches, s.recordedHeight);
    if (scene.balance)
        drawBalanceOverlay(*scene.balance);
    if (scene.path.size() >= 2) {
        glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT | GL_CURRENT_BIT);
        glDisable(GL_LIGHTING);
        glColor3f(1.0f, 0.85f, 0.1f);
        glLineWidth(2.0f);
        glBegin(GL_LINE_STRIP);
        for (const Vec3& p : scene.path)
            glVertex3d(p.x, 0.02, p.z);
        glEnd();
        glPopAttrib();
    }
}

std::optional<Vec3> floorPointUnderPixel(double px, double py, double width, double height, double yawDegrees,
                                         bool fromAbove)
{
    if (width <= 0.0 || height <= 0.0)
        return std::nullopt;
    // The ray through the pixel in eye space (45 degree vertical field of view), then back
    // through the camera's placement: a turn by the yaw after a shift of (0, -10, -50).
    const double halfHeight = std::tan(45.0 * kPi / 360.0);
    const double ndcX = 2.0 * px / width - 1.0;
    const double ndcY = 1.0 - 2.0 * py / height;
    const Vec3 d{ndcX * halfHeight * width / height, ndcY * halfHeight, -1.0};
    double ex = 0.0, ez = 0.0;  // the floor point, turned by the yaw
    if (fromAbove) {
        // The floor lies kCameraHeightAbove ahead; the eye's up is the scene's -z.
        ex = kCameraHeightAbove * d.x;
        ez = -kCameraHeightAbove * d.y;
    } else {
        if (!(d.y < 0.0))
            return std::nullopt;
        const double t = -10.0 / d.y;  // world height = eye height + 10
        ex = t * d.x;
        ez = t * d.z + 50.0;
    }
    const double yaw = yawDegrees * kPi / 180.0;
    // Undo glRotate(yaw, 0, 1, 0): x' = x cos + z sin, z' = -x sin + z cos, inverted.
    const double c = std::cos(yaw), s = std::sin(yaw);
    return Vec3{ex * c - ez * s, 0.0, ex * s + ez * c};
}

} // namespace duolo
