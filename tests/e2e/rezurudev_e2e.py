#!/usr/bin/python3
"""End-to-end tests of the rezurudev desktop program.

Each run starts its own X server (Xvfb, on a display number the server picks itself),
a session bus and the accessibility bus, starts the real program in a scratch folder,
drives it with real input (xdotool) and reads back what is on screen through the
accessibility tree (pyatspi). Everything it started is ended again, whatever happens.

    rezurudev_e2e.py --case NAME --program rezurudev --cli rezurudev-cli \
                     --boards tests/data/boards --out BUILD_DIR

Waits are on conditions with time-outs, never fixed sleeps, so a slow machine only
makes the run slower.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import time

SCREEN = (1024, 768)
CLIENT = (240, 470)
# Control geometry inside the client area: (x, y, width, height).
LAYOUT = {
    "BeforeLabel": (30, 10, 70, 20),
    "AfterLabel": (150, 10, 60, 20),
    "BeforeList": (10, 30, 100, 350),
    "AfterList": (120, 30, 110, 350),
    "ApplyButton": (10, 390, 220, 30),
    "CancelButton": (10, 430, 220, 30),
}
TITLE = "Rezurudev V1.1"
DIALOG_TITLE = "Lade PCB-Datei"
APPLY_TEXT = "Neue Rezurudev Übernehmen"
CANCEL_TEXT = "Keine Übernahme, Abbruch"

# Two pads and two vias on one line each, LF line ends: the rows and the rewrite are
# known without running the program.
WORKED_EXAMPLE = (
    "(pad 1 thru_hole circle (at 0 0) (size 1.6 1.6) (drill 0.762) (layers *.Cu))\n"
    "(pad 2 thru_hole circle (at 2.54 0) (size 1.6 1.6) (drill 1.016) (layers *.Cu))\n"
    "(via (at 10 10) (size 0.6) (drill 0.762) (layers F.Cu B.Cu))\n"
    "(via (at 12 10) (size 0.6) (drill 0.4) (layers F.Cu B.Cu))\n"
)
WORKED_BEFORE = ["0.762", "1.016"]
WORKED_AFTER = ["0.8", "1.0"]

WAIT = 30.0  # seconds for any one condition


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(what, probe, timeout=WAIT, interval=0.05):
    """Calls probe until it gives something true; returns that, or fails naming what."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        pump()
        try:
            value = probe()
            if value:
                return value
        except Failure:
            raise
        except Exception as error:  # the tree changes under our feet while we look
            last_error = error
        if time.monotonic() > deadline:
            raise Failure(f"timed out waiting for {what}" +
                          (f" (last error: {last_error})" if last_error else ""))
        time.sleep(interval)
        interval = min(interval * 1.5, 0.3)


def pump():
    """Lets the accessibility library take in what the program announced meanwhile
    (new and removed objects); without it, it answers from what it saw first."""
    if "GLib" in globals():
        context = GLib.MainContext.default()
        while context.pending():
            context.iteration(False)


def run(cmd, **kwargs):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True, timeout=WAIT, **kwargs).stdout


# ---- the outer process: X server and session bus ---------------------------------------

def outer(args):
    if args.case == "no_display":
        return inner(args)
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24",
         "-nolisten", "tcp", "-noreset"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    os.close(write_end)
    try:
        number = b""
        deadline = time.monotonic() + WAIT
        while not number.endswith(b"\n"):
            check(time.monotonic() < deadline and xvfb.poll() is None,
                  "Xvfb did not start: " + (xvfb.stderr.read().decode() if xvfb.poll() else ""))
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        check(number.strip().isdigit(), "Xvfb did not say which display it took")
        display = ":" + number.decode().strip()
        env = dict(os.environ)
        env["DISPLAY"] = display
        env.pop("WAYLAND_DISPLAY", None)
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        inner_cmd = ["dbus-run-session", "--", sys.executable, os.path.abspath(__file__),
                     "--inner"] + sys.argv[1:]
        session = subprocess.Popen(inner_cmd, env=env, start_new_session=True)
        try:
            return session.wait(timeout=args.timeout)
        except subprocess.TimeoutExpired:
            print(f"FAIL: the case took longer than {args.timeout} s", file=sys.stderr)
            os.killpg(session.pid, signal.SIGKILL)
            session.wait()
            return 1
    finally:
        os.close(read_end)
        xvfb.terminate()
        try:
            xvfb.wait(timeout=10)
        except subprocess.TimeoutExpired:
            xvfb.kill()
            xvfb.wait()


# ---- the inner process: accessibility bus, the program, the case ------------------------

class Session:
    def __init__(self, args):
        self.args = args
        self.work = os.path.join(args.out, "e2e-work", args.case)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.children = []
        self.program = None
        self.wm = False

    # -- processes --
    def spawn(self, cmd, **kwargs):
        proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                **kwargs)
        self.children.append(proc)
        return proc

    def close(self):
        for proc in reversed(self.children):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()

    def start_accessibility(self):
        self.spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])

        def bus_ready():
            out = subprocess.run(
                ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                 "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, timeout=5)
            return out.returncode == 0 and "unix:" in out.stdout
        wait_until("the accessibility bus", bus_ready)
        global pyatspi, GLib
        import pyatspi
        from gi.repository import GLib

    def start_window_manager(self):
        self.spawn(["openbox", "--sm-disable"])
        wait_until("the window manager",
                   lambda: "window id" in run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]))
        self.wm = True

    def folder(self, name, board_text=None, board_file=None):
        path = os.path.join(self.work, name)
        os.makedirs(path)
        if board_text is not None:
            with open(os.path.join(path, "test.kicad_pcb"), "w", newline="") as f:
                f.write(board_text)
        if board_file is not None:
            shutil.copyfile(board_file, os.path.join(path, "test.kicad_pcb"))
        return path

    def start(self, folder, extra_env=None):
        env = dict(os.environ)
        env.update({
            "GDK_BACKEND": "x11",
            "GSETTINGS_BACKEND": "memory",  # the file chooser keeps nothing
            "HOME": folder,
            "XDG_CONFIG_HOME": os.path.join(folder, ".config"),
            "XDG_DATA_HOME": os.path.join(folder, ".local"),
            "XDG_CACHE_HOME": os.path.join(folder, ".cache"),
        })
        env.pop("NO_AT_BRIDGE", None)
        # GTK, fontconfig and glib keep memory until exit on purpose; memory errors
        # are still caught in a sanitizer build.
        asan = env.get("ASAN_OPTIONS", "")
        env["ASAN_OPTIONS"] = (asan + ":" if asan else "") + "detect_leaks=0"
        if extra_env:
            env.update(extra_env)
        self.stderr_path = os.path.join(self.work, "program-stderr.txt")
        self.program = subprocess.Popen([self.args.program], cwd=folder, env=env,
                                        stdout=subprocess.DEVNULL,
                                        stderr=open(self.stderr_path, "w"))
        self.children.append(self.program)
        return self.program

    def exit_code(self):
        try:
            return self.program.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end")

    def alive(self):
        return self.program.poll() is None

    # -- accessibility --
    def app(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.get_process_id() == self.program.pid:
                return app
        return None

    def frame(self, title):
        app = self.app()
        if app is None:
            return None
        for i in range(app.childCount):
            child = app.getChildAtIndex(i)
            if child is not None and child.name == title and \
                    child.getState().contains(pyatspi.STATE_SHOWING):
                return child
        return None

    def wait_frame(self, title):
        return wait_until(f"the window {title!r}", lambda: self.frame(title))

    def wait_gone(self, title):
        wait_until(f"the window {title!r} to go", lambda: self.frame(title) is None)

    # -- X windows and input --
    def xwindow(self, title):
        def find():
            out = subprocess.run(["xdotool", "search", "--pid", str(self.program.pid),
                                  "--name", f"^{title}$"], stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, text=True, timeout=10).stdout
            ids = [line for line in out.split() if line.strip()]
            for win in ids:  # the mapped one
                info = subprocess.run(["xwininfo", "-id", win], stdout=subprocess.PIPE,
                                      stderr=subprocess.DEVNULL, text=True, timeout=10).stdout
                if "IsViewable" in info:
                    return win
            return None
        return wait_until(f"the X window {title!r}", find)

    def focus(self, win):
        # Without a window manager there is nobody to activate a window: give it the
        # input focus directly.
        if self.wm:
            run(["xdotool", "windowactivate", "--sync", win])
        else:
            run(["xdotool", "windowfocus", "--sync", win])

    def keys(self, win, *keys):
        self.focus(win)
        run(["xdotool", "key", "--delay", "40"] + list(keys))

    def click(self, x, y, button=1, repeat=1):
        # --sync waits for the pointer to arrive, which a pointer already there never
        # does: step aside first.
        run(["xdotool", "mousemove", str(x + 1), str(y), "mousemove", "--sync", str(x), str(y),
             "click", "--repeat", str(repeat), "--delay", "60", str(button)])


def extents(acc):
    e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (e.x, e.y, e.width, e.height)


def descendants(acc):
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is None:
            continue
        yield child
        yield from descendants(child)


def centre(acc):
    x, y, w, h = extents(acc)
    return x + w // 2, y + h // 2


class MainWindow:
    """The main window as the accessibility tree shows it."""

    def __init__(self, session):
        self.session = session
        self.frame = session.wait_frame(TITLE)
        self.win = session.xwindow(TITLE)

    def refresh(self):
        self.frame = self.session.wait_frame(TITLE)

    def client(self):
        """The client area: the panel that holds the controls (the frame may include
        the window manager's decorations)."""
        for i in range(self.frame.childCount):
            child = self.frame.getChildAtIndex(i)
            if child is not None and child.getRoleName() == "panel":
                return child
        raise Failure("the main window has no client area")

    def origin(self):
        x, y, _, _ = extents(self.client())
        return x, y

    def control(self, name):
        """The accessible of a control, found by what it is and where it stands."""
        role = {"BeforeLabel": "label", "AfterLabel": "label", "BeforeList": "scroll pane",
                "AfterList": "scroll pane", "ApplyButton": "push button",
                "CancelButton": "push button"}[name]
        ox, oy = self.origin()
        want = LAYOUT[name]
        for acc in descendants(self.frame):
            if acc.getRoleName() == role:
                x, y, _, _ = extents(acc)
                if (x - ox, y - oy) == want[:2]:
                    return acc
        raise Failure(f"no {role} at {want[:2]} for {name}")

    def table(self, name):
        pane = self.control(name)
        for acc in descendants(pane):
            if acc.getRoleName() == "table":
                return acc
        raise Failure(f"no table in {name}")

    def rows(self, name):
        return [c.name for c in descendants(self.table(name)) if c.getRoleName() == "table cell"]

    def cells(self, name):
        return [c for c in descendants(self.table(name)) if c.getRoleName() == "table cell"]

    def focused(self):
        """Which control has the keyboard focus, by name, or None."""
        ox, oy = self.origin()
        for acc in descendants(self.frame):
            if acc.getRoleName() in ("table", "push button") and \
                    acc.getState().contains(pyatspi.STATE_FOCUSED):
                x, y, _, _ = extents(acc)
                for name, (cx, cy, cw, ch) in LAYOUT.items():
                    if cx <= x - ox < cx + cw and cy <= y - oy < cy + ch:
                        return name
        return None

    def press(self, name, button=1, repeat=1):
        x, y = centre(self.control(name))
        self.session.click(x, y, button, repeat)


# ---- shared steps -----------------------------------------------------------------------

def name_field_holds(dialog, text):
    """Waits until the dialog's focused name field holds text."""
    wait_until(f"{text!r} in the name field", lambda: any(
        a.getRoleName() == "text" and a.getState().contains(pyatspi.STATE_FOCUSED) and
        a.queryText().getText(0, -1) == text for a in descendants(dialog)))


def folder_listed(dialog, name):
    """Waits until the dialog has read the folder and lists name."""
    wait_until(f"{name!r} in the dialog's file list", lambda: any(
        a.getRoleName() == "table cell" and a.name == name for a in descendants(dialog)))


def open_board_with_enter(s):
    """Enter in the open dialog: test.kicad_pcb is already in the name field."""
    dialog = s.wait_frame(DIALOG_TITLE)
    folder_listed(dialog, "test.kicad_pcb")
    name_field_holds(dialog, "test.kicad_pcb")
    s.keys(s.xwindow(DIALOG_TITLE), "Return")
    s.wait_gone(DIALOG_TITLE)
    return MainWindow(s)


def cli_rows(s, board):
    out = run([s.args.cli, board])
    rows = [line.split("\t") for line in out.splitlines()]
    return [r[0] for r in rows], [r[1] for r in rows]


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


# ---- the cases ----------------------------------------------------------------------------

def case_cancel_dialog(s):
    """Cancel the dialog: the message, OK, empty lists, cancel, exit 0, file untouched."""
    folder = s.folder("run", board_text=WORKED_EXAMPLE)
    board = os.path.join(folder, "test.kicad_pcb")
    before = read_bytes(board)
    s.start(folder)
    dialog = s.wait_frame(DIALOG_TITLE)
    # What the dialog offers: the board's name in the field, one filter.
    name_field_holds(dialog, "test.kicad_pcb")
    combos = [a for a in descendants(dialog) if a.getRoleName() == "combo box"]
    filters = [item.name for c in combos for item in descendants(c)
               if item.getRoleName() == "menu item"]
    check(filters == ["PCB-datei (*.kicad_pcb)"], f"filters offered: {filters}")

    cancel = wait_until("the dialog's cancel button", lambda: [
        a for a in descendants(dialog) if a.getRoleName() == "push button" and
        a.name.replace("_", "") in ("Cancel", "Abbrechen") and
        a.getState().contains(pyatspi.STATE_SHOWING)])[0]
    s.focus(s.xwindow(DIALOG_TITLE))
    s.click(*centre(cancel))
    box = s.wait_frame("Information")
    labels = [a.name for a in descendants(box) if a.getRoleName() == "label"]
    check("Datei ist nicht vorhanden" in labels, f"message box shows {labels}")
    buttons = [a for a in descendants(box) if a.getRoleName() == "push button"]
    check(len(buttons) == 1 and buttons[0].name.replace("_", "") in ("OK", "Ok"),
          f"message box buttons: {[b.name for b in buttons]}")
    icons = [a for a in descendants(box) if a.getRoleName() in ("icon", "image")]
    check(not icons, "the message box shows an icon")
    check(box.getState().contains(pyatspi.STATE_MODAL), "the message box is not modal")
    check(s.frame(TITLE) is None, "the main window is up before the message is closed")
    s.keys(s.xwindow("Information"), "Return")
    s.wait_gone("Information")

    main = MainWindow(s)
    check(main.rows("BeforeList") == [] and main.rows("AfterList") == [],
          "the lists are not empty")
    main.press("CancelButton")
    check(s.exit_code() == 0, "exit code after cancel is not 0")
    check(read_bytes(board) == before, "the board changed")
    check(sorted(os.listdir(folder)) == ["test.kicad_pcb"] or
          set(os.listdir(folder)) - {".config", ".local", ".cache"} == {"test.kicad_pcb"},
          f"new files in the folder: {os.listdir(folder)}")


def case_missing_file(s):
    """A typed name of a file that does not exist is returned; the load reports it."""
    folder = s.folder("run", board_text=WORKED_EXAMPLE)
    s.start(folder)
    dialog = s.wait_frame(DIALOG_TITLE)
    name_field_holds(dialog, "test.kicad_pcb")
    win = s.xwindow(DIALOG_TITLE)
    s.keys(win, "ctrl+a")
    run(["xdotool", "type", "--delay", "30", "gibtsnicht.kicad_pcb"])
    name_field_holds(dialog, "gibtsnicht.kicad_pcb")
    s.keys(win, "Return")
    box = s.wait_frame("Information")
    check("Datei ist nicht vorhanden" in [a.name for a in descendants(box)],
          "no 'Datei ist nicht vorhanden'")
    s.keys(s.xwindow("Information"), "Return")
    main = MainWindow(s)
    main.press("CancelButton")
    check(s.exit_code() == 0, "exit code is not 0")
    check(not os.path.exists(os.path.join(folder, "gibtsnicht.kicad_pcb")),
          "the missing file was created")


def case_apply_real_board(s):
    """A real KiCad board: the rows the command line lists, and the same rewrite."""
    source = os.path.join(s.args.boards, "kicad6", "ecc83-pp_v2.kicad_pcb")
    folder = s.folder("run", board_file=source)
    reference = s.folder("reference", board_file=source)
    board = os.path.join(folder, "test.kicad_pcb")
    expected_before, expected_after = cli_rows(s, os.path.join(reference, "test.kicad_pcb"))
    check(len(expected_before) > 3, "the reference board lists too few rows")
    # Values read off the file by hand: a pad drill of 0.8 and one of 3.048 mm.
    check("3.048" in expected_before and "3.0" in expected_after, "unexpected reference rows")

    s.start(folder)
    main = open_board_with_enter(s)
    check(main.rows("BeforeList") == expected_before,
          f"before list {main.rows('BeforeList')} != {expected_before}")
    check(main.rows("AfterList") == expected_after,
          f"after list {main.rows('AfterList')} != {expected_after}")
    main.press("ApplyButton")
    check(s.exit_code() == 0, "exit code after apply is not 0")

    run([s.args.cli, "--apply", os.path.join(reference, "test.kicad_pcb")])
    written = read_bytes(board)
    check(written != read_bytes(source), "the board was not rewritten")
    check(written == read_bytes(os.path.join(reference, "test.kicad_pcb")),
          "the window's rewrite differs from rezurudev-cli --apply")
    leftovers = [n for n in os.listdir(folder) if n.endswith(".tmp")]
    check(not leftovers, f"temporary files left: {leftovers}")


def case_close_request(s):
    """Alt+F4 through a window manager ends the run without writing; no min/max box."""
    s.start_window_manager()
    folder = s.folder("run", board_text=WORKED_EXAMPLE)
    board = os.path.join(folder, "test.kicad_pcb")
    s.start(folder)
    main = open_board_with_enter(s)
    check(main.rows("AfterList") == WORKED_AFTER, "rows of the worked example")
    allowed = run(["xprop", "-id", main.win, "_NET_WM_ALLOWED_ACTIONS"])
    # Openbox keeps minimizing whatever the window asks (the geometry case checks what
    # the window asks for); maximizing and resizing it takes away.
    for action in ("MAXIMIZE_HORZ", "MAXIMIZE_VERT", "RESIZE"):
        check(f"_NET_WM_ACTION_{action}" not in allowed, f"the window allows {action}")
    check("_NET_WM_ACTION_CLOSE" in allowed, "the window cannot be closed")
    s.keys(main.win, "alt+F4")
    check(s.exit_code() == 0, "exit code after a close request is not 0")
    check(read_bytes(board) == WORKED_EXAMPLE.encode(), "the board changed")


def case_tab_order(s):
    """Tab and Shift+Tab walk the four tab stops; focus survives deactivation; Space."""
    folder = s.folder("run", board_text=WORKED_EXAMPLE)
    board = os.path.join(folder, "test.kicad_pcb")
    for first_key, first_focus in (("Tab", "BeforeList"), ("shift+Tab", "CancelButton")):
        s.start(folder)
        main = open_board_with_enter(s)
        check(main.focused() is None, "a control has the focus before any key")
        s.keys(main.win, first_key)
        wait_until(f"{first_key} from no focus to reach {first_focus}",
                   lambda: main.focused() == first_focus)
        if first_key == "Tab":
            walk = [("Tab", "AfterList"), ("Tab", "ApplyButton"), ("Tab", "CancelButton"),
                    ("Tab", "BeforeList"), ("shift+Tab", "CancelButton"),
                    ("shift+Tab", "ApplyButton"), ("shift+Tab", "AfterList"),
                    ("shift+Tab", "BeforeList"), ("Tab", "AfterList"),
                    ("Tab", "ApplyButton")]
            for key, expected in walk:
                s.keys(main.win, key)
                wait_until(f"{key} to reach {expected}", lambda: main.focused() == expected)
            # Another window takes the focus and gives it back.
            other = s.spawn(["xmessage", "-geometry", "+0+0", "other window"])
            other_win = wait_until("the other window", lambda: run(
                ["xdotool", "search", "--sync", "--pid", str(other.pid), "--name", "xmessage"]
            ).split()[0])
            s.focus(other_win)
            wait_until("the main window to lose the focus",
                       lambda: not main.frame.getState().contains(pyatspi.STATE_ACTIVE))
            s.focus(main.win)
            wait_until("the main window to be active again",
                       lambda: main.frame.getState().contains(pyatspi.STATE_ACTIVE))
            wait_until("the focus back on ApplyButton", lambda: main.focused() == "ApplyButton")
            other.terminate()
            s.keys(main.win, "Tab")
            wait_until("Tab to reach CancelButton", lambda: main.focused() == "CancelButton")
        # Space on the focused cancel button acts as a click.
        s.keys(main.win, "space")
        check(s.exit_code() == 0, "Space on the cancel button did not end the run with 0")
    check(read_bytes(board) == WORKED_EXAMPLE.encode(), "the board changed")


def case_list_interaction(s):
    """Nothing done to the lists, the background or the window ends the loop."""
    source = os.path.join(s.args.boards, "kicad6", "ecc83-pp_v2.kicad_pcb")
    folder = s.folder("run", board_file=source)
    board = os.path.join(folder, "test.kicad_pcb")
    s.start(folder)
    main = open_board_with_enter(s)

    def selected(name):
        return [c.name for c in main.cells(name) if c.getState().contains(pyatspi.STATE_SELECTED)]

    before_cells = main.cells("BeforeList")
    after_cells = main.cells("AfterList")
    check(len(before_cells) >= 4, "too few rows to play with")
    # Click, double click, right click and a drag on rows.
    s.click(*centre(before_cells[1]))
    wait_until("row 2 selected", lambda: selected("BeforeList") == [before_cells[1].name])
    s.click(*centre(after_cells[2]), repeat=2)
    wait_until("after row 3 selected", lambda: selected("AfterList") == [after_cells[2].name])
    s.click(*centre(after_cells[0]), button=3)
    x, y = centre(before_cells[0])
    run(["xdotool", "mousemove", str(x + 1), str(y), "mousemove", "--sync", str(x), str(y),
         "mousedown", "1"])
    run(["xdotool", "mousemove", "--sync", str(x), str(y + 40)])
    run(["xdotool", "mousemove", "--sync", str(x + 5), str(y + 60), "mouseup", "1"])
    check(s.alive(), "the run ended after clicks in the lists")
    # Arrow keys in the focused list move its selection.
    s.keys(main.win, "Down", "Down")
    wait_until("the selection moved by the arrow keys",
               lambda: len(selected("BeforeList")) == 1 and
               selected("BeforeList") != [before_cells[0].name])
    # The background and a label, once and twice; a right click.
    ox, oy = main.origin()
    s.click(ox + 5, oy + 465)
    s.click(ox + 5, oy + 465, repeat=2)
    s.click(ox + 5, oy + 465, button=3)
    s.click(*centre(main.control("BeforeLabel")))
    # Moving the window, and switching to another window and back.
    run(["xdotool", "windowmove", "--sync", main.win, "100", "80"])
    wait_until("the window moved", lambda: main.origin() == (100, 80))
    other = s.spawn(["xmessage", "-geometry", "+600+0", "other window"])
    other_win = wait_until("the other window", lambda: run(
        ["xdotool", "search", "--sync", "--pid", str(other.pid), "--name", "xmessage"]).split()[0])
    s.focus(other_win)
    wait_until("the main window inactive",
               lambda: not main.frame.getState().contains(pyatspi.STATE_ACTIVE))
    s.focus(main.win)
    wait_until("the main window active",
               lambda: main.frame.getState().contains(pyatspi.STATE_ACTIVE))
    # The loop is still there: the selection follows a further click...
    s.click(*centre(main.cells("BeforeList")[3]))
    wait_until("row 4 selected", lambda: selected("BeforeList") == [before_cells[3].name])
    check(s.alive(), "the run ended without a decision")
    # ...and cancel still decides.
    main.press("CancelButton")
    check(s.exit_code() == 0, "exit code after cancel is not 0")
    check(read_bytes(board) == read_bytes(source), "the board changed")


def case_geometry(s):
    """The window and its six controls stand where they belong; a screenshot is kept."""
    # Enough distinct drills that the lists must scroll.
    values = [f"{0.3 + k * 0.05:.2f}" for k in range(40)]
    pads = "".join(f"(pad {k} thru_hole circle (at {k} 0) (size 2 2) (drill {v}))\n"
                   for k, v in enumerate(reversed(values)))
    folder = s.folder("run", board_text=pads)
    s.start(folder)
    main = open_board_with_enter(s)
    check(extents(main.client()) == ((SCREEN[0] - CLIENT[0]) // 2,
                                     (SCREEN[1] - CLIENT[1]) // 2, CLIENT[0], CLIENT[1]),
          f"client area {extents(main.client())}, not centred 240x470")
    ox, oy = main.origin()
    texts = {"BeforeLabel": " Vorher", "AfterLabel": " Nachher", "ApplyButton": APPLY_TEXT,
             "CancelButton": CANCEL_TEXT}
    for name, (x, y, w, h) in LAYOUT.items():
        acc = main.control(name)
        got = extents(acc)
        check(got == (ox + x, oy + y, w, h), f"{name} at {got}, want {(ox + x, oy + y, w, h)}")
        if name in texts:
            check(acc.name == texts[name], f"{name} shows {acc.name!r}")
    # All rows, sorted, in the order they were added (the file lists them backwards).
    check(main.rows("BeforeList") == values, f"before list: {main.rows('BeforeList')}")
    # The rows do not fit: a vertical scroll bar shows, the height stays.
    for name in ("BeforeList", "AfterList"):
        bars = [a for a in descendants(main.control(name)) if a.getRoleName() == "scroll bar"
                and a.getState().contains(pyatspi.STATE_SHOWING)]
        check(any(a.getState().contains(pyatspi.STATE_VERTICAL) for a in bars),
              f"{name} shows no vertical scroll bar")
    # Fixed size, no minimize and no maximize box, for any window manager.
    hints = run(["xprop", "-id", main.win, "WM_NORMAL_HINTS", "_MOTIF_WM_HINTS"])
    check("minimum size: 240 by 470" in hints and "maximum size: 240 by 470" in hints,
          f"size hints: {hints}")
    motif = [int(v, 16) for v in hints.split("_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = ")[1]
             .strip().split(", ")]
    functions, decorations = motif[1], motif[2]
    check(functions & (0x02 | 0x08 | 0x10) == 0, f"window functions {functions:#x}")
    check(decorations & (0x04 | 0x20 | 0x40) == 0, f"window decorations {decorations:#x}")
    shot = os.path.join(s.args.out, "rezurudev-window.png")
    run(["import", "-window", main.win, shot])
    check(os.path.getsize(shot) > 1000, "the screenshot is empty")
    main.press("CancelButton")
    check(s.exit_code() == 0, "exit code after cancel is not 0")


def case_german_locale(s):
    """Under a German locale the numbers still use the point."""
    check("de_DE.utf8" in run(["locale", "-a"]).split(),
          "the de_DE.UTF-8 locale is missing (scripts/setup.sh makes it)")
    folder = s.folder("run", board_text=WORKED_EXAMPLE)
    board = os.path.join(folder, "test.kicad_pcb")
    s.start(folder, {"LANG": "de_DE.UTF-8", "LC_ALL": "de_DE.UTF-8", "LANGUAGE": "de"})
    main = open_board_with_enter(s)
    check(main.rows("BeforeList") == WORKED_BEFORE, f"before {main.rows('BeforeList')}")
    check(main.rows("AfterList") == WORKED_AFTER, f"after {main.rows('AfterList')}")
    check(not any("," in r for r in main.rows("AfterList")), "a comma in the after list")
    main.press("ApplyButton")
    check(s.exit_code() == 0, "exit code after apply is not 0")
    check(read_bytes(board) == WORKED_EXAMPLE.replace("0.762", "0.8").replace("1.016", "1.0")
          .replace("\n", "\r\n").encode(), "the rewrite under de_DE differs")


def case_no_display(s):
    """Without a display: a word on standard error, a non-zero exit, no file touched."""
    folder = s.folder("run", board_text=WORKED_EXAMPLE)
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env["ASAN_OPTIONS"] = (env.get("ASAN_OPTIONS", "") + ":detect_leaks=0").lstrip(":")
    done = subprocess.run([s.args.program], cwd=folder, env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True, timeout=WAIT)
    check(done.returncode != 0, "exit code 0 without a display")
    check("display" in done.stderr, f"standard error says: {done.stderr!r}")
    check(sorted(os.listdir(folder)) == ["test.kicad_pcb"], f"folder: {os.listdir(folder)}")
    check(read_bytes(os.path.join(folder, "test.kicad_pcb")) == WORKED_EXAMPLE.encode(),
          "the board changed")


CASES = {name[len("case_"):]: fn for name, fn in globals().items() if name.startswith("case_")}


def inner(args):
    s = Session(args)
    try:
        if args.case != "no_display":
            s.start_accessibility()
        CASES[args.case](s)
        print(f"PASS: {args.case}")
        return 0
    except Failure as failure:
        print(f"FAIL: {args.case}: {failure}", file=sys.stderr)
        if "DISPLAY" in os.environ:
            shot = os.path.join(s.work, "failure.png")
            subprocess.run(["import", "-window", "root", shot], timeout=WAIT,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            print(f"the screen at the failure: {shot}", file=sys.stderr)
        if s.program is not None and os.path.exists(getattr(s, "stderr_path", "")):
            with open(s.stderr_path) as f:
                said = f.read().strip()
            if said:
                print("program said:\n" + said, file=sys.stderr)
        return 1
    finally:
        s.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    parser.add_argument("--program", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--boards", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--timeout", type=float, default=150)
    parser.add_argument("--inner", action="store_true")
    args = parser.parse_args()
    for name in ("program", "cli", "boards", "out"):
        setattr(args, name, os.path.abspath(getattr(args, name)))
    return inner(args) if args.inner else outer(args)


if __name__ == "__main__":
    sys.exit(main())
