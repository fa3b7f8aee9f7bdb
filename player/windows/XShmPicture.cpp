#include "player/XShmPicture.h"

// Windows has no X server: the picture is always painted through Qt.

bool XShmPicture::available() { return false; }
XShmPicture::XShmPicture() : connection_(nullptr) {}
XShmPicture::~XShmPicture() = default;
bool XShmPicture::resize(QSize) { return false; }
uchar* XShmPicture::bits() { return nullptr; }
QImage XShmPicture::image() const { return {}; }
void XShmPicture::put(WId) {}
void XShmPicture::fill(WId, QSize, QColor) {}
void XShmPicture::release() {}
