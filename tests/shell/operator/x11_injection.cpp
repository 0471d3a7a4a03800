#include "x11_injection.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

struct X11Injection::Connection {
    Display* display = nullptr;
};

X11Injection::X11Injection() : connection_(std::make_unique<Connection>()) {
    connection_->display = XOpenDisplay(nullptr);
    if (connection_->display != nullptr) {
        // Requests to the window manager are sent to the root window for
        // all that watch its children.
        XSelectInput(connection_->display, DefaultRootWindow(connection_->display),
                     SubstructureNotifyMask);
    }
}

X11Injection::~X11Injection() {
    if (connection_->display != nullptr) {
        XCloseDisplay(connection_->display);
    }
}

bool X11Injection::connected() const {
    return connection_->display != nullptr;
}

void X11Injection::setKeyRepeat(int delayMs, int intervalMs) {
    XAutoRepeatOn(connection_->display);
    XkbSetAutoRepeatRate(connection_->display, XkbUseCoreKbd, unsigned(delayMs),
                         unsigned(intervalMs));
    XSync(connection_->display, False);
}

void X11Injection::movePointer(int x, int y) {
    XTestFakeMotionEvent(connection_->display, -1, x, y, 0);
}

void X11Injection::button(bool down) {
    XTestFakeButtonEvent(connection_->display, 1, down ? True : False, 0);
}

unsigned X11Injection::keycodeOf(unsigned long keysym) {
    return XKeysymToKeycode(connection_->display, KeySym(keysym));
}

bool X11Injection::key(unsigned long keysym, bool down) {
    const KeyCode code = XKeysymToKeycode(connection_->display, KeySym(keysym));
    if (code == 0) {
        return false;
    }
    XTestFakeKeyEvent(connection_->display, code, down ? True : False, 0);
    return true;
}

void X11Injection::flush() {
    XFlush(connection_->display);
}

unsigned long X11Injection::inputFocus() {
    Window focus = None;
    int revertTo = 0;
    XGetInputFocus(connection_->display, &focus, &revertTo);
    return focus;
}

unsigned long X11Injection::activationAsked() {
    Display* display = connection_->display;
    const Atom activate = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    unsigned long asked = 0;
    XSync(display, False);
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == ClientMessage && event.xclient.message_type == activate) {
            asked = event.xclient.window;
        }
    }
    return asked;
}

namespace xkeys {
const unsigned long space = XK_space, ret = XK_Return, keypadEnter = XK_KP_Enter, tab = XK_Tab,
                    escape = XK_Escape, backspace = XK_BackSpace, up = XK_Up, down = XK_Down,
                    left = XK_Left, right = XK_Right, altLeft = XK_Alt_L,
                    controlLeft = XK_Control_L, shiftLeft = XK_Shift_L, f10 = XK_F10,
                    minus = XK_minus, period = XK_period, comma = XK_comma, slash = XK_slash,
                    letterA = XK_a, digit0 = XK_0;
}
