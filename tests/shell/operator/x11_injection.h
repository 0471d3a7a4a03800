#pragma once
// XTest injection on a connection of its own, kept apart from Qt's headers
// (Xlib's macros clash with Qt's names). Keys are named by X keysyms.

#include <memory>

class X11Injection {
public:
    // Connects to $DISPLAY; connected() says whether it did.
    X11Injection();
    ~X11Injection();
    X11Injection(const X11Injection&) = delete;
    X11Injection& operator=(const X11Injection&) = delete;

    bool connected() const;
    // The server repeats a held key after `delayMs`, every `intervalMs`.
    void setKeyRepeat(int delayMs, int intervalMs);
    void movePointer(int x, int y);
    void button(bool down);
    // False when the keysym has no key on the server's keyboard.
    bool key(unsigned long keysym, bool down);
    // The server's key for a keysym (0: none).
    unsigned keycodeOf(unsigned long keysym);
    void flush();
    // The window the server sends keys to now (a round trip).
    unsigned long inputFocus();
    // The window a client last asked the window manager to give the focus
    // (_NET_ACTIVE_WINDOW) since the previous call; 0 if none did.
    unsigned long activationAsked();

private:
    struct Connection;
    std::unique_ptr<Connection> connection_;
};

// The keysyms the operator uses.
namespace xkeys {
extern const unsigned long space, ret, keypadEnter, tab, escape, backspace, up, down, left, right,
    altLeft, controlLeft, shiftLeft, f10, minus, period, comma, slash, letterA, digit0;
}
