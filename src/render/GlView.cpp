#include "render/GlView.h"

#include "capture/MessageSink.h"

#include <QCoreApplication>
#include <QOpenGLContext>

#include <GL/gl.h>

namespace duolo {

GlView::GlView(SceneLighting lighting, SceneFunction drawScene, QWidget* parent)
    : QOpenGLWidget(parent), lighting_(lighting), drawScene_(std::move(drawScene))
{
    setFormat(surfaceFormat());
    setMinimumSize(64, 64);
}

GlView::~GlView() = default;

QSurfaceFormat GlView::surfaceFormat()
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(8);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    return format;
}

void GlView::renderFrame()
{
    turn();
    update();
}

void GlView::initializeGL()
{
    if (!context() || !context()->isValid()) {
        failed_ = true;
        reportNoOpenGl();
        return;
    }
    setupScene(lighting_);
}

void GlView::resizeGL(int width, int height)
{
    if (failed_)
        return;
    const qreal ratio = devicePixelRatioF();
    setProjection(static_cast<int>(width * ratio), static_cast<int>(height * ratio));
}

void GlView::paintGL()
{
    if (failed_)
        return;
    ++paintCount_;
    // Qt may touch state between passes: restore what the scene relies on.
    setupScene(lighting_);
    const qreal ratio = devicePixelRatioF();
    setProjection(static_cast<int>(width() * ratio), static_cast<int>(height() * ratio));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (fromAbove_)
        placeCameraAbove(viewYaw_);
    else
        placeCamera(viewYaw_);
    drawFloorGrid(lighting_);
    if (lighting_ == SceneLighting::Unlit)
        glColor3f(1.0f, 1.0f, 1.0f);
    if (drawScene_)
        drawScene_();
}

bool GlView::isOpenGlAvailable()
{
    static const bool available = [] {
        QOpenGLContext probe;
        probe.setFormat(surfaceFormat());
        return probe.create();
    }();
    return available;
}

void GlView::prepareWindow(QWidget* window)
{
    if (!window || !isOpenGlAvailable())
        return;
    // Never shown, so it never creates a context of its own; being a child is what counts.
    auto* anchor = new QOpenGLWidget(window);
    anchor->setObjectName(QStringLiteral("openGlWindowAnchor"));
    anchor->setFormat(surfaceFormat());
    anchor->setFixedSize(1, 1);
    anchor->hide();
}

void GlView::reportNoOpenGl()
{
    static bool reported = false;
    if (reported)
        return;
    reported = true;
    // Not from inside a paint handler: the message may open a modal box.
    QMetaObject::invokeMethod(qApp, [] {
        showMessage("Could not create an OpenGL context: the 3D views stay empty, every other control "
                "keeps working.");
    }, Qt::QueuedConnection);
}

} // namespace duolo
