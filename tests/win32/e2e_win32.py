"""End-to-end runs of rezurudev.exe under Wine on a private Xvfb display, driven by real
keyboard and mouse input (xdotool). What the program did is read from the screen (window
titles and geometry, a screenshot's pixels) and from the board file's bytes.

    e2e_win32.py --build-dir DIR CASE
"""

import argparse
import filecmp
import os
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from gui_session import GuiSession, wait_until  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
BOARDS = os.path.join(HERE, "..", "data", "boards")

DIALOG = "Lade PCB-Datei"
MESSAGE = "Information"
MAIN = "Rezurudev V1.1"

# Client coordinates of the main window's parts.
APPLY_AT = (120, 405)
CANCEL_AT = (120, 445)
BEFORE_ROWS = (13, 33, 95, 30)  # x, y, width, height: the first rows of each list
AFTER_ROWS = (123, 33, 105, 30)


class Run:
    """One start of the program, from the open dialog to its exit."""

    def __init__(self, session, build_dir, work):
        self.session = session
        self.build_dir = build_dir
        self.work = work
        self.log = open(os.path.join(work, "program.log"), "wb")
        self.process = session.start(os.path.join(build_dir, "rezurudev.exe"), stdout=self.log,
                                     stderr=subprocess.STDOUT)
        self.dialog = session.wait_window(DIALOG, timeout=120)

    def choose(self, unix_path):
        """Types the file's path into the dialog's name field and confirms."""
        self.session.focus(self.dialog)
        self.session.key("ctrl+a")
        self.session.type(wine_path(unix_path))
        self.session.key("Return")
        self.session.wait_gone(DIALOG)

    def cancel_dialog(self):
        self.session.focus(self.dialog)
        self.session.key("Escape")
        self.session.wait_gone(DIALOG)

    def dismiss_message(self):
        box = self.session.wait_window(MESSAGE)
        self.session.focus(box)
        self.session.key("Return")
        self.session.wait_gone(MESSAGE)

    def main_window(self):
        window = self.session.wait_window(MAIN)
        # The lists are filled right after the window is shown; wait until it is drawn.
        wait_until(lambda: self.session.geometry(window)[2] == 240, 30, "the main window")
        return window

    def list_darkness(self, window, name):
        """Darkest grey level in the first rows of both lists (0 black .. 1 white)."""
        x, y, _, _ = self.session.geometry(window)
        shot = os.path.join(self.work, name)

        def drawn():
            self.session.screenshot(shot)
            # The buttons' text is drawn last; once it shows, the lists are filled too.
            return self.session.darkest(shot, x + 40, y + 395, 160, 20) < 0.5

        wait_until(drawn, 30, "the main window to be drawn", interval=0.3)
        return (self.session.darkest(shot, x + BEFORE_ROWS[0], y + BEFORE_ROWS[1],
                                     BEFORE_ROWS[2], BEFORE_ROWS[3]),
                self.session.darkest(shot, x + AFTER_ROWS[0], y + AFTER_ROWS[1],
                                     AFTER_ROWS[2], AFTER_ROWS[3]))

    def exit_code(self, timeout=60):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise AssertionError("the program did not end")
        finally:
            self.log.close()


def wine_path(unix_path):
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def prepare_board(work, name, board):
    """A copy of a real board to open, and the bytes rezurudev-cli --apply makes of it."""
    target = os.path.join(work, name)
    shutil.copyfile(os.path.join(BOARDS, board), target)
    return target


def expected_by_cli(session, build_dir, work, board):
    expected = os.path.join(work, "expected-" + os.path.basename(board))
    shutil.copyfile(os.path.join(BOARDS, board), expected)
    result = session.run(os.path.join(build_dir, "rezurudev-cli.exe"), "--apply",
                         wine_path(expected), capture_output=True)
    check(result.returncode == 0, "rezurudev-cli --apply failed: %r" % result.stdout[-300:])
    return expected


# --- the cases ------------------------------------------------------------------------------

def case_cancelled_dialog(session, build_dir, work):
    run = Run(session, build_dir, work)
    run.cancel_dialog()
    run.dismiss_message()  # "Datei ist nicht vorhanden"
    window = run.main_window()
    before, after = run.list_darkness(window, "cancelled.png")
    check(before > 0.9 and after > 0.9, "the lists must be empty (%.2f, %.2f)" % (before, after))
    session.click(window, *CANCEL_AT)
    check(run.exit_code() == 0, "exit code")


def case_missing_file(session, build_dir, work):
    missing = os.path.join(work, "gibt-es-nicht.kicad_pcb")
    run = Run(session, build_dir, work)
    run.choose(missing)
    run.dismiss_message()
    window = run.main_window()
    before, after = run.list_darkness(window, "missing.png")
    check(before > 0.9 and after > 0.9, "the lists must be empty")
    session.focus(window)
    session.key("alt+F4")
    check(run.exit_code() == 0, "exit code")
    check(not os.path.exists(missing), "nothing may be created at the chosen path")


def case_apply_real_board(session, build_dir, work):
    board = "kicad6/pic_programmer.kicad_pcb"
    path = prepare_board(work, "pic_programmer.kicad_pcb", board)
    expected = expected_by_cli(session, build_dir, work, board)
    check(not filecmp.cmp(path, expected, shallow=False), "the board must need a change")
    run = Run(session, build_dir, work)
    run.choose(path)
    window = run.main_window()
    x, y, width, height = session.geometry(window)
    check((width, height) == (240, 470), "client area %dx%d" % (width, height))
    check(abs(x + width // 2 - 640) <= 8 and abs(y + height // 2 - 512) <= 20,
          "the window must stand centred, at %d,%d" % (x, y))
    before, after = run.list_darkness(window, "main-window.png")
    check(before < 0.5 and after < 0.5, "both lists must show rows")
    shutil.copyfile(os.path.join(work, "main-window.png"),
                    os.path.join(build_dir, "rezurudev-win32-main-window.png"))
    session.click(window, *APPLY_AT)
    check(run.exit_code() == 0, "exit code")
    check(filecmp.cmp(path, expected, shallow=False),
          "the board must be byte for byte what rezurudev-cli --apply writes")


def case_board_without_drills(session, build_dir, work):
    board = "kicad5/microwave.kicad_pcb"
    path = prepare_board(work, "microwave.kicad_pcb", board)
    expected = expected_by_cli(session, build_dir, work, board)
    run = Run(session, build_dir, work)
    run.choose(path)
    window = run.main_window()
    before, after = run.list_darkness(window, "no-drills.png")
    check(before > 0.9 and after > 0.9, "the lists must be empty")
    session.click(window, *APPLY_AT)
    check(run.exit_code() == 0, "exit code")
    check(filecmp.cmp(path, expected, shallow=False),
          "the board must be byte for byte what rezurudev-cli --apply writes")


def case_close_request(session, build_dir, work):
    board = "kicad8/power-pcb.kicad_pcb"
    path = prepare_board(work, "power-pcb.kicad_pcb", board)
    stamp = os.stat(path).st_mtime_ns
    run = Run(session, build_dir, work)
    run.choose(path)
    window = run.main_window()
    run.list_darkness(window, "close.png")
    session.focus(window)
    session.key("alt+F4")  # the window menu's close: WM_CLOSE
    check(run.exit_code() == 0, "exit code")
    check(filecmp.cmp(path, os.path.join(BOARDS, board), shallow=False), "the board changed")
    check(os.stat(path).st_mtime_ns == stamp, "the board was written")


def case_tab_order(session, build_dir, work):
    board = "kicad8/power-pcb.kicad_pcb"
    expected = expected_by_cli(session, build_dir, work, board)
    original = os.path.join(BOARDS, board)
    # Keys from a window with no focused control, then Space on whatever has the focus.
    # Tab stops: BeforeList, AfterList, ApplyButton, CancelButton, and round again.
    runs = [
        (["Tab"] * 7, expected),        # once round, then on to the apply button
        (["Tab"] * 4, original),        # the cancel button
        (["shift+Tab"], original),      # backwards from nowhere: the cancel button
        (["shift+Tab"] * 2, expected),  # then the apply button
    ]
    for number, (keys, result) in enumerate(runs):
        path = prepare_board(work, "tab-%d.kicad_pcb" % number, board)
        run = Run(session, build_dir, work)
        run.choose(path)
        window = run.main_window()
        run.list_darkness(window, "tab-%d.png" % number)
        session.focus(window)
        session.key(*keys)
        session.key("space")
        check(run.exit_code() == 0, "exit code after %s" % keys)
        check(filecmp.cmp(path, result, shallow=False),
              "after %s and Space the board must be %s" %
              (" ".join(keys), "rewritten" if result == expected else "unchanged"))


CASES = {name[len("case_"):]: f for name, f in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("case", choices=sorted(CASES))
    args = parser.parse_args()
    build_dir = os.path.abspath(args.build_dir)
    work = os.path.join(build_dir, "tests", "win32", "e2e", args.case)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    with GuiSession(build_dir) as session:
        CASES[args.case](session, build_dir, work)
    print("passed:", args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
