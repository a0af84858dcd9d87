#!/usr/bin/env python3
"""Reads both windows as a screen reader does, through the desktop accessibility bus.

Usage: atspi_test.py ZELVAFONT DEMODISC. Makes the demo disc and a sandbox prefix in a temporary
folder, starts the program under Xvfb on a private session bus, finds the launcher's hot-spots
as named push buttons, presses the TTC one through its accessibility action, finds the font
window's rows as named check boxes and closes both windows the same way. Exits with 77 (skipped)
and a reason when the bus or its tools are not there.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
LAUNCHER_BUTTONS = [
    "Install the TTC fonts for Chinese Windows",
    "Install the TTF fonts for English Windows",
    "User manual",
    "Gift fonts",
    "Gift pictures",
    "ZelvaDoc 4.25 (trial)",
    "Zelva symbol extra-character set",
    "Footnote wizard",
    "Butterfly wizard",
    "Symbol wizard",
    "Exit",
]


def skip(reason):
    print("SKIPPED: " + reason)
    sys.exit(SKIP)


def walk(node, depth=0):
    if node is None or depth > 12:
        return
    yield node
    try:
        count = node.childCount
    except Exception:
        return
    for i in range(count):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1)


def wait_for(what, find, limit=60.0):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        found = find()
        if found:
            return found
        time.sleep(0.2)
    raise AssertionError("not found within %.0f s: %s" % (limit, what))


def showing(node):
    import pyatspi
    return node.getState().contains(pyatspi.STATE_SHOWING)


def named(app, role, name=None):
    import pyatspi
    return [n for n in walk(app) if n.getRole() == role and showing(n)
            and (name is None or n.name == name)]


def press(node):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("Press", "press", "Toggle", "toggle"):
            action.doAction(i)
            return
    raise AssertionError("%r has no press action: %s" % (
        node.name, [action.getName(i) for i in range(action.nActions)]))


def inner(program, marker):
    try:
        import pyatspi
    except ImportError:
        skip("python3-pyatspi is not installed")
    try:
        desktop = pyatspi.Registry.getDesktop(0)
        desktop.childCount
    except Exception as error:
        skip("the desktop accessibility bus does not answer: %s" % error)
    open(marker, "w").close()
    started = subprocess.Popen([program], env=dict(os.environ, QT_QPA_PLATFORM="xcb",
                                                     QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                                                     QT_ACCESSIBILITY="1"))
    try:
        app = wait_for("the program on the accessibility bus", lambda: next(
            (a for a in walk(desktop, 11) if a is not None and a.getRole() == pyatspi.ROLE_APPLICATION
             and "zelvafont" in (a.name or "").lower()), None))
        buttons = wait_for("the launcher's hot-spots", lambda: named(app, pyatspi.ROLE_PUSH_BUTTON))
        names = sorted(b.name for b in buttons)
        assert names == sorted(LAUNCHER_BUTTONS), names
        press(named(app, pyatspi.ROLE_PUSH_BUTTON, LAUNCHER_BUTTONS[0])[0])
        rows = wait_for("the font window's rows", lambda: named(app, pyatspi.ROLE_CHECK_BOX))
        row_names = [r.name for r in rows if r.name and not r.name.startswith("Check for")]
        assert row_names, [r.name for r in rows]
        assert all(r.description in ("installed", "not installed") for r in rows
                   if r.name in row_names), [(r.name, r.description) for r in rows]
        print("rows:", row_names)
        press(wait_for("the font window's Exit",
                       lambda: named(app, pyatspi.ROLE_PUSH_BUTTON, "Exit"))[0])
        wait_for("the launcher again", lambda: named(
            app, pyatspi.ROLE_PUSH_BUTTON, LAUNCHER_BUTTONS[0]))
        press(named(app, pyatspi.ROLE_PUSH_BUTTON, "Exit")[0])
        started.wait(timeout=60)
    finally:
        if started.poll() is None:
            started.kill()
            started.wait()
    print("PASSED")
    return 0


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--inner":
        return inner(sys.argv[2], sys.argv[3])
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    program, demodisc = sys.argv[1], sys.argv[2]
    for tool in ("dbus-run-session", "xvfb-run"):
        if not shutil.which(tool):
            skip(tool + " is not installed")
    if not any(os.path.exists(p) for p in ("/usr/libexec/at-spi-bus-launcher",
                                           "/usr/lib/at-spi2-core/at-spi-bus-launcher")):
        skip("the accessibility bus (at-spi2-core) is not installed")
    with tempfile.TemporaryDirectory() as folder:
        prefix = os.path.join(folder, "prefix")
        subprocess.run([demodisc, "--out", os.path.join(folder, "disc"), "--prefix", prefix,
                        "--language", "1033"], check=True, stdout=subprocess.DEVNULL)
        env = dict(os.environ, ZELVAFONT_PREFIX=prefix, NO_AT_BRIDGE="0",
                   XDG_RUNTIME_DIR=folder, HOME=folder)
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        env.pop("AT_SPI_BUS_ADDRESS", None)
        marker = os.path.join(folder, "bus-up")
        run = subprocess.run(["dbus-run-session", "--", "xvfb-run", "-a", sys.executable,
                              os.path.abspath(__file__), "--inner", program, marker], env=env,
                             timeout=170)
        if run.returncode not in (0, SKIP) and not os.path.exists(marker):
            skip("the session bus or the X server could not start (exit code %d)"
                 % run.returncode)
        return run.returncode


if __name__ == "__main__":
    sys.exit(main())
