#include "platform/media/X11SharedImage.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cerrno>
#include <cstring>

#include "platform/base/Log.h"

namespace plat {
namespace {

Display* dpy(void* display) {
    return static_cast<Display*>(display);
}

// While a segment is being attached: the server's refusal of it (a server on another machine cannot map
// it) is caught here instead of ending the program in Xlib's default handler; every other error goes on
// to the handler that was set before.
int (*outerErrorHandler)(Display*, XErrorEvent*) = nullptr;
unsigned long attachSerial = 0;
bool attachRefused = false;

int attachErrors(Display* display, XErrorEvent* error) {
    if (error->serial >= attachSerial) {
        attachRefused = true;
        return 0;
    }
    return outerErrorHandler ? outerErrorHandler(display, error) : 0;
}

bool attachSegment(Display* display, XShmSegmentInfo* segment) {
    XSync(display, False);
    attachSerial = NextRequest(display);
    attachRefused = false;
    outerErrorHandler = XSetErrorHandler(&attachErrors);
    const bool sent = XShmAttach(display, segment);
    XSync(display, False);
    XSetErrorHandler(outerErrorHandler);
    outerErrorHandler = nullptr;
    return sent && !attachRefused;
}

}  // namespace

std::unique_ptr<X11SharedImage> X11SharedImage::create(void* xDisplay, unsigned long window) {
    Display* display = dpy(xDisplay);
    if (!display || !window || !XShmQueryExtension(display)) return nullptr;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes) || !attributes.visual) return nullptr;
    // The frame is read from GL as BGRA bytes: the server must take exactly those as its pixels.
    const Visual* visual = attributes.visual;
    if (visual->c_class != TrueColor || visual->red_mask != 0xFF0000 || visual->green_mask != 0xFF00 ||
        visual->blue_mask != 0xFF || ImageByteOrder(display) != LSBFirst ||
        (attributes.depth != 24 && attributes.depth != 32))
        return nullptr;
    std::unique_ptr<X11SharedImage> image(new X11SharedImage());
    image->display_ = display;
    image->window_ = window;
    image->visual_ = attributes.visual;
    image->depth_ = attributes.depth;
    // The screen's own GC where the window has the screen's depth: the display owns it, so nothing is left
    // behind when the window or the connection goes and no request may be made to free it.
    const int screen = XScreenNumberOfScreen(attributes.screen);
    if (attributes.depth == DefaultDepth(display, screen)) {
        image->gc_ = DefaultGC(display, screen);
    } else {
        image->gc_ = XCreateGC(display, window, 0, nullptr);
        image->ownGC_ = true;
    }
    if (!image->gc_ || !image->resize(attributes.width, attributes.height)) return nullptr;
    return image;
}

X11SharedImage::~X11SharedImage() {
    release();
    if (ownGC_ && gc_ && !abandoned_) XFreeGC(dpy(display_), static_cast<GC>(gc_));
}

void X11SharedImage::release() {
    auto* segment = static_cast<XShmSegmentInfo*>(segment_);
    auto* image = static_cast<XImage*>(image_);
    if (segment) {
        if (!abandoned_ && segment->shmseg) {
            XShmDetach(dpy(display_), segment);
            XFlush(dpy(display_));
        }
        if (segment->shmaddr) shmdt(segment->shmaddr);
        delete segment;
    }
    if (image) {
        image->data = nullptr;  // the segment's memory, unmapped above
        XDestroyImage(image);
    }
    segment_ = image_ = nullptr;
    pixels_ = nullptr;
    width_ = height_ = 0;
    stride_ = 0;
}

bool X11SharedImage::resize(int width, int height) {
    if (width == width_ && height == height_ && pixels_) return true;
    release();
    if (abandoned_) return false;
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
        logError("X11SharedImage: bad picture size %dx%d", width, height);
        return false;
    }
    Display* display = dpy(display_);
    auto* segment = new XShmSegmentInfo{};
    segment_ = segment;
    segment->shmid = -1;
    XImage* image =
        XShmCreateImage(display, static_cast<Visual*>(visual_), static_cast<unsigned>(depth_), ZPixmap,
                        nullptr, segment, static_cast<unsigned>(width), static_cast<unsigned>(height));
    image_ = image;
    if (!image || image->bits_per_pixel != 32 || image->bytes_per_line < width * 4) {
        logError("X11SharedImage: the server's %dx%d image is not of 32-bit pixels", width, height);
        release();
        return false;
    }
    const size_t bytes = static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(height);
    segment->shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (segment->shmid < 0) {
        logError("X11SharedImage: no shared segment of %zu bytes (%s)", bytes, std::strerror(errno));
        release();
        return false;
    }
    void* address = shmat(segment->shmid, nullptr, 0);
    // Marked for removal at once: the system lets the server still map it, and it goes with the last
    // mapping, however this program ends.
    shmctl(segment->shmid, IPC_RMID, nullptr);
    if (address == reinterpret_cast<void*>(-1)) {
        logError("X11SharedImage: cannot map the shared segment (%s)", std::strerror(errno));
        release();
        return false;
    }
    segment->shmaddr = static_cast<char*>(address);
    segment->readOnly = True;
    image->data = segment->shmaddr;
    if (!attachSegment(display, segment)) {
        segment->shmseg = 0;  // never attached: nothing to detach
        release();
        return false;
    }
    pixels_ = reinterpret_cast<uint8_t*>(segment->shmaddr);
    width_ = width;
    height_ = height;
    stride_ = static_cast<size_t>(image->bytes_per_line);
    return true;
}

bool X11SharedImage::put(int* windowWidth, int* windowHeight) {
    if (abandoned_ || !pixels_) return false;
    XShmPutImage(dpy(display_), window_, static_cast<GC>(gc_), static_cast<XImage*>(image_), 0, 0, 0, 0,
                 static_cast<unsigned>(width_), static_cast<unsigned>(height_), False);
    // The server answers requests in order: once the size's answer is read, the picture has been copied.
    return windowSize(windowWidth, windowHeight);
}

bool X11SharedImage::windowSize(int* width, int* height) {
    if (abandoned_) return false;
    Window root = 0;
    int x = 0, y = 0;
    unsigned w = 0, h = 0, border = 0, depth = 0;
    if (!XGetGeometry(dpy(display_), window_, &root, &x, &y, &w, &h, &border, &depth)) return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

}  // namespace plat
