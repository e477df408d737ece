"""rezurudev-cli as a user runs it: arguments, exit statuses, output forms, -o and KiCad's
lock file, on real boards.  cli_test.py --cli PROGRAM --boards DIR [--emulator RUNNER]
(under Wine the runner is cmake/wine-run.sh; paths are given relative to a scratch folder).
"""

import argparse
import csv
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile

BOARDS = ["kicad5/microwave", "kicad6/complex_hierarchy", "kicad6/ecc83-pp_v2",
          "kicad6/pic_programmer", "kicad7/mitayi-pico-rp2040-r0.5", "kicad7/zswatch",
          "kicad8/power-pcb", "kicad9/mitayi-pico-d1", "kicad9/open-4in1-esc",
          "kicad10/open-4in1-esc"]
RP2040, D1, ZSWATCH = "kicad7/mitayi-pico-rp2040-r0.5", "kicad9/mitayi-pico-d1", "kicad7/zswatch"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


class Cli:
    def __init__(self, args, work):
        self.command = ([args.emulator] if args.emulator else []) + [args.cli]
        self.boards, self.work = args.boards, work
        self.windows = bool(args.emulator)

    def board(self, name, as_name="b.kicad_pcb"):  # a fresh copy in the scratch folder
        shutil.copyfile(os.path.join(self.boards, name + ".kicad_pcb"), self.path(as_name))
        return as_name

    def path(self, name):
        return os.path.join(self.work, name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def run(self, *args, env=None):  # exit status, stdout and stderr (LF line ends)
        done = subprocess.run(self.command + list(args), cwd=self.work, capture_output=True,
                              timeout=300, env=dict(os.environ, **(env or {})))
        text = lambda b: b.decode("utf-8").replace("\r\n", "\n")
        return done.returncode, text(done.stdout), text(done.stderr)

    def rows(self, *args):  # the JSON rows of `list`, by drill text
        status, out, err = self.run("list", "--format", "json", *args)
        check(status == 0, f"list {args}: {status} {err}")
        return {row["drill"]: row for row in json.loads(out)["rows"]}


def classic_forms_unchanged(cli):
    # Without options, list and apply give the rows and bytes of the form the window shares.
    for name in BOARDS:
        classic = cli.run(cli.board(name))
        check(cli.run("list", "b.kicad_pcb")[:2] == classic[:2], name + ": list differs")
        cli.run("--apply", "b.kicad_pcb")
        window_bytes = cli.read("b.kicad_pcb")
        status, out, _ = cli.run("apply", cli.board(name))
        check((status, out) == classic[:2] and cli.read("b.kicad_pcb") == window_bytes,
              name + ": apply differs")


def each_selection_protects_something(cli):
    # Each option keeps what the default changes: the USB pegs (J2, non-plated, locked pads
    # on the KiCad 7 board), locked headers whose "1" would be written "1.0", and the vias
    # that follow a pad drill.
    for board, option, drill, after, kept in (
            (RP2040, [], "0.65", 0.7, None), (D1, [], "0.65", 0.7, None),
            (RP2040, ["--keep", "J2"], "0.65", 0.65, "pattern"),
            (D1, ["--keep", "*Connector_USB:*"], "0.65", 0.65, "pattern"),
            (RP2040, ["--plated-only"], "0.65", 0.65, "non_plated"),
            (D1, ["--plated-only"], "0.65", 0.65, "non_plated"),
            (RP2040, ["--keep-locked"], "0.65", 0.65, "locked"),
            (D1, ["--keep-locked"], "1", 1.0, "locked")):
        row = cli.rows(*option, cli.board(board))[drill]
        check((row["after"], row["kept"]) == (after, kept), f"{board} {option}: {row}")
    cli.board(ZSWATCH)
    check(cli.rows("b.kicad_pcb")["0.25"]["vias_following"] == 158, "zswatch: vias follow")
    check(cli.rows("--vias", "keep", "b.kicad_pcb")["0.25"]["vias_following"] == 0,
          "zswatch: --vias keep")
    # Applied, with each line's own end: only drill lines differ, the pegs' not at all.
    before = cli.read(cli.board(RP2040)).split(b"\n")
    status, _, _ = cli.run("apply", "--plated-only", "--line-ends", "keep", "b.kicad_pcb")
    after = cli.read("b.kicad_pcb").split(b"\n")
    changed = [b for a, b in zip(after, before) if a != b]
    check(status == 0 and len(after) == len(before) and len(changed) == 9 + 2 + 94 and
          all(b"(drill " in line and b"0.65" not in line for line in changed),
          "apply --plated-only changed other lines")


def output_forms(cli):
    # Offset and oval holes; tools, warnings and vias; CSV with the rows' columns.
    cli.board("kicad6/complex_hierarchy")
    row = cli.rows("b.kicad_pcb")["0.75 (offset 0 0.4"]
    check((row["before"], row["after"], row["pads"]) == (0.75, 0.8, 18), f"offset: {row}")
    cli.board(RP2040)
    check(cli.rows("--round", "up", "b.kicad_pcb")["oval 0.6 1.2"]["after"] == [0.6, 1.2],
          "oval as [W, H]")
    status, out, _ = cli.run("list", "--format", "json", "--round", "up", cli.board(ZSWATCH))
    report = json.loads(out)
    check(report["kicad_version"] == 20221018 and report["tools_after"] == [0.3, 0.4, 0.6, 1.2]
          and {"drill": 0.25, "count": 158} in report["vias"], "zswatch json")
    warning = report["warnings"][0]
    check((warning["kind"], warning["ring_after"], warning["count"]) ==
          ("via_ring_below_minimum", 0.075, 158), f"warning: {warning}")
    status, out, _ = cli.run("list", "--format", "csv", "--keep", "J2", cli.board(RP2040))
    table = list(csv.DictReader(io.StringIO(out)))
    check(table[1] == {"before": "0.65", "after": "0.65", "pads": "2", "plated": "0",
                       "non_plated": "2", "references": "J2", "vias_following": "0",
                       "kept": "pattern"}, f"csv: {table[1]}")
    # Text: the two columns first, then what the options add.
    status, out, _ = cli.run("list", "--vias", "keep", cli.board(ZSWATCH))
    check(out.startswith("0.25\t0.3\n0.6\t0.6\n1.2\t1.2\n\nBelassen:\n  0.25: 158 Vias") and
          "Bohrwerkzeuge: 4 vorher, 5 nachher" in out, "text report: " + out)


def exit_statuses_and_messages(cli):
    cli.board(ZSWATCH)
    for args, status, said in (
            (["list", "none.kicad_pcb"], 1, "Datei ist nicht vorhanden"),
            (["list", "b.kicad_pcb"], 0, "Warnung: 158 Vias 0.25 → 0.3 mm"),
            (["list", "--grid", "0,05", "b.kicad_pcb"], 3, "--grid: „0,05“"),
            (["check", "--drills", "0.3,x", "b.kicad_pcb"], 3, "--drills"),
            (["apply", "--vias", "none", "b.kicad_pcb"], 3, "--vias"),
            (["list", "--max-change"], 3, "--max-change"),
            (["list", "--bogus", "b.kicad_pcb"], 3, "--bogus"),
            (["list", "--keep", "J2", "none.kicad_pcb", "b.kicad_pcb"], 3, "b.kicad_pcb"),
            (["check", "b.kicad_pcb"], 5, "1 Bohrgröße liegt nicht im Ziel"),
            (["check", "--keep", "*", "b.kicad_pcb"], 0, "im Ziel"),
            (["--apply", "-o", "b.kicad_pcb"], 3, "-o")):
        got, out, err = cli.run(*args)
        check(got == status and said in err, f"{args}: {got} {err}")
    check(cli.run("check", "--format", "csv", "b.kicad_pcb")[1].splitlines()[1:] ==
          ["0.25,0.3,9,9,0,IC101,158,"], "check lists the offenders")
    check(cli.read("b.kicad_pcb") == cli.read(cli.board(ZSWATCH, "z.kicad_pcb")), "untouched")
    cli.run("apply", "b.kicad_pcb")
    check(cli.run("check", "b.kicad_pcb")[0] == 0, "on target after apply")


def other_file_and_kicad_lock(cli):
    cli.run("--apply", cli.board(D1, "e.kicad_pcb"))
    expected = cli.read("e.kicad_pcb")
    original = cli.read(cli.board(D1))
    status, _, err = cli.run("apply", "-o", "out/n.kicad_pcb", "b.kicad_pcb")
    check(status == 2 and "Ordner" in err, "-o into a missing folder: " + err)
    os.mkdir(cli.path("out"))
    status, _, _ = cli.run("apply", "-o", "out/n.kicad_pcb", "b.kicad_pcb")
    check(status == 0 and cli.read("out/n.kicad_pcb") == expected and
          cli.read("b.kicad_pcb") == original, "-o writes the new board, the input stays")
    with open(cli.path("~b.kicad_pcb.lck"), "w") as f:
        f.write("{}")
    status, _, err = cli.run("apply", "b.kicad_pcb")
    check(status == 2 and "~b.kicad_pcb.lck" in err and cli.read("b.kicad_pcb") == original,
          "refused while KiCad has the board open: " + err)
    check(cli.run("apply", "--force", "b.kicad_pcb")[0] == 0 and
          cli.read("b.kicad_pcb") == expected, "--force writes")
    check(sorted(os.listdir(cli.work)) == ["b.kicad_pcb", "e.kicad_pcb", "out",
                                           "~b.kicad_pcb.lck"], "nothing left behind")


def help_and_version(cli):
    for lang, first in (("de_DE.UTF-8", "Aufruf:"), ("C", "Aufruf:"), ("en_GB.UTF-8", "Usage:")):
        for args in (["--help"], ["check", "-h"]):
            status, out, _ = cli.run(*args, env={"LC_ALL": "", "LC_MESSAGES": "", "LANG": lang})
            check(status == 0 and out.startswith(first) and "--min-ring" in out, lang + " help")
    check(cli.run("--version")[:2] == (0, "rezurudev-cli 1.1\n"), "version")


def umlaut_folder_and_wildcards(cli):
    # A board in a folder named with umlauts and spaces is listed and rewritten. The Windows
    # program expands wildcards in file names (not `--keep *`); on Linux the shell does.
    cli.run("--apply", cli.board(D1, "e.kicad_pcb"))
    os.mkdir(cli.path("Platinen für Größe Ä"))
    board = cli.board(D1, "Platinen für Größe Ä/b.kicad_pcb")
    listed, matched, missing = (cli.run("list", "--keep", "*", "Platinen für Größe Ä/" + name)
                                for name in ("b.kicad_pcb", "*.kicad_pcb", "nichts*.kicad_pcb"))
    check(listed[0] == 0 and "0.65\t0.65\n" in listed[1], f"{listed}")  # kept: `*` no file
    check(matched == listed if cli.windows else matched[0] == 1, f"{matched}")
    check(missing[0] == 1 and "Datei ist nicht vorhanden: Platinen für Größe Ä/nichts*" in
          missing[2], f"{missing}")
    check(cli.run("apply", board)[0] == 0 and cli.read(board) == cli.read("e.kicad_pcb"),
          "rewritten in the umlaut folder")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--boards", required=True)
    parser.add_argument("--emulator")
    parser.add_argument("case")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="rz-cli-") as work:
        globals()[args.case](Cli(args, work))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
