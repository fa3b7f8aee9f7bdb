#include "player/VideoSurface.h"

#include "player/Engine.h"
#include "player/Player.h"
#include "player/XShmPicture.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLWidget>
#include <QPainter>
#include <QVBoxLayout>

#include <mpv/client.h>
#include <mpv/render_gl.h>


// --- OpenGL --------------------------------------------------------------

static void* procAddress(void*, const char* name)
{
    QOpenGLContext* context = QOpenGLContext::currentContext();
    return context ? reinterpret_cast<void*>(context->getProcAddress(name)) : nullptr;
}

// A render context whose frames are announced to `surface`, or null.
static mpv_render_context* createRender(Engine& engine, mpv_render_param* params, VideoSurface* surface)
{
    mpv_render_context* render = engine.createRender(params);
    if (!render)
        return nullptr;
    // Called on an engine thread: only post to ours.
    mpv_render_context_set_update_callback(render, [](void* self) {
        auto* surface = static_cast<VideoSurface*>(self);
        QMetaObject::invokeMethod(surface, &VideoSurface::onEngineUpdate, Qt::QueuedConnection);
    }, surface);
    return render;
}

// Stops the frame announcements first: once that returns, the engine no
// longer calls back into a widget that is going away.
static void freeRender(mpv_render_context*& render)
{
    if (!render)
        return;
    mpv_render_context_set_update_callback(render, nullptr, nullptr);
    mpv_render_context_free(render);
    render = nullptr;
}

// Takes a frame that is not to be shown. The engine waits for its first
// frame to be drawn, up to 200 ms, before it tells that the video is up.
static void skipFrame(mpv_render_context* render)
{
    int skip = 1;
    mpv_render_param params[] = {{MPV_RENDER_PARAM_SKIP_RENDERING, &skip}, {MPV_RENDER_PARAM_INVALID, nullptr}};
    mpv_render_context_render(render, params);
}

// The engine's OpenGL render API in a QOpenGLWidget. It lets mouse events
// through to the surface, which reports the clicks.
class GlPicture : public QOpenGLWidget {
public:
    GlPicture(Engine& engine, VideoSurface* surface)
        : QOpenGLWidget(surface), engine_(engine), surface_(surface)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    ~GlPicture() override
    {
        // ~QOpenGLWidget fires aboutToBeDestroyed again, after our members are gone.
        if (context())
            disconnect(context(), nullptr, this, nullptr);
        makeCurrent();
        freeRender(render_);
        doneCurrent();
    }

    bool isReady() const { return render_ != nullptr; }
    bool showsVideo = false;

    void onEngineUpdate()
    {
        if (!render_)
            return;
        const bool shown = isVisible() && window()->windowHandle() && window()->windowHandle()->isExposed();
        makeCurrent();
        const bool frame = mpv_render_context_update(render_) & MPV_RENDER_UPDATE_FRAME;
        // Qt paints nothing in a hidden or minimised window, and the engine
        // would wait on each frame for its drawing: it is taken here, unseen.
        if (frame && !shown)
            skipFrame(render_);
        doneCurrent();
        if (frame && shown)
            update();
    }

protected:
    void initializeGL() override
    {
        connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
            makeCurrent();
            freeRender(render_);
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
        render_ = createRender(engine_, params, surface_);
        if (render_)
            emit surface_->ready();
        else  // not from inside this widget's own set-up
            QMetaObject::invokeMethod(surface_, &VideoSurface::drawInSoftware, Qt::QueuedConnection);
    }

    void paintGL() override
    {
        if (!render_ || !showsVideo) {
            const QColor background = palette().color(QPalette::Window);
            QOpenGLFunctions* gl = context()->functions();
            gl->glClearColor(background.redF(), background.greenF(), background.blueF(), 1.0f);
            gl->glClear(GL_COLOR_BUFFER_BIT);
            if (render_)
                skipFrame(render_);
            return;
        }
        const qreal ratio = devicePixelRatioF();
        mpv_opengl_fbo fbo{static_cast<int>(defaultFramebufferObject()), int(width() * ratio), int(height() * ratio), 0};
        int flipY = 1;
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
            {MPV_RENDER_PARAM_FLIP_Y, &flipY},
            {MPV_RENDER_PARAM_INVALID, nullptr}};
        // The engine expects GL's defaults where Qt may have left its own.
        QOpenGLExtraFunctions* gl = context()->extraFunctions();
        gl->glBindVertexArray(0);
        gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
        gl->glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
        gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        for (const GLenum test : {GL_SCISSOR_TEST, GL_BLEND, GL_DEPTH_TEST, GL_STENCIL_TEST, GL_CULL_FACE})
            gl->glDisable(test);
        if (mpv_render_context_render(render_, params) < 0) {
            gl->glClearColor(0, 0, 0, 1);  // rather than whatever the buffer held
            gl->glClear(GL_COLOR_BUFFER_BIT);
        }
    }

private:
    Engine& engine_;
    VideoSurface* surface_;
    mpv_render_context* render_ = nullptr;
};

// --- choosing the way ------------------------------------------------------

bool VideoSurface::hasGpuDevice()
{
    static const bool has = !QDir(QStringLiteral("/dev/dri")).entryList({QStringLiteral("renderD*")}, QDir::System).isEmpty()
        || QFile::exists(QStringLiteral("/dev/nvidiactl"));
    return has;
}

void VideoSurface::prepareApplication()
{
    // With a GPU the picture may be drawn with OpenGL, and it moves between
    // the window and the full screen: shared contexts keep its GL resources
    // on the way. Without one, this would only load a GL for nothing.
    if (hasGpuDevice())
        QGuiApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

// Only asked where a GPU exists: creating a context costs start-up time.
static bool openGlIsHardware()
{
    QOpenGLContext context;
    QOffscreenSurface surface;
    surface.create();
    if (!context.create() || !context.makeCurrent(&surface))
        return false;
    const QByteArray renderer = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    context.doneCurrent();
    for (const char* software : {"llvmpipe", "softpipe", "Software Rasterizer", "SWR"})
        if (renderer.contains(software))
            return false;
    return !renderer.isEmpty();
}

VideoSurface::VideoSurface(Engine& engine, Drawing drawing, QWidget* parent)
    : QWidget(parent), engine_(engine)
{
    // Every right click must reach us as a click, never as a context menu.
    setContextMenuPolicy(Qt::PreventContextMenu);
    // The keys a Video CD's menu takes are typed on the picture.
    setFocusPolicy(Qt::StrongFocus);
    allowX_ = drawing != Drawing::Image;
    static const bool hardware = hasGpuDevice() && openGlIsHardware();
    if (drawing == Drawing::OpenGL || (drawing == Drawing::Automatic && hardware)) {
        gl_ = new GlPicture(engine, this);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(gl_);
        return;
    }
    drawInSoftware();
}

VideoSurface::~VideoSurface()
{
    // The OpenGL picture frees its render context with its GL context
    // current, and before this widget is half gone.
    delete gl_;
    freeRender(render_);
}

void VideoSurface::drawInSoftware()
{
    if (gl_) {
        gl_->hide();
        gl_->deleteLater();
        gl_ = nullptr;
        allowX_ = false;  // the window is Qt's OpenGL window now
    }
    // We paint every pixel ourselves.
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (allowX_ && XShmPicture::available()) {
        // An X window of our own that Qt never paints.
        shm_ = std::make_unique<XShmPicture>();
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
    }
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
        {MPV_RENDER_PARAM_INVALID, nullptr}};
    render_ = createRender(engine_, params, this);
    if (render_)
        emit ready();
}

bool VideoSurface::isReady() const
{
    return gl_ ? gl_->isReady() : render_ != nullptr;
}

void VideoSurface::setShowsVideo(bool shows)
{
    if (shows == showsVideo_)
        return;
    showsVideo_ = shows;
    if (gl_) {
        gl_->showsVideo = shows;
        gl_->update();
    } else {
        renderFrame();
    }
}

// --- software --------------------------------------------------------------

void VideoSurface::onEngineUpdate()
{
    if (gl_)
        gl_->onEngineUpdate();
    else if (render_ && (mpv_render_context_update(render_) & MPV_RENDER_UPDATE_FRAME))
        renderFrame();
}

void VideoSurface::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!gl_)
        renderFrame();  // a paused picture must fill its new size too
}

QSize VideoSurface::pixelSize() const
{
    return (QSizeF(size()) * devicePixelRatioF()).toSize();
}

void VideoSurface::renderFrame()
{
    if (!render_ || !showsVideo_) {
        if (render_)
            skipFrame(render_);
        update();
        return;
    }
    const QSize size = pixelSize();
    if (size.isEmpty())
        return;
    if (shm_ && !shm_->resize(size)) {
        // The server refused the memory: Qt paints from now on.
        shm_.reset();
        setAttribute(Qt::WA_PaintOnScreen, false);
    }
    if (!shm_ && frame_.size() != size) {
        // Rows aligned to 64 bytes keep the engine's scaler on its fast path.
        const qsizetype stride = (size.width() * 4 + 63) / 64 * 64;
        pixels_ = {static_cast<uchar*>(qMallocAligned(size_t(stride * size.height()), 64)), qFreeAligned};
        frame_ = pixels_ ? QImage(pixels_.get(), size.width(), size.height(), stride, QImage::Format_RGB32) : QImage();
        frame_.setDevicePixelRatio(devicePixelRatioF());
        if (!pixels_) {  // no memory for a frame: the background shows
            update();
            return;
        }
    }
    int wh[2] = {size.width(), size.height()};
    size_t stride = shm_ ? shm_->stride() : frame_.bytesPerLine();
    // B, G, R, X in memory, as X and Format_RGB32 want it on this little-endian machine.
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SW_SIZE, wh},
        {MPV_RENDER_PARAM_SW_FORMAT, const_cast<char*>("bgr0")},
        {MPV_RENDER_PARAM_SW_STRIDE, &stride},
        {MPV_RENDER_PARAM_SW_POINTER, shm_ ? shm_->bits() : pixels_.get()},
        {MPV_RENDER_PARAM_INVALID, nullptr}};
    // A frame the engine failed to draw is not shown: the background is.
    drawn_ = mpv_render_context_render(render_, params) >= 0;
    if (shm_ && drawn_) {
        shm_->put(internalWinId());
        return;
    }
    // The engine leaves the fourth byte undefined, but RGB32 means it is 0xff:
    // Qt copies it into a Wayland window's buffer as its alpha, and the
    // compositor would take the picture for transparent. X ignores it.
    static const bool alphaShows = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    for (int y = 0; drawn_ && alphaShows && y < size.height(); ++y) {
        auto* row = reinterpret_cast<quint32*>(pixels_.get() + y * stride);
        for (int x = 0; x < size.width(); ++x)
            row[x] |= 0xff000000u;
    }
    update();
}

QPaintEngine* VideoSurface::paintEngine() const
{
    return shm_ ? nullptr : QWidget::paintEngine();
}

void VideoSurface::paintEvent(QPaintEvent*)
{
    if (gl_)
        return;
    const bool hasFrame = showsVideo_ && drawn_ && (shm_ ? shm_->size() : frame_.size()) == pixelSize();
    // A grab of the widget still paints through Qt.
    if (shm_ && !redirected(nullptr)) {
        if (hasFrame)
            shm_->put(internalWinId());
        else
            shm_->fill(internalWinId(), pixelSize(), palette().color(QPalette::Window));
        return;
    }
    QPainter painter(this);
    if (hasFrame)
        painter.drawImage(rect(), shm_ ? shm_->image() : frame_);
    else
        painter.fillRect(rect(), palette().color(QPalette::Window));
}

void VideoSurface::mouseReleaseEvent(QMouseEvent* event)
{
    short button = 0;
    switch (event->button()) {
    case Qt::LeftButton: button = Player::kLeftButton; break;
    case Qt::RightButton: button = Player::kRightButton; break;
    case Qt::MiddleButton: button = Player::kMiddleButton; break;
    default: return;
    }
    const Qt::KeyboardModifiers keys = event->modifiers();
    const short shiftState = (keys & Qt::ShiftModifier ? Player::kShift : 0) | (keys & Qt::ControlModifier ? Player::kCtrl : 0)
        | (keys & Qt::AltModifier ? Player::kAlt : 0);
    if (rect().contains(event->position().toPoint()))
        emit clicked(button, shiftState, event->position());
}

void VideoSurface::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Backspace)
        return emit keyTyped(key);
    // Esc and the rest go on to the window that holds the picture.
    QWidget::keyPressEvent(event);
}
