"""The Windows programs end to end under Wine on a private Xvfb display, with real keyboard
and mouse input; a program's effect is read from the screen, its output and the board's
bytes.  e2e_win32.py --build-dir DIR [--hold rz_hold_file.exe] window|held|folders|board|run EXE
"""

import argparse
import os
import shutil
import subprocess
import sys
from pathlib import Path
from subprocess import PIPE

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import xsession
from xsession import check, keys, run, wait_until, wait_window, windows

BOARDS = os.path.join(HERE, "..", "data", "boards")
WINE_RUN = os.path.join(HERE, "..", "..", "cmake", "wine-run.sh")
DIALOG, MESSAGE, MAIN = "Lade PCB-Datei", "Information", "Rezurudev V1.1"
APPLY_AT, CANCEL_AT = (120, 405), (120, 445)  # client coordinates of the buttons
PIC, POWER = "kicad6/pic_programmer.kicad_pcb", "kicad8/power-pcb.kicad_pcb"


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def read(path):
    return Path(path).read_bytes()


def darkest(shot, x, y, width, height):  # 0 black .. 1 white
    return float(run("convert", shot, "-crop", "%dx%d+%d+%d" % (width, height, x, y), "+repage",
                     "-colorspace", "Gray", "-format", "%[fx:minima]", "info:"))


class Session(xsession.Xvfb):
    """Wine programs in the build folder's GUI prefix: not the unit tests' prefix, because
    the session ends by stopping its Wine server. With a prefix name, a new prefix of that
    name: Wine keeps the folder last chosen in a program's open dialog in the prefix."""

    def __init__(self, build_dir, hold_exe, new_prefix=None):
        super().__init__(1280, 1024)
        self.build_dir, self.hold_exe = build_dir, hold_exe
        prefix = os.path.join(build_dir, new_prefix or "wineprefix-gui")
        if new_prefix:
            shutil.rmtree(prefix, ignore_errors=True)
        os.environ.update(WINEPREFIX=prefix, WINEDEBUG="-all")

    def __enter__(self):
        super().__enter__()
        subprocess.run([WINE_RUN, "--prepare"], check=True, timeout=600)
        return self

    def __exit__(self, *exc):  # with only Debian's wine64, no wineserver is on the PATH
        server = next((p for p in ("/usr/lib/wine/wineserver", "/usr/lib/wine/wineserver64")
                       if os.access(p, os.X_OK)), "wineserver")
        run(server, "-k", timeout=60, must=False)
        super().__exit__(*exc)

    def start(self, exe, *args, **kwargs):
        return subprocess.Popen([WINE_RUN, os.path.join(self.build_dir, exe), *args], **kwargs)

    def dismiss_message(self):
        keys(wait_window(MESSAGE, timeout=60), "Return")
        wait_until("the message to go", lambda: not windows(MESSAGE))

    def expected_by_cli(self, work, board):  # what rezurudev-cli --apply makes of the board
        path = os.path.join(work, "expected-" + os.path.basename(board))
        shutil.copyfile(os.path.join(BOARDS, board), path)
        done = subprocess.run([WINE_RUN, os.path.join(self.build_dir, "rezurudev-cli.exe"),
                               "--apply", wine_path(path)], capture_output=True)
        check(done.returncode == 0, "rezurudev-cli --apply failed")
        return read(path)

    def hold(self, path):  # another Windows program holds the file with share mode 0
        holder = self.start(self.hold_exe, wine_path(path), stdin=PIPE, stdout=PIPE)
        check(holder.stdout.readline().strip() == b"held", "the holder could not open " + path)
        return holder

    def release(self, holder):
        holder.stdin.close()
        check(holder.wait(timeout=60) == 0, "the holder did not hold to the end")

    def open_in_dialog(self, path):
        """Types the path into the dialog's name field and confirms (None: cancels; "":
        confirms what the dialog offers)."""
        dialog = wait_window(DIALOG, timeout=120)
        if path is None:
            keys(dialog, "Escape")
        else:
            if path:
                keys(dialog, "ctrl+a")
                run("xdotool", "type", "--delay", "30", wine_path(path))
            keys(dialog, "Return")
        wait_until("the dialog to go", lambda: not windows(DIALOG))

    def main_window(self, name, rows, work):
        """The window stands centred at 240 by 470 and shows rows, or none."""
        window = wait_window(MAIN, timeout=60)
        wait_until("a 240x470 window", lambda: xsession.geometry(window)[2:] == [240, 470])
        x, y, width, height = xsession.geometry(window)
        check(abs(2 * x + width - 1280) <= 16 and abs(2 * y + height - 1024) <= 40,
              "the window must stand centred, at %d,%d" % (x, y))
        shot = os.path.join(work, name + ".png")
        wait_until("the main window to be drawn", lambda: darkest(
            xsession.screenshot(shot), x + 40, y + 395, 160, 20) < 0.5, interval=0.3)
        for left, list_width in ((13, 95), (123, 105)):  # the first rows of each list
            level = darkest(shot, x + left, y + 33, list_width, 30)
            check(level < 0.5 if rows else level > 0.9,
                  "%s: rows shown must be %s (%.2f)" % (name, rows, level))
        return window

    def window_run(self, work, name, board, rows, steps, after, held=False, path=None, cwd=None,
                   args=()):
        """Starts rezurudev.exe on a copy of board at path, by default work/NAME.kicad_pcb
        (None: cancels the dialog; "": a path to nothing), checks the main window, feeds it
        the steps (a point is a click, MESSAGE closes the message box, another text gives
        keys) and checks the board afterwards. With held, another program holds the board
        from the steps on. With cwd, the program starts there with args, and Enter takes
        what the dialog offers."""
        path = path or os.path.join(work, name + ".kicad_pcb")
        if board:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            shutil.copyfile(os.path.join(BOARDS, board), path)
            stamp = os.stat(path).st_mtime_ns
        program = self.start("rezurudev.exe", *args, cwd=cwd)
        self.open_in_dialog(None if board is None else "" if cwd else path)
        if not board:
            self.dismiss_message()  # "Datei ist nicht vorhanden"
        window = self.main_window(name, rows, work)
        holder = held and self.hold(path)
        for step in steps:
            if isinstance(step, tuple):
                run("xdotool", "mousemove", "--window", str(window), *map(str, step), "click", "1")
            elif step == MESSAGE:
                self.dismiss_message()
            else:
                keys(window, *step.split())
        check(program.wait(timeout=60) == 0, name + ": exit code")
        if held:
            self.release(holder)
        check(not [f for f in os.listdir(os.path.dirname(path)) if f.startswith(".")],
              "a temporary file is left")
        if after == "rewritten":
            check(read(path) == self.expected_by_cli(work, board),
                  name + ": the board must be byte for byte what rezurudev-cli --apply writes")
        elif after == "unchanged":
            check(read(path) == read(os.path.join(BOARDS, board))
                  and os.stat(path).st_mtime_ns == stamp, name + ": the board was written")
        else:
            check(not os.path.exists(path), name + ": nothing may be created at the path")


def case_window(s, work):
    # name, board, rows shown, input, the board afterwards.
    runs = [
        ("cancelled", None, False, [CANCEL_AT], None),
        # Apply after a failed load refuses with a message and creates nothing.
        ("missing", "", False, [APPLY_AT, MESSAGE], None),
        ("apply", PIC, True, [APPLY_AT], "rewritten"),
        # A click on a row decides nothing; the close request leaves the board alone.
        ("close", POWER, True, [(30, 40), "alt+F4"], "unchanged"),
        # From a window with no focused control. Tab stops: BeforeList, AfterList,
        # ApplyButton, CancelButton, and round again; Space presses the focused button.
        ("tab-7", POWER, True, ["Tab " * 7 + "space"], "rewritten"),
        ("shift-tab-2", POWER, True, ["shift+Tab shift+Tab space"], "rewritten"),
    ]
    for run_ in runs:
        s.window_run(work, *run_)


def case_held(s, work):
    # Held between loading and the rewrite: refused, told, the board as it was.
    s.window_run(work, "window", PIC, True, [APPLY_AT, MESSAGE], "unchanged", held=True)


def case_folders(s, work):
    """Enter in the dialog opens the board of the folder the program starts in, not that of
    the folder chosen in the run before."""
    a, b = (os.path.join(work, "Projekt " + x, "test.kicad_pcb") for x in "AB")
    s.window_run(work, "a", PIC, True, [CANCEL_AT], "unchanged", path=a, cwd=os.path.dirname(a))
    s.window_run(work, "b", PIC, True, [APPLY_AT], "rewritten", path=b, cwd=os.path.dirname(b))
    case_board(s, work, os.path.dirname(a))
    check(read(a) == read(os.path.join(BOARDS, PIC)), "the first folder's board was written")


def case_board(s, work, cwd=None):
    """rezurudev.exe BOARD, started in another folder, offers BOARD: Enter opens it."""
    board = os.path.join(work, "Projekt C", "Übung 1.kicad_pcb")
    s.window_run(work, "c", POWER, True, [APPLY_AT], "rewritten", path=board, cwd=cwd or work,
                 args=[wine_path(board)])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--hold")
    parser.add_argument("case", choices=("window", "held", "folders", "board", "run"))
    parser.add_argument("program", nargs="?")
    args = parser.parse_args()
    fresh = args.case in ("folders", "board")  # what Wine remembers must not carry over
    with Session(os.path.abspath(args.build_dir), args.hold,
                 "wineprefix-" + args.case if fresh else None) as s:
        if args.case == "run":
            return subprocess.Popen([WINE_RUN, args.program]).wait()
        work = os.path.join(s.build_dir, "tests", "win32", "e2e", args.case)
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        globals()["case_" + args.case](s, work)
    print("passed:", args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
