#include "player/VideoSurface.h"

#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <mpv/client.h>
#include <mpv/render_gl.h>

static void* procAddress(void*, const char* name)
{
    QOpenGLContext* context = QOpenGLContext::currentContext();
    return context ? reinterpret_cast<void*>(context->getProcAddress(name)) : nullptr;
}

VideoSurface::VideoSurface(mpv_handle* mpv, QWidget* parent)
    : QOpenGLWidget(parent), mpv_(mpv)
{
    // Every right click must reach us as a click, never as a context menu.
    setContextMenuPolicy(Qt::PreventContextMenu);
}

VideoSurface::~VideoSurface()
{
    // ~QOpenGLWidget fires aboutToBeDestroyed again, after our members are gone.
    if (context())
        disconnect(context(), nullptr, this, nullptr);
    makeCurrent();
    freeRender();
    doneCurrent();
}

void VideoSurface::setShowsVideo(bool shows)
{
    if (shows != showsVideo_) {
        showsVideo_ = shows;
        update();
    }
}

void VideoSurface::initializeGL()
{
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
        makeCurrent();
        freeRender();
        doneCurrent();
    });
    if (render_)
        return;
    // No advanced control: with it the engine may wait on this (GUI) thread
    // while the GUI thread waits on the engine in a property call.
    mpv_opengl_init_params gl{procAddress, nullptr};
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_OPENGL)},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &gl},
        {MPV_RENDER_PARAM_INVALID, nullptr}};
    if (mpv_render_context_create(&render_, mpv_, params) < 0) {
        render_ = nullptr;
        return;
    }
    // Called on an engine thread: only post to ours.
    mpv_render_context_set_update_callback(render_, [](void* self) {
        QMetaObject::invokeMethod(static_cast<VideoSurface*>(self), "onEngineUpdate", Qt::QueuedConnection);
    }, this);
    emit ready();
}

void VideoSurface::onEngineUpdate()
{
    if (render_ && (mpv_render_context_update(render_) & MPV_RENDER_UPDATE_FRAME))
        update();
}

void VideoSurface::paintGL()
{
    if (!render_ || !showsVideo_) {
        const QColor background = palette().color(QPalette::Window);
        QOpenGLFunctions* gl = context()->functions();
        gl->glClearColor(background.redF(), background.greenF(), background.blueF(), 1.0f);
        gl->glClear(GL_COLOR_BUFFER_BIT);
        if (render_)  // let the engine go on timing frames it does not show
            mpv_render_context_update(render_);
        return;
    }
    const qreal ratio = devicePixelRatioF();
    mpv_opengl_fbo fbo{static_cast<int>(defaultFramebufferObject()), int(width() * ratio), int(height() * ratio), 0};
    int flipY = 1;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
        {MPV_RENDER_PARAM_FLIP_Y, &flipY},
        {MPV_RENDER_PARAM_INVALID, nullptr}};
    mpv_render_context_render(render_, params);
}

void VideoSurface::mouseReleaseEvent(QMouseEvent* event)
{
    if (rect().contains(event->position().toPoint()))
        emit clicked(event->button(), event->modifiers(), event->position());
}

void VideoSurface::freeRender()
{
    if (render_) {
        mpv_render_context_free(render_);
        render_ = nullptr;
    }
}
