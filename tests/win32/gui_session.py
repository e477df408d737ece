"""A private X display with Wine on it, for the Windows program's tests.

Each session starts its own Xvfb on a free display (Xvfb picks it and tells us through
-displayfd), runs Wine programs in the build folder's GUI prefix (kept apart from the
prefix the unit tests share, because every session ends by stopping that prefix's Wine
server), and offers the few xdotool/xwininfo/ImageMagick steps the tests need. Every wait
is for a condition, bounded by a time-out.

Run as a program it wraps one command:  gui_session.py --build-dir DIR -- CMD ARGS...
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
WINE_RUN = os.path.join(HERE, "..", "..", "cmake", "wine-run.sh")


def wineserver():
    # With only Debian's wine64 installed there is no wineserver on the PATH.
    for candidate in ("/usr/lib/wine/wineserver", "/usr/lib/wine/wineserver64"):
        if os.access(candidate, os.X_OK):
            return candidate
    return shutil.which("wineserver") or "wineserver"


class WaitTimedOut(AssertionError):
    pass


def wait_until(condition, timeout, what, interval=0.1):
    """Calls condition() until it gives something true; returns that, or fails."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise WaitTimedOut("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


class GuiSession:
    def __init__(self, build_dir):
        self.build_dir = os.path.abspath(build_dir)
        self.env = dict(os.environ)
        self.env["WINEPREFIX"] = os.path.join(self.build_dir, "wineprefix-gui")
        self.env["WINEDEBUG"] = "-all"
        self.env.pop("WAYLAND_DISPLAY", None)
        self.xvfb = None

    # --- lifetime ---------------------------------------------------------------------
    def __enter__(self):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            number = pipe.readline().strip()  # blocks until the server is ready, or ends
        if not number:
            self.xvfb.kill()
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number.decode()
        # The prefix is made once per build folder (the first time takes a while).
        subprocess.run([WINE_RUN, "--prepare"], env=self.env, check=True, timeout=600)
        return self

    def __exit__(self, *exc):
        subprocess.run([wineserver(), "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        if self.xvfb is not None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
        return False

    # --- programs -----------------------------------------------------------------------
    def start(self, exe, *args, **kwargs):
        return subprocess.Popen([WINE_RUN, exe] + list(args), env=self.env, **kwargs)

    def run(self, exe, *args, timeout=120, **kwargs):
        return subprocess.run([WINE_RUN, exe] + list(args), env=self.env, timeout=timeout,
                              **kwargs)

    # --- windows --------------------------------------------------------------------------
    def tool(self, *args, check=True):
        result = subprocess.run(list(args), env=self.env, capture_output=True, text=True,
                                timeout=60)
        if check and result.returncode != 0:
            raise RuntimeError("%s failed: %s" % (" ".join(args), result.stderr.strip()))
        return result.stdout

    def windows_named(self, title):
        out = self.tool("xdotool", "search", "--onlyvisible", "--name",
                        "^" + re.escape(title) + "$", check=False)
        return [int(w) for w in out.split()]

    def wait_window(self, title, timeout=60):
        found = wait_until(lambda: self.windows_named(title), timeout,
                           "a window titled %r" % title)
        return found[0]

    def wait_gone(self, title, timeout=30):
        wait_until(lambda: not self.windows_named(title), timeout,
                   "the window %r to go" % title)

    def geometry(self, window):
        """(x, y, width, height) of the window on the screen."""
        out = self.tool("xwininfo", "-id", str(window))
        value = lambda key: int(re.search(key + r":\s+(-?\d+)", out).group(1))
        return (value("Absolute upper-left X"), value("Absolute upper-left Y"),
                value("Width"), value("Height"))

    def focus(self, window):
        # No window manager: the focus is set directly, and keys then go to it as real
        # input (keys sent with --window would be synthetic and ignored by Wine).
        self.tool("xdotool", "windowfocus", "--sync", str(window))

    def key(self, *keys):
        self.tool("xdotool", "key", "--delay", "60", *keys)

    def type(self, text):
        self.tool("xdotool", "type", "--delay", "30", text)

    def click(self, window, x, y, button=1):
        self.tool("xdotool", "mousemove", "--window", str(window), str(x), str(y),
                  "click", str(button))

    def screenshot(self, path):
        self.tool("import", "-window", "root", path)

    def darkest(self, path, x, y, width, height):
        """The darkest grey level (0..1) inside a rectangle of a screenshot."""
        out = self.tool("convert", path, "-crop", "%dx%d+%d+%d" % (width, height, x, y),
                        "+repage", "-colorspace", "Gray", "-format", "%[fx:minima]", "info:")
        return float(out.strip())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    with GuiSession(args.build_dir) as session:
        result = session.run(command[0], *command[1:], timeout=600)
    return result.returncode


if __name__ == "__main__":
    sys.exit(main())
