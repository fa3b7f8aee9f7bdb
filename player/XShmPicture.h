#pragma once

#include <QColor>
#include <QImage>
#include <QWindow>

#include <cstdint>

struct xcb_connection_t;

// A frame in memory that the X server reads directly (MIT-SHM 1.2), put
// onto a window with no copy on our side: the engine draws into it and the
// server takes it from there. Without it every frame was copied once more
// into Qt's backing store and went through Qt's repaint.
class XShmPicture {
public:
    // Whether the display offers it: X11, MIT-SHM 1.2, 32-bit pixels at depth 24.
    static bool available();

    XShmPicture();
    ~XShmPicture();
    XShmPicture(const XShmPicture&) = delete;
    XShmPicture& operator=(const XShmPicture&) = delete;

    // Rows aligned to 64 bytes, B, G, R, X. False if the server refused it.
    bool resize(QSize size);
    QSize size() const { return size_; }
    uchar* bits();
    qsizetype stride() const { return stride_; }
    // The same pixels, for painting through Qt (a window grab).
    QImage image() const;

    void put(WId window);
    void fill(WId window, QSize size, QColor colour);

private:
    void release();

    xcb_connection_t* connection_;
    uint32_t gc_ = 0;
    uint32_t segment_ = 0;
    uchar* pixels_ = nullptr;
    qsizetype bytes_ = 0;
    qsizetype stride_ = 0;
    QSize size_;
    // The server may still be reading the last frame until this reply.
    unsigned int fence_ = 0;
};
