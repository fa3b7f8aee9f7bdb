#pragma once

#include <QOpenGLWidget>

struct mpv_handle;
struct mpv_render_context;

// The picture: the engine renders into this widget through its OpenGL render
// API. Until a clip's video is up (and after it ends) it shows the window's
// own background instead of a black box.
class VideoSurface : public QOpenGLWidget {
    Q_OBJECT
public:
    VideoSurface(mpv_handle* mpv, QWidget* parent);
    ~VideoSurface() override;

    bool isReady() const { return render_ != nullptr; }
    void setShowsVideo(bool shows);

signals:
    // The render context exists: files may now be handed to the engine.
    void ready();
    void clicked(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF at);

protected:
    void initializeGL() override;
    void paintGL() override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void freeRender();
    Q_INVOKABLE void onEngineUpdate();

    mpv_handle* mpv_;
    mpv_render_context* render_ = nullptr;
    bool showsVideo_ = false;
};
