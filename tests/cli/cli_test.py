"""rezurudev-cli as a user runs it: arguments, exit statuses, output forms, -o and KiCad's
lock file, on real boards.  cli_test.py --cli PROGRAM --boards DIR [--emulator RUNNER]
(under Wine the runner is cmake/wine-run.sh; paths are given relative to a scratch folder).
"""

import argparse
import csv
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

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
    # Without options, list and apply give the rows and bytes of the form the window shares;
    # board by board the engine tests compare them, here the defaults of the options count.
    for name in (ZSWATCH, "kicad10/open-4in1-esc"):
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
    # Text: the two columns first, then what the options add; the nine holes of one
    # thermal pad share one warning.
    status, out, _ = cli.run("list", "--vias", "keep", "--min-ring", "0.15", cli.board(ZSWATCH))
    check(out.startswith("0.25\t0.3\n0.6\t0.6\n1.2\t1.2\n\nBelassen:\n  0.25: 158 Vias") and
          "\n  IC101 Pad 33 (9 Bohrungen): Bohrung 0.25 → 0.3 mm, Restring 0.125 mm → 0.1 mm"
          in out and out.count("IC101") == 1 and "Bohrwerkzeuge: 4 vorher, 5 nachher" in out,
          "text report: " + out)


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
            (["list", "--keep", "J2", "none.kicad_pcb", "b.kicad_pcb"], 1,
             "none.kicad_pcb: Datei ist nicht vorhanden"),  # one pattern per --keep
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


LIBRARY = ["TO-92_HandSolder", "R_Axial_DIN0204_L3.6mm_D1.6mm_P7.62mm_Horizontal",
           "D_DO-41_SOD81_P12.70mm_Horizontal", "Altech_AK300_1x02_P5.00mm_45-Degree",
           "CP_Axial_L10.0mm_D4.5mm_P15.00mm_Horizontal", "USB_C_Receptacle_HRO_TYPE-C-31-M-12"]
DRILL = re.compile(rb"\(drill ((?:[^()]|\([^()]*\))*)\)")


def library(cli, bad):  # lib.pretty: footprints of complex_hierarchy, and with `bad` three more
    os.mkdir(cli.path("lib.pretty"))
    footprints = os.path.join(cli.boards, os.pardir, "footprints")
    for name in LIBRARY:
        shutil.copyfile(os.path.join(footprints, name + ".kicad_mod"),
                        cli.path(f"lib.pretty/{name}.kicad_mod"))
    if bad:
        usb = cli.read(f"lib.pretty/{LIBRARY[-1]}.kicad_mod")
        for name, content in (("Broken", usb[:len(usb) // 2]), ("Notes", b"notes (footprint)\n"),
                              ("ReadOnly", usb), ("x.kicad_mod.bak", b"")):
            with open(cli.path("lib.pretty/" + name + ("" if "." in name else ".kicad_mod")),
                      "wb") as f:
                f.write(content)
        os.chmod(cli.path("lib.pretty/ReadOnly.kicad_mod"), 0o444)
    return {n: cli.read("lib.pretty/" + n) for n in sorted(os.listdir(cli.path("lib.pretty")))}


def footprint_drills(board, name):  # the drills of each footprint `name` in a board
    starts = [m.end() for m in re.finditer(rb'\((?:footprint|module) "?[^"\s]*:' +
                                           re.escape(name.encode()) + rb'"?\s', board)]
    return [sorted(DRILL.findall(board[at:board.find(b"\n  )", at)])) for at in starts]


def library_then_board(cli):
    # A library with a cut-off file, one that is no footprint and a read-only one: each is
    # told, the rest rewritten, nothing lost; the worst status wins (2 over 1 over 5).
    before = library(cli, True)
    rule = ["--round", "up", "--grid", "0.2", "--line-ends", "keep"]
    status, out, err = cli.run("apply", "--format", "json", *rule, "lib.pretty")
    report = json.loads(out)
    check(status == 2 and report["summary"] | {"tools_before": 0, "tools_after": 0} ==
          {"files": 9, "read": 7, "changed": 5, "unchanged": 1, "refused": 3,
           "tools_before": 0, "tools_after": 0}, f"library apply: {status} {report['summary']}")
    check("Broken.kicad_mod: Die Datei ist unvollständig" in err and
          "Notes.kicad_mod: Die Datei ist weder" in err and
          "ReadOnly.kicad_mod: Die Datei ist schreibgeschützt" in err, "told: " + err)
    check([f["error"][:8] for f in report["files"] if "error" in f] == ["Die Date"] * 2 and
          report["files"][-2]["rows"][0]["after"] == 0.8, "json per file")
    after = {n: cli.read("lib.pretty/" + n) for n in before}
    check(sorted(os.listdir(cli.path("lib.pretty"))) == list(before), "files left behind")
    for name, old in before.items():
        new, bad = after[name], name.startswith(("Broken", "Notes", "ReadOnly", "x."))
        changed = [a for a, b in zip(old.split(b"\n"), new.split(b"\n")) if a != b]
        check(new == old if bad else (new.count(b"\n") == old.count(b"\n") and
              all(b"(drill " in line for line in changed)), name + ": more than drills changed")
    for args, want in ((["check", *rule[:4], "lib.pretty"], 1),
                       (["check", *rule[:4], "lib.pretty/ReadOnly.kicad_mod",
                         f"lib.pretty/{LIBRARY[0]}.kicad_mod"], 5)):
        check(cli.run(*args)[0] == want, f"{args}: status")
    # The board that uses the library, rounded alike, matches its footprints' library copies.
    board = cli.board("kicad6/complex_hierarchy")
    check(cli.run("apply", *rule, board)[0] == 0, "board apply")
    for name in LIBRARY[:-1]:
        own = sorted(DRILL.findall(cli.read(f"lib.pretty/{name}.kicad_mod")))
        used = footprint_drills(cli.read(board), name)
        check(used and all(drills == own for drills in used), f"{name}: {own} {used[:1]}")
    status, out, _ = cli.run("list", "--format", "csv", "lib.pretty/", board)
    check(status == 1 and out.startswith("file,before,") and ",b.kicad_pcb,0.8,0.8" not in out
          and "\nb.kicad_pcb,0.8,0.8," in out, "csv with a file column")


def plan_then_apply(cli):
    # plan's table, applied with the options it names, gives the plan's tools on every file.
    library(cli, False)
    board = cli.board("kicad6/complex_hierarchy")
    check(cli.run("plan", "--save", board, board)[0] == 3 and
          cli.read(board) == cli.read(cli.board("kicad6/complex_hierarchy", "c.kicad_pcb")),
          "--save onto a board")
    status, out, err = cli.run("plan", "--format", "json", "--save", "t.txt", board, "lib.pretty")
    plan = json.loads(out)
    command = err.split("rezurudev-cli apply ")[1].split(" DATEI")[0].split()
    check(status == 0 and plan["apply_misses"] == 0 and plan["largest_change"] <= 0.1 and
          len(plan["tools_after"]) < len(plan["tools_before"]) and "--drills" in command,
          f"plan: {status} {err}")
    check(cli.run("apply", *command, board, "lib.pretty")[0] == 0, "apply the plan")
    status, out, _ = cli.run("list", "--format", "json", board, "lib.pretty")
    check(json.loads(out)["summary"]["tools_before"] == plan["tools_after"], "tools after apply")
    # No table from a project not wholly read; told when apply would miss the plan; -o is
    # for one file only.
    for args, want, said in (
            (["plan", "--round", "nearest", cli.board("kicad6/ecc83-pp_v2", "e.kicad_pcb")], 0,
             "gäbe 11 Bohrungen andere Maße"),
            (["plan", "--save", "m.txt", board, "none.kicad_mod"], 1, "keine Bohrertabelle"),
            (["plan", "--save", "lib.pretty", board], 2, "kann nicht geschrieben werden"),
            (["apply", "-o", "x.kicad_pcb", "lib.pretty"], 3, "-o"),
            (["plan", "--line-ends", "keep", board], 3, "--line-ends")):
        status, _, err = cli.run(*args)
        check(status == want and said in err, f"{args}: {status} {err}")
    check(not {"m.txt", "x.kicad_pcb", "lib.pretty.rezurudev-tmp"} & set(os.listdir(cli.work)),
          "written though refused")


def progress_only_on_a_terminal(cli):
    footprint = os.path.join(cli.boards, os.pardir, "footprints", LIBRARY[4] + ".kicad_mod")
    os.mkdir(cli.path("many"))
    for k in range(301):
        shutil.copyfile(footprint, cli.path(f"many/{k:03}.kicad_mod"))
    check(cli.run("list", "many")[2] == "", "no progress")
    if not cli.command[0].endswith(".sh"):  # under a pseudo terminal, Linux only
        done = subprocess.run(["script", "-qec", " ".join(cli.command + ["list", "many"]),
                               "/dev/null"], cwd=cli.work, capture_output=True, timeout=300)
        check(b"Datei 301 von 301" in done.stdout, "progress on a terminal")


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
