#!/usr/bin/python3
"""End-to-end tests of the rezurudev desktop program: each case runs on its own X server
with a session bus and the accessibility bus, drives the real program with real input and
reads the screen back through the accessibility tree (pyatspi)."""

import argparse
import contextlib
import os
import shutil
import signal
import subprocess
import sys
from pathlib import Path

import xsession
from xsession import Failure, check, click, keys, run, spawn, wait_until

SCREEN = (1024, 768)
# Control geometry inside the client area (x, y, width, height), accessible role, text.
LAYOUT = {
    "BeforeLabel": ((30, 10, 70, 20), "label", " Vorher"),
    "AfterLabel": ((150, 10, 60, 20), "label", " Nachher"),
    "BeforeList": ((10, 30, 100, 350), "scroll pane", None),
    "AfterList": ((120, 30, 110, 350), "scroll pane", None),
    "ApplyButton": ((10, 390, 220, 30), "push button", "Neue Rezurudev Übernehmen"),
    "CancelButton": ((10, 430, 220, 30), "push button", "Keine Übernahme, Abbruch"),
}
TITLE, DIALOG = "Rezurudev V1.1", "Lade PCB-Datei"
# Two pads on one line each, LF line ends.
WORKED_EXAMPLE = (
    b"(pad 1 thru_hole circle (at 0 0) (size 1.6 1.6) (drill 0.762) (layers *.Cu))\n"
    b"(pad 2 thru_hole circle (at 2.54 0) (size 1.6 1.6) (drill 1.016) (layers *.Cu))\n")


def children(acc):
    return [c for c in (acc.getChildAtIndex(i) for i in range(acc.childCount)) if c is not None]


def find(acc, role, state=None):
    found = [d for c in children(acc) for d in [c] + find(c, None)]
    return [a for a in found if role is None or (a.getRoleName() == role and
                                                 (state is None or a.getState().contains(state)))]


def extents(acc):
    e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (e.x, e.y, e.width, e.height)


def centre(acc):
    x, y, w, h = extents(acc)
    return x + w // 2, y + h // 2


def centred(x, y, w, h):
    return all(abs(2 * at + size - screen) <= 1 for at, size, screen in ((x, w, SCREEN[0]),
                                                                          (y, h, SCREEN[1])))


def outer():
    with xsession.Xvfb(*SCREEN):
        session = subprocess.Popen(["dbus-run-session", "--", sys.executable,
                                    os.path.abspath(__file__), "--inner"] + sys.argv[1:],
                                   start_new_session=True)
        try:
            return session.wait(timeout=170)  # within CTest's time-out
        finally:  # whatever the case started is in the session's process group
            with contextlib.suppress(ProcessLookupError):
                os.killpg(session.pid, signal.SIGKILL)
            session.wait()


class Session:
    def __init__(self, args):
        self.args, self.program, self.wm = args, None, False
        self.work = os.path.join(args.out, "e2e-work", args.case)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        spawn("/usr/libexec/at-spi-bus-launcher", "--launch-immediately")
        wait_until("the accessibility bus", lambda: "unix:" in run(
            "dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
            "org.a11y.Bus.GetAddress"))
        global pyatspi
        import pyatspi
        from gi.repository import GLib
        context = GLib.MainContext.default()

        def pump():  # let pyatspi take in the objects announced meanwhile
            while context.pending():
                context.iteration(False)
        xsession.pump = pump

    def window_manager(self):
        spawn("openbox", "--sm-disable")
        wait_until("the window manager",
                   lambda: "window id" in run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"))
        self.wm = True

    def folder(self, name, content=b"", file="test.kicad_pcb"):
        board = Path(self.work, name, file)
        board.parent.mkdir()
        if content:
            board.write_bytes(content)
        return str(board)

    def env(self, folder, **extra):
        env = {k: v for k, v in os.environ.items()
               if k not in ("NO_AT_BRIDGE", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME")}
        env.update(GDK_BACKEND="x11", GSETTINGS_BACKEND="memory", HOME=folder, **extra)
        # GTK, fontconfig and glib keep memory until exit; memory errors are still caught.
        env["ASAN_OPTIONS"] = (env.get("ASAN_OPTIONS", "") + ":detect_leaks=0").lstrip(":")
        return env

    def start(self, board, *args, cwd=None, **extra_env):
        """Starts the program in the board's folder, or in cwd with args; Enter in its open
        dialog loads the board, which the name field offers (and the list shows, when it
        exists)."""
        folder, name = cwd or os.path.dirname(board), os.path.basename(board)
        self.program = subprocess.Popen([self.args.program, *args], cwd=folder,
                                        env=self.env(folder, **extra_env))
        self.dialog = self.wait_frame(DIALOG)
        # Each look walks the whole chooser over the accessibility bus: looked at too
        # often on a busy machine, the program's own calls on that bus wait behind ours.
        if os.path.exists(board):
            wait_until("the board in the dialog's file list", lambda: any(
                a.name == name for a in find(self.dialog, "table cell")), 60, 0.5)
        wait_until("the name in the name field", lambda: any(
            a.queryText().getText(0, -1) == name
            for a in find(self.dialog, "text", pyatspi.STATE_FOCUSED)), 60, 0.5)
        return self

    def enter(self):
        self.keys(DIALOG, "Return")
        wait_until("the dialog to go", lambda: self.frame(DIALOG) is None)
        return self

    def ended(self, what, board=None, content=None):
        check(self.program.wait(timeout=xsession.WAIT) == 0, f"exit code after {what} is not 0")
        check(board is None or Path(board).read_bytes() == content, f"the board changed: {what}")

    def frame(self, title):
        return next((w for app in children(pyatspi.Registry.getDesktop(0))
                     if app.get_process_id() == self.program.pid for w in children(app)
                     if w.name == title and w.getState().contains(pyatspi.STATE_SHOWING)), None)

    def wait_frame(self, title):
        return wait_until(f"the window {title!r}", lambda: self.frame(title))

    def keys(self, title, *names):
        keys(xsession.wait_window(title, self.program.pid), *names, activate=self.wm)

    def message_ok(self):
        box = self.wait_frame("Information")
        labels = [a.name for a in find(box, "label")]
        check("Datei ist nicht vorhanden" in labels, f"the message box shows {labels}")
        buttons = [b.name.replace("_", "") for b in find(box, "push button")]
        check(buttons in (["OK"], ["Ok"]), f"message box buttons: {buttons}")
        check(not find(box, "icon") and not find(box, "image"), "the message box has an icon")
        check(box.getState().contains(pyatspi.STATE_MODAL), "the message box is not modal")
        check(self.frame(TITLE) is None, "the main window is up before the message is closed")
        self.keys("Information", "Return")
        return self.main_window()

    def main_window(self):
        self.mframe = self.wait_frame(TITLE)
        self.win = xsession.wait_window(TITLE, self.program.pid)
        return self

    def client(self):  # the panel that holds the controls, without any decorations
        return extents(next(c for c in children(self.mframe) if c.getRoleName() == "panel"))

    def control(self, name):
        (x, y, _, _), role, _ = LAYOUT[name]
        ox, oy = self.client()[:2]
        return next(a for a in find(self.mframe, role) if extents(a)[:2] == (ox + x, oy + y))

    def cells(self, name, state=None):
        return find(find(self.control(name), "table")[0], "table cell", state)

    def rows(self, name, state=None):
        return [c.name for c in self.cells(name, state)]

    def selected(self, name):
        return self.rows(name, pyatspi.STATE_SELECTED)

    def focused(self):
        """Which control has the keyboard focus (a button, or the table in a list), or None."""
        return next((name for name in LAYOUT if any(
            a.getState().contains(pyatspi.STATE_FOCUSED)
            for a in [self.control(name)] + find(self.control(name), "table"))), None)

    def key_to(self, key, name):
        keys(self.win, key, activate=self.wm)
        wait_until(f"{key} to reach {name}", lambda: self.focused() == name)

    def press(self, name):
        click(*centre(self.control(name)))

    def shows_cli_rows(self, reference):
        rows = [line.split("\t") for line in run(self.args.cli, reference).splitlines()]
        before, after = [r[0] for r in rows], [r[-1] for r in rows]
        check((self.rows("BeforeList"), self.rows("AfterList")) == (before, after),
              f"lists {self.rows('BeforeList')} {self.rows('AfterList')}, not {before} {after}")
        return before, after

    def applied_as_cli(self, board, reference):
        """Apply wrote what the command line writes, and no temporary file is left."""
        self.press("ApplyButton")
        self.ended("apply")
        original = Path(reference).read_bytes()
        run(self.args.cli, "--apply", reference)
        check(Path(board).read_bytes() == Path(reference).read_bytes() != original,
              "the rewrite differs from the command line's")
        leftovers = [n for n in os.listdir(os.path.dirname(board)) if n.endswith(".tmp")]
        check(not leftovers, f"temporary files left: {leftovers}")


def case_dialog(s):
    """No display; a cancelled dialog; the offered name of a missing file; a close request
    through a window manager, which frames the window centred."""
    board = s.folder("run", WORKED_EXAMPLE)
    folder = os.path.dirname(board)
    env = {k: v for k, v in s.env(folder).items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    done = subprocess.run([s.args.program], cwd=folder, env=env, capture_output=True, text=True,
                          timeout=xsession.WAIT)
    check(done.returncode != 0 and "keine Anzeige verfügbar (ist DISPLAY gesetzt?)" in done.stderr,
          f"without a display: exit {done.returncode}, said {done.stderr!r}")

    s.start(board)
    filters = [i.name for c in find(s.dialog, "combo box") for i in find(c, "menu item")]
    check(filters == ["PCB-datei (*.kicad_pcb)"], f"filters offered: {filters}")
    cancel = [a for a in find(s.dialog, "push button", pyatspi.STATE_SHOWING)
              if a.name.replace("_", "") in ("Cancel", "Abbrechen")]
    s.keys(DIALOG)
    click(*centre(cancel[0]))
    s.message_ok()
    check(s.rows("BeforeList") == s.rows("AfterList") == [], "the lists are not empty")
    # From no focus Shift+Tab goes to the cancel button, and Space on it is a click.
    check(s.focused() is None, "a control has the focus before any key")
    s.key_to("shift+Tab", "CancelButton")
    keys(s.win, "space")
    s.ended("cancel")

    s.start(s.folder("empty")).enter().message_ok().press("CancelButton")  # a missing file
    s.ended("cancel")

    s.window_manager()
    s.start(board).enter().main_window()
    check(s.rows("AfterList") == ["0.8", "1.0"], f"after list {s.rows('AfterList')}")
    left, right, top, bottom = map(int, wait_until("the frame extents", lambda: run(
        "xprop", "-id", s.win, "_NET_FRAME_EXTENTS").split("=")[1].split(",")))
    x, y, w, h = s.client()
    frame = (x - left, y - top, w + left + right, h + top + bottom)
    check(top > 0 and centred(*frame), f"the framed window {frame} stands off the centre")
    keys(s.win, "alt+F4", activate=True)
    s.ended("a close request", board, WORKED_EXAMPLE)
    check(set(os.listdir(folder)) - {".config", ".local", ".cache"} == {"test.kicad_pcb"},
          f"new files in the folder: {os.listdir(folder)}")


def case_real_board(s):
    """A real board: the command line's rows, Tab order, list use, and the same rewrite,
    after a run in another folder that chose that folder's board."""
    source = Path(s.args.boards, "kicad6", "ecc83-pp_v2.kicad_pcb").read_bytes()
    first, board, reference = (s.folder(n, source) for n in ("Projekt A", "Projekt B", "ref"))
    s.start(first).enter().main_window().press("CancelButton")
    s.ended("cancel", first, source)
    s.start(board).enter().main_window()
    s.shows_cli_rows(reference)
    stops = ["BeforeList", "AfterList", "ApplyButton", "CancelButton"]
    walk = [("Tab", k % 4) for k in range(5)] + [("shift+Tab", 3 - k) for k in range(4)]
    for key, stop in walk + [("Tab", 1), ("Tab", 2)]:
        s.key_to(key, stops[stop])
        check(s.selected("BeforeList") == s.selected("AfterList") == [],
              f"the focus alone selected a row on its way to {stops[stop]}")
    # Another window takes the activation and gives it back: the focus comes back too.
    other = spawn("xmessage", "-geometry", "+600+0", "other window")
    keys(xsession.wait_window("xmessage", other.pid))
    wait_until("the main window to lose the activation",
               lambda: not s.mframe.getState().contains(pyatspi.STATE_ACTIVE))
    keys(s.win)
    wait_until("the focus back on ApplyButton", lambda: s.focused() == "ApplyButton")
    other.terminate()
    s.key_to("Tab", "CancelButton")

    # A click, a double click, a right click and a drag on rows; arrow keys; clicks on the
    # background and a label; moving the window: none of these, nor the switch to another
    # window above, ends the loop.
    cells, later = s.cells("BeforeList"), s.cells("AfterList")
    click(*centre(later[2]), "click", "--repeat", "2", "--delay", "60", "1", "click", "3")
    x, y = centre(cells[0])
    click(x, y, "mousedown", "1", "mousemove", "--sync", str(x), str(y + 40),
          "mousemove", "--sync", str(x + 5), str(y + 60), "mouseup", "1")
    keys(s.win, "Down")
    ox, oy = s.client()[:2]
    click(ox + 5, oy + 465, "click", "--repeat", "2", "1", "click", "3")
    s.press("BeforeLabel")
    run("xdotool", "windowmove", "--sync", s.win, "100", "80")
    click(*centre(s.cells("BeforeList")[3]))
    wait_until("row 4 selected", lambda: s.selected("BeforeList") == [cells[3].name])
    check(s.selected("AfterList") == [later[2].name] and s.program.poll() is None,
          "the run ended, or the after list lost its row")
    s.applied_as_cli(board, reference)
    check(Path(first).read_bytes() == source, "the board of the first run's folder changed")


def case_board_argument(s):
    """rezurudev BOARD, started in a folder with a test.kicad_pcb of its own, offers BOARD
    (named relative to that folder): Enter opens it."""
    source = Path(s.args.boards, "kicad6", "ecc83-pp_v2.kicad_pcb").read_bytes()
    board = s.folder("Projekt C", source, "Übung 1.kicad_pcb")
    reference, other = s.folder("ref", source), s.folder("other", WORKED_EXAMPLE)
    s.start(board, "../Projekt C/Übung 1.kicad_pcb", cwd=os.path.dirname(other))
    s.enter().main_window().shows_cli_rows(reference)
    s.press("CancelButton")
    s.ended("cancel", board, source)


def case_geometry(s):
    """German locale: window and controls in place, scrolling rows, points, screenshot."""
    values = [f"{0.3 + k * 0.05:.2f}" for k in range(40)]  # too many rows to fit
    pads = "".join(f"(pad {k} thru_hole circle (at {k} 0) (size 2 2) (drill {v}))\n"
                   for k, v in enumerate(reversed(values))).encode()
    board, reference = s.folder("run", pads), s.folder("ref", pads)
    check("de_DE.utf8" in run("locale", "-a").split(),
          "the de_DE.UTF-8 locale is missing (scripts/setup.sh makes it)")
    s.start(board, LANG="de_DE.UTF-8", LC_ALL="de_DE.UTF-8", LANGUAGE="de").enter().main_window()
    client = s.client()  # no window manager: the client area is the whole window
    check(client[2:] == (240, 470) and centred(*client), f"client area {client}")
    for name, ((x, y, w, h), _, text) in LAYOUT.items():
        acc, want = s.control(name), (client[0] + x, client[1] + y, w, h)
        check(extents(acc) == want, f"{name} at {extents(acc)}, want {want}")
        check(text is None or acc.name == text, f"{name} shows {acc.name!r}")
    # All rows, sorted, in the order they were added (the file lists them backwards).
    before, after = s.shows_cli_rows(reference)
    check(before == values and "0.8" in after, f"the command line lists {before} {after}")
    for name in ("BeforeList", "AfterList"):
        check(any(a.getState().contains(pyatspi.STATE_SHOWING) for a in find(
            s.control(name), "scroll bar", pyatspi.STATE_VERTICAL)), f"{name}: no scroll bar")
    # Fixed size, no minimize and no maximize box, for any window manager.
    hints = run("xprop", "-id", s.win, "WM_NORMAL_HINTS", "_MOTIF_WM_HINTS")
    check("minimum size: 240 by 470" in hints and "maximum size: 240 by 470" in hints,
          f"size hints: {hints}")
    motif = [int(v, 16) for v in hints.split("(_MOTIF_WM_HINTS) = ")[1].split(", ")]
    check(motif[1] & (0x02 | 0x08 | 0x10) == 0, f"window functions {motif[1]:#x}")
    check(motif[2] & (0x04 | 0x20 | 0x40) == 0, f"window decorations {motif[2]:#x}")
    shot = xsession.screenshot(os.path.join(s.args.out, "rezurudev-window.png"), s.win)
    check(os.path.getsize(shot) > 1000, "the screenshot is empty")


CASES = {name[len("case_"):]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    for name in ("program", "cli", "boards", "out"):
        parser.add_argument("--" + name, required=True, type=os.path.abspath)
    parser.add_argument("--inner", action="store_true")
    args = parser.parse_args()
    if not args.inner:
        return outer()
    try:
        CASES[args.case](Session(args))
        return 0
    except Failure as failure:
        shot = xsession.screenshot(os.path.join(args.out, "e2e-work", args.case, "failure.png"))
        print(f"FAIL: {args.case}: {failure} (the screen: {shot})", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
