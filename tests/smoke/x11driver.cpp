// A small X client that drives a program's window the way a user would, for the smoke tests
// under Xvfb (most of them without a window manager):
//   x11driver find <title part> <seconds>   prints the id of a viewable window whose title
//                                           holds <title part> (is exactly the rest of it,
//                                           when it starts with "="), waiting up to <seconds>
//   x11driver key <window> <key name>       gives the window the keyboard focus and types
//                                           the key (an X key name such as "space"; with
//                                           modifiers held: "Alt_L+s")
//   x11driver click <window> <x> <y>        clicks the left button at that point of the
//                                           window
//   x11driver close <window>                asks the window to close (WM_DELETE_WINDOW)
//   x11driver screenshot <window> <file>    saves what the window shows as an image file
// Exit status 0 on success, 1 on failure (with a line on stderr).

#include <QImage>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// The window may go away between two requests; that is reported by the caller's checks,
// not by Xlib ending the process.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

std::string textProperty(Display* display, Window window, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 1024, False, AnyPropertyType, &type,
                           &format, &items, &remaining, &data) != Success ||
        data == nullptr)
        return {};
    std::string text(reinterpret_cast<char*>(data), format == 8 ? items : 0);
    XFree(data);
    return text;
}

bool isViewable(Display* display, Window window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
}

bool titleMatches(const std::string& title, const std::string& titlePart) {
    if (!titlePart.empty() && titlePart.front() == '=')
        return title == titlePart.substr(1);
    return title.find(titlePart) != std::string::npos;
}

Window findWindow(Display* display, Window parent, const std::string& titlePart) {
    Window root = 0;
    Window parentOut = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, parent, &root, &parentOut, &children, &count) == 0)
        return 0;
    const Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        const Window child = children[i];
        std::string title = textProperty(display, child, netWmName);
        if (title.empty())
            title = textProperty(display, child, XA_WM_NAME);
        if (titleMatches(title, titlePart) && isViewable(display, child))
            found = child;
        else
            found = findWindow(display, child, titlePart);
    }
    if (children != nullptr)
        XFree(children);
    return found;
}

int find(Display* display, const std::string& titlePart, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(seconds));
    while (true) {
        if (const Window window = findWindow(display, DefaultRootWindow(display), titlePart)) {
            std::printf("%lu\n", window);
            return 0;
        }
        if (std::chrono::steady_clock::now() > deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::fprintf(stderr, "x11driver: no window titled \"%s\" within %g s\n", titlePart.c_str(),
                 seconds);
    return 1;
}

int key(Display* display, Window window, const char* keyName) {
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        std::fprintf(stderr, "x11driver: the X server lacks the XTEST extension\n");
        return 1;
    }
    std::vector<KeyCode> codes; // the modifiers first, the key last
    const std::string keys = keyName;
    for (std::size_t from = 0; from <= keys.size();) {
        const std::size_t plus = std::min(keys.find('+', from + 1), keys.size());
        const std::string name = keys.substr(from, plus - from);
        const KeySym symbol = XStringToKeysym(name.c_str());
        const KeyCode code = symbol != NoSymbol ? XKeysymToKeycode(display, symbol) : 0;
        if (code == 0) {
            std::fprintf(stderr, "x11driver: unknown key %s\n", name.c_str());
            return 1;
        }
        codes.push_back(code);
        from = plus + 1;
    }
    if (!isViewable(display, window)) {
        std::fprintf(stderr, "x11driver: window %lu is not on the screen\n", window);
        return 1;
    }
    // Without a window manager nobody else hands out the keyboard focus.
    XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
    for (const KeyCode code : codes)
        XTestFakeKeyEvent(display, code, True, CurrentTime);
    for (auto code = codes.rbegin(); code != codes.rend(); ++code)
        XTestFakeKeyEvent(display, *code, False, CurrentTime);
    XSync(display, False);
    return 0;
}

int click(Display* display, Window window, int x, int y) {
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    if (!isViewable(display, window) ||
        XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY,
                              &child) == 0) {
        std::fprintf(stderr, "x11driver: window %lu is not on the screen\n", window);
        return 1;
    }
    XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
    return 0;
}

int close(Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    if (XSendEvent(display, window, False, NoEventMask, &event) == 0) {
        std::fprintf(stderr, "x11driver: could not send the close request\n");
        return 1;
    }
    XSync(display, False);
    return 0;
}

// What a tool that kills a window does (xdotool windowclose): the window is destroyed without
// a close request.
int destroy(Display* display, Window window) {
    XDestroyWindow(display, window);
    XSync(display, False);
    return 0;
}

int shift(unsigned long mask) {
    int bits = 0;
    while (mask != 0 && (mask & 1UL) == 0) {
        mask >>= 1U;
        ++bits;
    }
    return bits;
}

int screenshot(Display* display, Window window, const char* file) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) == 0 ||
        attributes.map_state != IsViewable) {
        std::fprintf(stderr, "x11driver: window %lu is not on the screen\n", window);
        return 1;
    }
    // XDestroyImage is a macro, so it cannot serve as the deleter itself.
    auto destroy = [](XImage* pixels) { XDestroyImage(pixels); };
    std::unique_ptr<XImage, decltype(destroy)> image(
        XGetImage(display, window, 0, 0, static_cast<unsigned int>(attributes.width),
                  static_cast<unsigned int>(attributes.height), AllPlanes, ZPixmap),
        destroy);
    if (!image || image->red_mask == 0) {
        std::fprintf(stderr, "x11driver: could not read the window's pixels\n");
        return 1;
    }
    const int redShift = shift(image->red_mask);
    const int greenShift = shift(image->green_mask);
    const int blueShift = shift(image->blue_mask);
    QImage picture(attributes.width, attributes.height, QImage::Format_RGB32);
    for (int y = 0; y < attributes.height; ++y)
        for (int x = 0; x < attributes.width; ++x) {
            const unsigned long pixel = XGetPixel(image.get(), x, y);
            picture.setPixel(x, y,
                             qRgb(static_cast<int>((pixel & image->red_mask) >> redShift),
                                  static_cast<int>((pixel & image->green_mask) >> greenShift),
                                  static_cast<int>((pixel & image->blue_mask) >> blueShift)));
        }
    if (!picture.save(QString::fromLocal8Bit(file))) {
        std::fprintf(stderr, "x11driver: could not write %s\n", file);
        return 1;
    }
    return 0;
}

int usage() {
    std::fprintf(stderr, "usage: x11driver find <title part> <seconds> | key <window> <key> | "
                         "click <window> <x> <y> | close <window> | destroy <window> | "
                         "screenshot <window> <file>\n");
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3)
        return usage();
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "x11driver: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    const std::string command = argv[1];
    int status = 1;
    if (command == "find" && argc == 4)
        status = find(display, argv[2], std::atof(argv[3]));
    else if (command == "key" && argc == 4)
        status = key(display, std::strtoul(argv[2], nullptr, 10), argv[3]);
    else if (command == "click" && argc == 5)
        status = click(display, std::strtoul(argv[2], nullptr, 10), std::atoi(argv[3]),
                       std::atoi(argv[4]));
    else if (command == "close" && argc == 3)
        status = close(display, std::strtoul(argv[2], nullptr, 10));
    else if (command == "destroy" && argc == 3)
        status = destroy(display, std::strtoul(argv[2], nullptr, 10));
    else if (command == "screenshot" && argc == 4)
        status = screenshot(display, std::strtoul(argv[2], nullptr, 10), argv[3]);
    else
        usage();
    XCloseDisplay(display);
    return status;
}
