#!/usr/bin/env bash
# Checks what a user installs.
#
#   package_test.sh files BUILD_DIR   the desktop entry, metainfo, manual pages and icon
#                                     sizes as the build makes them (no root needed)
#   package_test.sh deb DEB_FILE      installs the .deb with apt-get (root, or sudo),
#                                     uses it as a user would, purges it and proves that
#                                     nothing of it is left behind
#   package_test.sh zip ZIP_FILE      the Windows .zip: exactly the two programs, the
#                                     README and the licence; icon 1 and system DLLs only;
#                                     under Wine, rezurudev.exe BOARD opens the board
set -euo pipefail
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
board=$src/tests/data/boards/kicad6/ecc83-pp_v2.kicad_pcb
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
version=$(sed -n 's/^project(rezurudev VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
[ -n "$version" ] || fail "no version in project() of CMakeLists.txt"
# The system interpreter: GObject introspection comes from Debian's python3-gi.
py() { /usr/bin/python3 "$@"; }

check_files() {
  local build=$1 page out
  desktop-file-validate "$src/app/desktop/rezurudev.desktop" || fail "desktop entry invalid"
  # The metainfo as built, and with a screenshot address, since that part is only
  # written when an address is configured (example.org is reserved for examples).
  appstreamcli validate --no-net "$build"/packaging/*.metainfo.xml || fail "metainfo invalid"
  cmake -DIN="$src/packaging/rezurudev.metainfo.xml.in" -DOUT="$scratch/shot.metainfo.xml" \
        -DSCREENSHOT_URL=https://example.org/rezurudev-window.png -P "$src/packaging/metainfo.cmake"
  grep -q '<image>https://example.org/rezurudev-window.png</image>' "$scratch/shot.metainfo.xml" \
    || fail "the screenshot address did not reach the metainfo"
  appstreamcli validate --no-net "$scratch/shot.metainfo.xml" || fail "metainfo with screenshot invalid"
  for page in "$build"/packaging/man/*.1.gz "$build"/packaging/man/de/*.1.gz; do
    out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$out" ] || fail "$page: $out"
  done
  # Each PNG is as large as the theme folder it goes to.
  py - "$build"/packaging/icons/*/rezurudev.png <<'EOF' || fail "icon sizes"
import os, struct, sys
for path in sys.argv[1:]:
    w, h = struct.unpack('>II', open(path, 'rb').read(24)[16:24])  # from the PNG header
    if f'{w}x{h}' != os.path.basename(os.path.dirname(path)):
        sys.exit(f'{path}: {w}x{h}')
EOF
  echo "desktop entry, metainfo, manual pages and icon sizes: ok"
}

as_root=()
if [ "$(id -u)" -ne 0 ]; then as_root=(sudo); fi

# The files the package must hold, below /usr.
expected_files() {
  local size
  printf '%s\n' bin/rezurudev bin/rezurudev-cli share/applications/rezurudev.desktop \
    share/doc/rezurudev/README.md share/doc/rezurudev/copyright \
    share/icons/hicolor/scalable/apps/rezurudev.svg \
    share/man/man1/rezurudev.1.gz share/man/man1/rezurudev-cli.1.gz \
    share/man/de/man1/rezurudev.1.gz share/man/de/man1/rezurudev-cli.1.gz \
    share/metainfo/local.rezurudev.rezurudev.metainfo.xml
  for size in 16 24 32 48 64 128 256; do
    echo "share/icons/hicolor/${size}x${size}/apps/rezurudev.png"
  done
}

check_deb_file() {
  local deb=$1 name
  name="rezurudev_${version}_$(dpkg --print-architecture).deb"
  [ "$(basename "$deb")" = "$name" ] || fail "$deb is not named $name"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
  dpkg-deb -f "$deb" Depends | grep -q 'libgtk-3-0' || fail "no dependency on GTK found"
  diff <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./usr/||' | sort) \
       <(expected_files | sort) || fail "the package holds other files than expected"
}

# Paths below the places a package writes to, sorted, for the before-and-after check.
snapshot() {
  find /usr /etc /opt /var/lib/dpkg/info -xdev 2>/dev/null | sort
}

check_installed_cli() {
  local copy=$scratch/board/ecc83.kicad_pcb rows
  mkdir -p "$scratch/board"
  cp "$board" "$copy"
  rows=$(cd /; rezurudev-cli "$copy")
  [ "$rows" = $'0.8\t0.8\n1\t1.0\n1.2\t1.2\n3.048\t3.0\n3.1\t3.1\noval 1.02 2.03\toval 1.0 2.0' ] \
    || fail "installed rezurudev-cli listed: $rows"
  (cd /; rezurudev-cli --apply "$copy" >/dev/null) || fail "rezurudev-cli --apply failed"
  # The bytes themselves are the core and command-line tests' business.
  ! cmp -s "$board" "$copy" || fail "rezurudev-cli --apply left the board as it was"
  [ "$(ls -A "$scratch/board")" = ecc83.kicad_pcb ] || fail "the rewrite left files behind"
}

check_manuals() {
  local page
  for page in rezurudev rezurudev-cli; do
    [ "$(LC_ALL=C.UTF-8 man -w "$page")" = "/usr/share/man/man1/$page.1.gz" ] || fail "man $page"
    [ "$(LC_ALL=C.UTF-8 man -L de -w "$page")" = "/usr/share/man/de/man1/$page.1.gz" ] \
      || fail "man -L de $page"
  done
}

# The installed program started with a board, as "Open with" starts it: under Xvfb,
# Enter in the open dialog opens that board and the lists show its rows.
check_installed_window() {
  py "$src/tests/e2e/rezurudev_e2e.py" --case board_argument --program /usr/bin/rezurudev \
     --cli /usr/bin/rezurudev-cli --boards "$src/tests/data/boards" --out "$scratch/e2e" \
    || fail "the installed rezurudev BOARD did not open the board"
}

# Where a desktop looks: GIO's list of programs for a board and GTK's icon theme.
check_desktop() {
  py - <<'EOF' || fail "the desktop does not find the entry or the icon"
import gi, sys
gi.require_version('Gtk', '3.0')
from gi.repository import Gio, Gtk
app = Gio.DesktopAppInfo.new('rezurudev.desktop')
if app is None or app.get_executable() != 'rezurudev' or app.get_icon().to_string() != 'rezurudev':
    sys.exit('desktop entry not found or not as expected')
if 'rezurudev.desktop' not in [a.get_id() for a in Gio.AppInfo.get_all_for_type('application/x-kicad-pcb')]:
    sys.exit('not offered for application/x-kicad-pcb')
theme = Gtk.IconTheme.new()
info = theme.lookup_icon('rezurudev', 48, Gtk.IconLookupFlags.NO_SVG)
if info is None or info.get_filename() != '/usr/share/icons/hicolor/48x48/apps/rezurudev.png':
    sys.exit('icon not found')
if -1 not in theme.get_icon_sizes('rezurudev'):  # -1: scalable
    sys.exit('scalable icon not found')
EOF
}

# Nothing when dpkg never heard of the package or keeps only its name.
package_status() {
  dpkg-query -W -f='${Status}' rezurudev 2>/dev/null | grep -v 'not-installed$' || true
}

check_nothing_left() {
  local before=$1 path
  [ -z "$(package_status)" ] || fail "dpkg still has rezurudev: $(package_status)"
  # New paths since before the install that no package owns are ours.
  while read -r path; do
    dpkg -S "$path" >/dev/null 2>&1 || fail "left behind: $path"
  done < <(comm -13 "$before" <(snapshot))
  if grep -ls rezurudev /usr/share/applications/mimeinfo.cache \
       /usr/share/icons/hicolor/icon-theme.cache; then
    fail "a desktop cache still names rezurudev"
  fi
  # man-db's index keeps the names for apropos until its daily run purges them, as
  # with every package; the pages themselves are gone with the paths above.
}

check_deb() {
  local deb before
  deb=$(realpath "$1")
  check_deb_file "$deb"
  if [ -n "$(package_status)" ]; then
    fail "rezurudev is installed already; remove it first (the test purges what it installs)"
  fi
  if grep -qsh '^path-exclude=*/usr/share/\(man\|doc\)' /etc/dpkg/dpkg.cfg.d/*; then
    fail "dpkg here leaves out manual pages or documents (path-exclude in /etc/dpkg/dpkg.cfg.d)"
  fi
  before=$scratch/before
  snapshot > "$before"
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "$deb" >/dev/null
  # Each check uses the installed package; the package is purged whatever they find.
  local status=0
  (
    check_installed_cli
    check_manuals
    check_desktop
    check_installed_window
  ) || status=$?
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get purge -y -qq rezurudev >/dev/null
  [ "$status" -eq 0 ] || fail "the installed package did not work"
  check_nothing_left "$before"
  echo "$(basename "$deb"): installed, used, purged, nothing left: ok"
}

check_zip() {
  local zip=$1 program
  [ "$(basename "$zip")" = "rezurudev-$version-win64.zip" ] || fail "$zip is not named for $version"
  [ "$(cd "$scratch" && cmake -E tar tf "$zip" | sort | tr '\n' ' ')" \
      = "LICENSE.txt README.md rezurudev-cli.exe rezurudev.exe " ] \
    || fail "$zip does not hold exactly the two programs, README.md and LICENSE.txt"
  (cd "$scratch" && cmake -E tar xf "$zip")
  for program in rezurudev rezurudev-cli; do
    wrestool -l --type=group_icon --name=1 "$scratch/$program.exe" | grep -q . \
      || fail "$program.exe has no icon 1"
    cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DPROGRAM="$scratch/$program.exe" \
          -P "$src/tests/win32/check_imports.cmake" >/dev/null || fail "$program.exe imports"
  done
  py "$src/tests/win32/e2e_win32.py" --build-dir "$scratch" board \
    || fail "under Wine, rezurudev.exe BOARD from the .zip did not open the board"
  echo "$(basename "$zip"): four files, icon 1, system DLLs only, opens a given board: ok"
}

case "${1:-}" in
  files) check_files "$(realpath "$2")" ;;
  deb) check_deb "$2" ;;
  zip) check_zip "$(realpath "$2")" ;;
  *) echo "usage: $0 files BUILD_DIR | deb DEB_FILE | zip ZIP_FILE" >&2; exit 2 ;;
esac
