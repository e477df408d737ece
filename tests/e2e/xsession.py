"""What both end-to-end drivers share: a private X server, waits on conditions with
time-outs (never fixed sleeps), and real keyboard and mouse input through xdotool."""

import os
import re
import subprocess
import time

WAIT = 30.0  # seconds for any one condition
pump = None  # called before every probe (the GTK driver lets pyatspi take in news)


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(what, probe, timeout=WAIT, interval=0.1):
    """Calls probe until it gives something true; returns that, or fails naming what."""
    deadline, last_error = time.monotonic() + timeout, None
    while True:
        if pump:
            pump()
        try:
            value = probe()
            if value:
                return value
        except Exception as error:  # what is looked at may change while we look
            last_error = error
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}" +
                          (f" (last error: {last_error})" if last_error else ""))
        time.sleep(interval)


def spawn(*cmd):
    return subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def run(*cmd, timeout=WAIT, must=True):
    result = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout)
    check(result.returncode == 0 or not must, f"{cmd} failed: {result.stderr}")
    return result.stdout


class Xvfb:
    """An X server on a free display, for the length of a with block; DISPLAY names it."""

    def __init__(self, width, height):
        self.size = f"{width}x{height}x24"

    def __enter__(self):
        read_end, write_end = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.size, "-nolisten", "tcp",
             "-noreset"], pass_fds=(write_end,), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:  # once the server is ready, or it ended
            number = pipe.readline().strip()
        check(number, "Xvfb did not start")
        for name in ("WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"):
            os.environ.pop(name, None)
        os.environ["DISPLAY"] = ":" + number
        return self

    def __exit__(self, *exc):
        self.server.kill()
        self.server.wait()


def windows(title, pid=None):
    """The viewable X windows with exactly this title (of one process, if given)."""
    return run("xdotool", "search", "--onlyvisible", *(["--pid", str(pid)] if pid else []),
               "--name", "^" + re.escape(title) + "$", must=False).split()


def wait_window(title, pid=None, timeout=WAIT):
    return wait_until(f"the window {title!r}", lambda: windows(title, pid), timeout)[0]


def geometry(window):
    """x, y, width, height of a window's client area on the screen."""
    out = run("xwininfo", "-id", str(window))
    return [int(re.search(key + r":\s+(-?\d+)", out).group(1))
            for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")]


def keys(window, *names, activate=False):
    """Focuses the window and types keys. Without a window manager (activate) the focus is
    set directly; keys sent with --window would be synthetic, and GTK and Wine ignore them."""
    run("xdotool", "windowactivate" if activate else "windowfocus", "--sync", str(window))
    if names:
        run("xdotool", "key", "--delay", "50", *names)


def click(x, y, *extra):
    """Moves the pointer to x, y on the screen and clicks (or does extra there)."""
    # --sync waits for the pointer to arrive, which a pointer already there never does.
    run("xdotool", "mousemove", str(x + 1), str(y), "mousemove", "--sync", str(x), str(y),
        *(extra or ("click", "1")))


def screenshot(path, window="root"):
    run("import", "-window", str(window), path)
    return path
