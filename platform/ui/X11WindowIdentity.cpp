#include "platform/ui/X11WindowIdentity.h"

#include <errno.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/base/Log.h"
#include "platform/media/ImageCodec.h"
#include "platform/storage/FileManager.h"
#include "platform/ui/X11Window.h"

// Last: Xlib's macros clash with other headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// Xlib's name for its results' type would hide FileManager's.
#undef Status

namespace plat {

namespace {

// A window manager scales icons down, never up by much: beyond this a picture is not meant as an icon.
constexpr uint32_t kMaxIconSide = 512;
// What one icon file may weigh before it is read.
constexpr uint64_t kMaxIconFileBytes = 4u << 20;

Display* dpy(void* display) {
    return static_cast<Display*>(display);
}

Atom atom(Display* display, const char* name) {
    return XInternAtom(display, name, False);
}

void setUtf8(Display* display, Window window, const char* property, const std::string& value) {
    XChangeProperty(display, window, atom(display, property), atom(display, "UTF8_STRING"), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(value.data()),
                    static_cast<int>(value.size()));
}

// Without a name of its own the window takes the program's: its file's name as started.
std::string programName() {
    const char* name = program_invocation_short_name;
    return name && *name ? name : "app";
}

}  // namespace

void X11WindowIdentity::apply(void* displayHandle, unsigned long window, const X11WindowOptions& options) {
    Display* display = dpy(displayHandle);
    std::string instance = options.instanceName.empty() ? programName() : options.instanceName;
    std::string className = options.className;
    if (className.empty()) {
        className = instance;
        className[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(className[0])));
    }

    // WM_NAME and WM_ICON_NAME in the encoding the locale allows, the UTF-8 title beside them for the
    // window managers that read it; WM_CLIENT_MACHINE comes with them.
    XClassHint classHint{instance.data(), className.data()};
    XWMHints wmHints{};
    wmHints.flags = InputHint | StateHint;
    wmHints.input = True;
    wmHints.initial_state = NormalState;
    const std::string title = options.title.empty() ? programName() : options.title;
    Xutf8SetWMProperties(display, window, title.c_str(), title.c_str(), nullptr, 0, nullptr, &wmHints,
                         &classHint);
    setUtf8(display, window, "_NET_WM_NAME", title);
    setUtf8(display, window, "_NET_WM_ICON_NAME", title);

    // The host that runs the process whose id is given: a window manager asked to end a hung window may
    // then kill that process.
    char host[HOST_NAME_MAX + 1] = "";
    if (gethostname(host, sizeof host) == 0) {
        host[HOST_NAME_MAX] = '\0';
        XTextProperty text{};
        char* list[] = {host};
        if (XStringListToTextProperty(list, 1, &text)) {
            XSetWMClientMachine(display, window, &text);
            XFree(text.value);
        }
        const long pid = getpid();
        XChangeProperty(display, window, atom(display, "_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&pid), 1);
    }

    const std::vector<unsigned long> icons = iconProperty(options.iconFiles);
    if (!icons.empty())
        XChangeProperty(display, window, atom(display, "_NET_WM_ICON"), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(icons.data()), static_cast<int>(icons.size()));

    if (!options.startupId.empty()) setUtf8(display, window, "_NET_STARTUP_ID", options.startupId);
}

unsigned long X11WindowIdentity::pingAtom(void* display) {
    return atom(dpy(display), "_NET_WM_PING");
}

bool X11WindowIdentity::answerPing(void* displayHandle, void* raw) {
    Display* display = dpy(displayHandle);
    XEvent& event = *static_cast<XEvent*>(raw);
    if (event.type != ClientMessage || event.xclient.format != 32 ||
        event.xclient.message_type != atom(display, "WM_PROTOCOLS") ||
        static_cast<Atom>(event.xclient.data.l[0]) != atom(display, "_NET_WM_PING"))
        return false;
    const Window root = DefaultRootWindow(display);
    XEvent reply = event;
    reply.xclient.window = root;
    XSendEvent(display, root, False, SubstructureNotifyMask | SubstructureRedirectMask, &reply);
    XFlush(display);
    return true;
}

std::string X11WindowIdentity::removeMessage(const std::string& id) {
    // A value with a space, a quote or a backslash is quoted, those two escaped with a backslash.
    const bool quote = id.empty() || id.find_first_of(" \"\\") != std::string::npos;
    std::string value;
    for (char c : id) {
        if (quote && (c == '"' || c == '\\')) value.push_back('\\');
        value.push_back(c);
    }
    return "remove: ID=" + (quote ? "\"" + value + "\"" : value);
}

void X11WindowIdentity::endStartup(void* displayHandle, unsigned long window, const std::string& id) {
    Display* display = dpy(displayHandle);
    const Window root = DefaultRootWindow(display);
    const Atom begin = atom(display, "_NET_STARTUP_INFO_BEGIN");
    const Atom more = atom(display, "_NET_STARTUP_INFO");
    std::string message = removeMessage(id);
    // The terminating nul byte belongs to the message; the last piece is padded with more of them.
    message.push_back('\0');
    for (size_t at = 0; at < message.size(); at += 20) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.display = display;
        event.xclient.window = window;
        event.xclient.message_type = at == 0 ? begin : more;
        event.xclient.format = 8;
        std::memcpy(event.xclient.data.b, message.data() + at, std::min<size_t>(20, message.size() - at));
        XSendEvent(display, root, False, PropertyChangeMask, &event);
    }
    XFlush(display);
}

std::vector<unsigned long> X11WindowIdentity::iconProperty(const std::vector<std::filesystem::path>& files) {
    std::vector<unsigned long> out;
    for (const std::filesystem::path& file : files) {
        const FileManager::ReadResult read = FileManager::readFile(file, kMaxIconFileBytes);
        if (!read.read()) {
            logWarning("X11WindowIdentity: the icon %s could not be read (%s)", file.c_str(),
                       read.status == FileManager::ReadResult::Status::Missing ? "missing"
                       : read.status == FileManager::ReadResult::Status::TooLarge
                           ? "too large"
                           : read.error.message().c_str());
            continue;
        }
        const auto image = ImageCodec::decode(read.bytes.data(), read.bytes.size(), AlphaMode::Straight);
        if (!image) {
            logWarning("X11WindowIdentity: the icon %s is not a picture that can be read", file.c_str());
            continue;
        }
        if (image->width == 0 || image->height == 0 || image->width > kMaxIconSide ||
            image->height > kMaxIconSide) {
            logWarning("X11WindowIdentity: the icon %s is %ux%u pixels, not an icon's size", file.c_str(),
                       image->width, image->height);
            continue;
        }
        out.push_back(image->width);
        out.push_back(image->height);
        const uint8_t* p = image->pixels.data();
        for (size_t i = 0, n = size_t(image->width) * image->height; i < n; ++i, p += 4)
            out.push_back((unsigned long)p[3] << 24 | (unsigned long)p[0] << 16 | (unsigned long)p[1] << 8 |
                          p[2]);
    }
    return out;
}

}  // namespace plat
