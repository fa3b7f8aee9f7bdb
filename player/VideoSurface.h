#pragma once

#include <QImage>
#include <QWidget>

#include <memory>

struct mpv_render_context;
class Engine;
class GlPicture;
class XShmPicture;

// The picture. The engine draws it in software, or through OpenGL into a child
// QOpenGLWidget. Software is the cheap way wherever OpenGL itself is a
// software rasterizer (no GPU, Xvfb), since it spares both the GL pipeline
// and Qt's GL composition of the window. On X the software frame goes
// straight to the server through shared memory; elsewhere it is an image
// that Qt paints.
// Until a clip's video is up (and after it ends) it shows the window's own
// background instead of a black box.
class VideoSurface : public QWidget {
    Q_OBJECT
public:
    // Automatic: OpenGL where a GPU draws, else shared memory where X offers it, else an image.
    enum class Drawing { Automatic, Image, OpenGL };

    VideoSurface(Engine& engine, Drawing drawing, QWidget* parent);
    ~VideoSurface() override;

    // Call before the QApplication exists.
    static void prepareApplication();
    // Whether the system has a GPU's device node: one may be there to draw
    // and decode with; whether its OpenGL is hardware is asked only then.
    static bool hasGpuDevice();
    bool drawsWithOpenGL() const { return gl_ != nullptr; }
    bool drawsThroughX() const { return shm_ != nullptr; }
    bool isReady() const;
    void setShowsVideo(bool shows);

    // The engine has a new frame, or wants a redraw; posted from its thread.
    void onEngineUpdate();
    // Also the way out when OpenGL cannot give the engine a render context.
    void drawInSoftware();
    QPaintEngine* paintEngine() const override;

signals:
    // The engine can draw: files may now be handed to it.
    void ready();
    // A click in the numbers of the component's Click (Player's constants).
    void clicked(short button, short shiftState, QPointF at);
    // A key the picture takes: a digit, Enter or Backspace (Qt::Key).
    void keyTyped(int key);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void renderFrame();
    QSize pixelSize() const;

    Engine& engine_;
    mpv_render_context* render_ = nullptr;  // software drawing only
    GlPicture* gl_ = nullptr;               // OpenGL drawing only
    std::unique_ptr<uchar, void (*)(void*)> pixels_{nullptr, nullptr};
    QImage frame_;
    bool drawn_ = false;  // the last frame rendered is whole
    std::unique_ptr<XShmPicture> shm_;  // software drawing on X only
    bool allowX_ = true;
    bool showsVideo_ = false;
};
