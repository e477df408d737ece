#!/usr/bin/env bash
# Starts Rezurudev on a sample board: installs what is missing (scripts/setup.sh), builds
# the desktop program, copies a sample board into a new scratch folder as test.kicad_pcb
# and starts the program there, so that Enter in its open dialog opens that copy. Your
# own boards are never touched; the scratch folder stays for you to look at.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc 2>/dev/null || echo 2)" --target rezurudev

sample=tests/data/boards/kicad6/ecc83-pp_v2.kicad_pcb # KiCad demo "ecc83", GPL-3.0-or-later
scratch=$(mktemp -d "${TMPDIR:-/tmp}/rezurudev.XXXXXX")
cp "$sample" "$scratch/test.kicad_pcb"
echo "Rezurudev runs in $scratch (a copy of $sample as test.kicad_pcb)."

cd "$scratch"
exec "$repo/build/default/rezurudev"
