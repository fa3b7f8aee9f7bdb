#include "player/XShmPicture.h"

#include "player/X11.h"

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

static xcb_screen_t* firstScreen(xcb_connection_t* c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data;
}

bool XShmPicture::available()
{
    static const bool usable = [] {
        xcb_connection_t* c = x11Connection();
        if (!c)
            return false;
        const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
        if (!shm || !shm->present)
            return false;
        // Version 1.2 passes the memory as a file descriptor.
        xcb_shm_query_version_reply_t* version = xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr);
        const bool fds = version && (version->major_version > 1 || version->minor_version >= 2);
        free(version);
        bool pixels32 = false;
        for (auto f = xcb_setup_pixmap_formats_iterator(xcb_get_setup(c)); f.rem; xcb_format_next(&f))
            pixels32 |= f.data->depth == 24 && f.data->bits_per_pixel == 32;
        return fds && pixels32 && firstScreen(c)->root_depth == 24;
    }();
    return usable;
}

XShmPicture::XShmPicture() : connection_(x11Connection())
{
    gc_ = xcb_generate_id(connection_);
    const uint32_t noExposures = 0;
    xcb_create_gc(connection_, gc_, firstScreen(connection_)->root, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
}

XShmPicture::~XShmPicture()
{
    release();
    xcb_free_gc(connection_, gc_);
    xcb_flush(connection_);
}

void XShmPicture::release()
{
    if (fence_)
        xcb_discard_reply(connection_, fence_);
    fence_ = 0;
    if (segment_)
        xcb_shm_detach(connection_, segment_);
    if (pixels_)
        munmap(pixels_, bytes_);
    segment_ = 0;
    pixels_ = nullptr;
    size_ = {};
}

bool XShmPicture::resize(QSize size)
{
    if (size == size_)
        return true;
    release();
    if (size.isEmpty())
        return false;
    stride_ = (size.width() * 4 + 63) / 64 * 64;
    bytes_ = stride_ * size.height();
    const int fd = memfd_create("tembrio-picture", MFD_CLOEXEC);
    if (fd < 0)
        return false;
    void* memory = ftruncate(fd, bytes_) == 0 ? mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
    if (memory == MAP_FAILED) {
        close(fd);
        return false;
    }
    pixels_ = static_cast<uchar*>(memory);
    segment_ = xcb_generate_id(connection_);
    // xcb sends the descriptor and closes it. Asked once per size.
    xcb_generic_error_t* error = xcb_request_check(connection_, xcb_shm_attach_fd_checked(connection_, segment_, fd, 0));
    if (error) {
        free(error);
        segment_ = 0;
        release();
        return false;
    }
    size_ = size;
    return true;
}

uchar* XShmPicture::bits()
{
    // Only ever waits if the server is a frame behind.
    if (fence_)
        free(xcb_get_input_focus_reply(connection_, {fence_}, nullptr));
    fence_ = 0;
    return pixels_;
}

QImage XShmPicture::image() const
{
    return pixels_ ? QImage(pixels_, size_.width(), size_.height(), stride_, QImage::Format_RGB32) : QImage();
}

void XShmPicture::put(WId window)
{
    if (!window || !pixels_)
        return;
    xcb_shm_put_image(connection_, window, gc_, stride_ / 4, size_.height(), 0, 0, size_.width(), size_.height(), 0, 0,
                      24, XCB_IMAGE_FORMAT_Z_PIXMAP, 0, segment_, 0);
    if (fence_)
        xcb_discard_reply(connection_, fence_);
    fence_ = xcb_get_input_focus(connection_).sequence;
    xcb_flush(connection_);
}

void XShmPicture::fill(WId window, QSize size, QColor colour)
{
    if (!window)
        return;
    const uint32_t pixel = colour.rgb() & 0xffffff;
    xcb_change_gc(connection_, gc_, XCB_GC_FOREGROUND, &pixel);
    const xcb_rectangle_t all{0, 0, uint16_t(size.width()), uint16_t(size.height())};
    xcb_poly_fill_rectangle(connection_, window, gc_, 1, &all);
    xcb_flush(connection_);
}
