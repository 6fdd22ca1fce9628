#include "render/SceneDrawing.h"

#include "capture/Marker.h"
#include "session/MotionCaptureSession.h"
#include "skeleton/Edge.h"
#include "skeleton/Group.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

namespace duolo {
namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

void applyMaterial(const Material& m)
{
    glColor3f(m.colour[0], m.colour[1], m.colour[2]);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, m.ambient.data());
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, m.diffuse.data());
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, m.specular.data());
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, m.shininess);
}

void resetEmission()
{
    const GLfloat none[] = {0.0f, 0.0f, 0.0f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, none);
}

std::array<float, 3> unit(const Rgb& c)
{
    return {c.r / 255.0f, c.g / 255.0f, c.b / 255.0f};
}

Material colouredMaterial(const std::array<float, 3>& c, float ambientScale, const Rgba& specular,
                          float shininess)
{
    Material m;
    m.colour = c;
    m.ambient = {ambientScale * c[0], ambientScale * c[1], ambientScale * c[2], 1.0f};
    m.diffuse = {c[0], c[1], c[2], 1.0f};
    m.specular = specular;
    m.shininess = shininess;
    return m;
}

// One quadric per shape, as the shapes are drawn rarely enough that caching buys nothing.
void drawCylinder(double base, double top, double height)
{
    GLUquadric* q = gluNewQuadric();
    gluCylinder(q, base, top, height, 8, 1);
    gluDeleteQuadric(q);
}

// An arrow from S to E: shaft at S, cone at E, both along the direction S -> E.
void drawArrow(const Vec3& s, const Vec3& e)
{
    const Vec3 d = e - s;
    const double length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    if (length <= 0.0)
        return;  // coinciding markers have no direction to show
    const Vec3 n = d * (1.0 / length);
    const double yaw = std::atan2(n.x, n.z) * kDegreesPerRadian;
    const double pitch = std::atan2(n.y, std::sqrt(n.x * n.x + n.z * n.z)) * kDegreesPerRadian;

    glPushMatrix();
    glTranslated(e.x, e.y, e.z);
    glRotated(yaw, 0, 1, 0);
    glRotated(-pitch, 1, 0, 0);
    drawCylinder(0.5, 0.0, 2.0);
    glPopMatrix();

    glPushMatrix();
    glTranslated(s.x, s.y, s.z);
    glRotated(yaw, 0, 1, 0);
    glRotated(-pitch, 1, 0, 0);
    drawCylinder(0.2, 0.15, length);
    glPopMatrix();
}

void drawVector(const AnimatedMarker* start, const AnimatedMarker* end)
{
    if (!start || !end)
        return;
    const Marker* s = start->currentSample();
    const Marker* e = end->currentSample();
    if (s && e)
        drawArrow(s->position, e->position);
}

} // namespace

Rgb rgbFromColourRef(uint32_t colour)
{
    return {static_cast<uint8_t>(colour & 0xFF), static_cast<uint8_t>((colour >> 8) & 0xFF),
            static_cast<uint8_t>((colour >> 16) & 0xFF)};
}

Material markerMaterial(bool selected, const std::optional<Rgb>& colour, double height)
{
    Material m;
    if (selected) {
        m = colouredMaterial({1.0f, 0.0f, 0.0f}, 0.3f, {1, 1, 1, 1}, 100.0f);
    } else if (colour) {
        const auto c = unit(*colour);
        m = colouredMaterial(c, 0.3f, {c[0], c[1], c[2], 1.0f}, 50.0f);
    } else {
        m = colouredMaterial({1.0f, 1.0f, 1.0f}, 0.3f, {1, 1, 1, 1}, 50.0f);
    }
    if (height < kContactHeight) {
        // Floor contact: the colour stays, the lit material turns green.
        m.ambient = {0.0f, 0.3f, 0.0f, 1.0f};
        m.diffuse = {0.0f, 1.0f, 0.0f, 1.0f};
        m.specular = {1.0f, 1.0f, 1.0f, 1.0f};
        m.shininess = 50.0f;
    }
    return m;
}

Material edgeMaterial(const Edge& edge)
{
    const Rgba noShine = {0.0f, 0.0f, 0.0f, 1.0f};
    if (edge.selected)
        return colouredMaterial({1.0f, 0.0f, 0.0f}, 0.1f, noShine, 0.0f);
    const AnimatedMarker* a = edge.from;
    const AnimatedMarker* b = edge.to;
    if (a && b && a->groupCount() == 0 && b->groupCount() == 0)
        return colouredMaterial({1.0f, 1.0f, 1.0f}, 0.1f, noShine, 0.0f);
    if (a && b && a->groupCount() == 1 && b->groupCount() == 1 && a->groups[0] == b->groups[0])
        return colouredMaterial(unit(rgbFromColourRef(a->groups[0]->colour)), 0.1f, noShine, 0.0f);
    return colouredMaterial({1.0f, 1.0f, 0.0f}, 0.1f, noShine, 0.0f);
}

void setupScene(SceneLighting lighting)
{
    glShadeModel(GL_SMOOTH);
    // Opaque black: the view is composed into the window, where a translucent clear would let
    // the page background through.
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    if (lighting == SceneLighting::Lit) {
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        const GLfloat position[] = {10.0f, 10.0f, 0.0f, 0.0f};  // directional
        const GLfloat white[] = {1.0f, 1.0f, 1.0f, 1.0f};
        glLightfv(GL_LIGHT0, GL_POSITION, position);
        glLightfv(GL_LIGHT0, GL_SPECULAR, white);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
        glLightfv(GL_LIGHT0, GL_AMBIENT, white);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
    } else {
        glDisable(GL_LIGHTING);
    }
}

void setProjection(int width, int height)
{
    if (height <= 0)
        height = 1;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(width) / height, static_cast<double>(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void placeCamera(float yawDegrees)
{
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.0f, -10.0f, -50.0f);
    glRotatef(yawDegrees, 0.0f, 1.0f, 0.0f);
}

void placeCameraAbove(float yawDegrees)
{
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslated(0.0, 0.0, -kCameraHeightAbove);
    glRotatef(90.0f, 1.0f, 0.0f, 0.0f);  // the scene's up towards the eye
    glRotatef(yawDegrees, 0.0f, 1.0f, 0.0f);
}

void drawFloorGrid(SceneLighting lighting)
{
    if (lighting == SceneLighting::Lit) {
        const GLfloat specular[] = {0, 0, 0, 0};
        const GLfloat diffuse[] = {0, 0, 0, 1};
        const GLfloat ambient[] = {0.2f, 0.2f, 0.2f, 1};
        const GLfloat emission[] = {0, 0, 0, 1};
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 2.0f);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
        glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emission);
    } else {
        glColor3f(0.2f, 0.2f, 0.2f);
    }
    glLineWidth(0.5f);
    glBegin(GL_LINES);
    for (int i = 0; i <= 40; i += 2) {
        const float x = static_cast<float>(i - 20);
        glVertex3f(20.0f, 0.0f, x);
        glVertex3f(-20.0f, 0.0f, x);
        glVertex3f(x, 0.0f, 20.0f);
        glVertex3f(x, 0.0f, -20.0f);
    }
    glEnd();
}

void drawMarkerSphere(const Vec3& position, bool selected, const std::optional<Rgb>& colour,
                      double radius, int patches, double contactTestHeight)
{
    resetEmission();
    applyMaterial(markerMaterial(selected, colour, contactTestHeight));
    glPushMatrix();
    glTranslated(position.x, position.y, position.z);
    GLUquadric* q = gluNewQuadric();
    gluSphere(q, radius, patches, patches);
    gluDeleteQuadric(q);
    glPopMatrix();
}

void drawMarkerSphere(const Vec3& position, bool selected, const std::optional<Rgb>& colour,
                      double radius, int patches)
{
    drawMarkerSphere(position, selected, colour, radius, patches, position.y);
}

void drawGroupMembers(const Group& group, double radius, int patches)
{
    const Rgb colour = group.selected ? Rgb{255, 0, 0} : rgbFromColourRef(group.colour);
    for (const AnimatedMarker* m : group.members) {
        if (!m || !m->inGroup)
            continue;
        if (const Marker* s = m->currentSample())
            drawMarkerSphere(s->position, m->selected, colour, radius, patches);
    }
}

void drawSkeletonEdge(const Edge& edge)
{
    if (!edge.from || !edge.to)
        return;
    const Marker* a = edge.from->currentSample();
    const Marker* b = edge.to->currentSample();
    if (!a || !b)
        return;
    applyMaterial(edgeMaterial(edge));
    // Lines are drawn unlit, in their colour: lit, they would take whatever normal the last
    // sphere left behind and darken as the view turns.
    const bool lit = glIsEnabled(GL_LIGHTING) == GL_TRUE;
    if (lit)
        glDisable(GL_LIGHTING);
    glLineWidth(3.0f);
    glBegin(GL_LINES);
    glVertex3d(a->position.x, a->position.y, a->position.z);
    glVertex3d(b->position.x, b->position.y, b->position.z);
    glEnd();
    if (lit)
        glEnable(GL_LIGHTING);
}

void drawGroupVectors(const Group& group)
{
    if (group.posesBuilt)
        return;  // once poses exist the arrows are no longer shown
    Material m;
    if (group.selected) {
        m = colouredMaterial({1.0f, 0.0f, 0.0f}, 0.3f, {1, 1, 1, 1}, 100.0f);
    } else {
        m = colouredMaterial(unit(rgbFromColourRef(group.colour)), 0.3f, {1, 1, 1, 1}, 100.0f);
    }
    applyMaterial(m);
    if (group.hasHeading())
        drawVector(group.headingStart.get(), group.headingEnd.get());
    if (group.hasUp())
        drawVector(group.upStart.get(), group.upEnd.get());
}

void drawSessionFrame(const MotionCaptureSession& session, const DisplayOptions& options,
                      double radius, int patches, int groupNumber)
{
    if (groupNumber != -1) {
        for (const auto& g : session.groups) {
            if (options.showAllGroups || g->groupNumber == groupNumber) {
                drawGroupMembers(*g, radius, patches);
                drawGroupVectors(*g);
            }
        }
        return;
    }
    if (options.showUngroupedMarkers) {
        for (const auto& m : session.markers) {
            if (m->inGroup)
                continue;
            if (const Marker* s = m->currentSample())
                drawMarkerSphere(s->position, m->selected, std::nullopt, radius, patches);
        }
    }
    if (options.showGroupedMarkers)
        for (const auto& g : session.groups)
            drawGroupMembers(*g, radius, patches);
    if (options.showSkeleton)
        for (const auto& e : session.edges)
            drawSkeletonEdge(*e);
    if (options.showHeadingVectors)
        for (const auto& g : session.groups)
            drawGroupVectors(*g);
}

} // namespace duolo
