"""Plays a screen reader against the running console on the desktop's
accessibility bus (AT-SPI): reads the readings of the status panel, presses
Open Port and, half a second later, Drive X / Y through the bus, listens to
the name-change announcements while the simulator streams, prints what it
heard, and finally types a value the console refuses into a box and reads the
status bar. Run by accessibility-check.sh."""

import sys
import time

import pyatspi
from gi.repository import GLib

LISTEN_SECONDS = float(sys.argv[1]) if len(sys.argv) > 1 else 5.0
READINGS = ("Position ", "Mode:", "Error Code:", "Frame Counter:", "Pufferfüllstand:",
            "Com port settings:", "Emergency:", "End ", "Boost:", "Sleep:", "Cooling:",
            "Spindle:", "Port:")


def console_app():
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name.lower() == "kelmora":
                return app
        time.sleep(0.2)
    sys.exit("accessibility_listener: the console is not on the accessibility bus")


def walk(node):
    # (node, name, role) of every object that still exists as it is reached:
    # windows come and go meanwhile (the floating window with the first frame).
    # Lists are not entered: the history holds a line per frame.
    try:
        entry = (node, node.name or "", node.getRoleName())
        children = [] if entry[2] in ("list", "list box", "table") else list(node)
    except GLib.Error:
        return
    yield entry
    for child in children:
        if child is not None:
            yield from walk(child)


def readings(app):
    found = {}
    for node, name, role in walk(app):
        if role == "status bar":
            found["(status bar)"] = name
        elif name.startswith(READINGS) and role == "label" and ": " in name:
            found[name.split(": ", 1)[0]] = name
    return found


def press(app, caption):
    for node, name, role in walk(app):
        if role == "push button" and name == caption:
            action = node.queryAction()
            for i in range(action.nActions):
                if action.getName(i) in ("Press", "press", "click"):
                    action.doAction(i)
                    return
    sys.exit(f"accessibility_listener: no button {caption!r}")


def main():
    app = console_app()
    print("before Open Port:")
    for key, name in sorted(readings(app).items()):
        print(f"  {key}: {name!r}" if key == "(status bar)" else f"  {name!r}")

    heard = {}  # caption -> list of (time, name)

    def on_name(event):
        try:
            name = event.source.name or ""
            role = event.source.getRoleName()
        except GLib.Error:
            return
        if role == "status bar":
            caption = "(status bar)"
        elif ": " in name:
            caption = name.split(": ", 1)[0]
        else:
            caption = f"({role} {name})"
        heard.setdefault(caption, []).append((time.monotonic(), name))

    def drive():
        press(app, "Drive X / Y")
        return False

    pyatspi.Registry.registerEventListener(on_name, "object:property-change:accessible-name")
    press(app, "Open Port")
    GLib.timeout_add(500, drive)
    started = time.monotonic()
    GLib.timeout_add(int(LISTEN_SECONDS * 1000), pyatspi.Registry.stop)
    pyatspi.Registry.start()
    listened = time.monotonic() - started

    print(f"after Open Port, {listened:.1f} s of the simulator streaming:")
    for key, name in sorted(readings(app).items()):
        print(f"  {key}: {name!r}" if key == "(status bar)" else f"  {name!r}")
    print("announcements heard (name changes):")
    total = 0
    for caption, events in sorted(heard.items()):
        gaps = [b[0] - a[0] for a, b in zip(events, events[1:])]
        shortest = f", shortest gap {min(gaps) * 1000:.1f} ms" if gaps else ""
        print(f"  {caption}: {len(events)} ({len(events) / listened:.1f}/s{shortest}), "
              f"last {events[-1][1]!r}")
        total += len(events)
    print(f"total={total} in {listened:.1f} s ({total / listened:.1f}/s)")

    # A value the console refuses: typed through the bus, then Drive X / Y.
    # Nothing is sent; the status bar says which box and why.
    box = next(node for node, name, role in walk(app) if role == "text" and name == "X / Z 3")
    box.queryEditableText().setTextContents("5O")
    press(app, "Drive X / Y")
    time.sleep(0.3)
    bar = next(node for node, name, role in walk(app) if role == "status bar")
    text = bar.queryText()
    print(f"refused box: status bar name {bar.name!r}, text {text.getText(0, -1)!r}")


main()
