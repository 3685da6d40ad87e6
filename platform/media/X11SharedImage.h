#pragma once
// A window's picture shared with the X server in a memory segment both map, so a frame reaches the server
// without going through the connection's socket. Only for a server on this machine that offers shared
// memory and a window of 32-bit pixels with the red, green and blue bytes of BGRA memory; anything else
// gets no shared image, and its frames go through the socket as before.
//
// The segment is marked for removal as soon as this process has mapped it, so it never outlives the
// program however it ends: the server's mapping keeps it alive until the server lets go of the client.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace plat {

class X11SharedImage {
  public:
    // Null when the window's server cannot share memory with this process; logs nothing, as that is an
    // ordinary case (a remote display, a server without the extension). `xDisplay` is the Xlib Display*
    // the window belongs to; the image takes no ownership of it or the window.
    static std::unique_ptr<X11SharedImage> create(void* xDisplay, unsigned long window);
    ~X11SharedImage();
    X11SharedImage(const X11SharedImage&) = delete;
    X11SharedImage& operator=(const X11SharedImage&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    size_t stride() const { return stride_; }
    // Row 0 is the top row; stride() bytes apart. Writable until put() and again after it returns.
    uint8_t* pixels() { return pixels_; }

    // A segment for a picture of the given size (kept when the size is the same); false with a log line
    // when none can be made, and then there is no picture until a later resize succeeds.
    bool resize(int width, int height);
    // Puts the picture in the window's top left corner and waits until the server has copied it, so the
    // memory can be written again; `windowWidth`/`windowHeight` get the window's size as the server had
    // it then. False when the window or the connection is gone.
    bool put(int* windowWidth, int* windowHeight);
    // The window's size now (one round trip); false when the window or the connection is gone.
    bool windowSize(int* width, int* height);
    // For a window or connection that is gone: no X request is made again; the memory is still unmapped.
    void abandon() { abandoned_ = true; }

  private:
    X11SharedImage() = default;
    void release();

    void* display_ = nullptr;
    unsigned long window_ = 0;
    void* gc_ = nullptr;
    bool ownGC_ = false;  // made for a window of another depth than the screen's, freed with the image
    void* visual_ = nullptr;
    int depth_ = 0;
    void* image_ = nullptr;    // the XImage describing the segment
    void* segment_ = nullptr;  // the XShmSegmentInfo the server knows
    uint8_t* pixels_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    size_t stride_ = 0;
    bool abandoned_ = false;
};

}  // namespace plat
