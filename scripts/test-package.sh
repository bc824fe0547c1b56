#!/bin/sh
# Builds the Debian package, checks its contents, dependencies and lintian, installs it,
# starts the installed program under Xvfb with an empty home folder, and removes the
# package again at the end, also on failure. Needs root (or sudo without a password);
# exits 77 (skipped) otherwise. Meant for a throw-away machine such as CI's.
#   scripts/test-package.sh [BUILD_DIR] [SCREENSHOT.png]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build="${1:-${TOLVANE_BUILD_DIR:-$top/build}}"
shot="${2:-}"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    SUDO="sudo -n"
  else
    echo "skipped: installing a package needs root or sudo without a password"
    exit 77
  fi
fi

fail() {
  echo "FAIL: $*"
  exit 1
}

deb=$("$top/scripts/package.sh" "$build" | tail -n 1)
[ -f "$deb" ] || fail "no package was built"
echo "package: $deb ($(stat -c %s "$deb") bytes)"

# Contents: the program, its tool and marker, the supplied files, the menu entry and icons.
contents=$(dpkg-deb -c "$deb")
for path in usr/bin/tolvane usr/bin/tolvane-gen-orders usr/bin/tolvane.installed \
    usr/share/tolvane/db.mdb usr/share/tolvane/Welcome.wav usr/share/tolvane/True.wav \
    usr/share/tolvane/False.wav usr/share/tolvane/config.sql usr/share/tolvane/orders.sql \
    usr/share/applications/tolvane.desktop usr/share/icons/hicolor/scalable/apps/tolvane.svg \
    usr/share/doc/tolvane/copyright usr/share/doc/tolvane/changelog.gz \
    usr/share/man/man1/tolvane.1.gz; do
  echo "$contents" | grep -q " \./$path\$" || fail "the package lacks /$path"
done
for size in 16 22 24 32 48 64 128 256; do
  echo "$contents" | grep -q " \./usr/share/icons/hicolor/${size}x$size/apps/tolvane.png\$" ||
    fail "the package lacks the ${size}x$size icon"
done
echo "$contents" | grep -q "orders\.db" && fail "the package holds an order database"
echo "$contents" | grep -q "^-rw-r--r-- root/root .* \./usr/share/tolvane/db.mdb\$" ||
  fail "the supplied db.mdb is not root's, mode 0644"

# Dependencies: the runtime packages, nothing of the build or the demo.
depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
for p in libqt6widgets6 libqt6serialport6 libqt6multimedia6 libqt6sql6-sqlite libqt6sql6-odbc \
    qt6-qpa-plugins tdsodbc fonts-wqy-microhei; do
  echo "$depends" | tr ',' '\n' | grep -q "^ *$p\( \|\$\)" || fail "Depends lacks $p"
done
# The sqlite3 tool is for tests only; the library libsqlite3-0 the program links is not.
echo "$depends" | tr ',' '\n' | grep -E -- "-dev( |\$)|socat|xvfb|xdotool|^ *sqlite3( |\$)|cmake|g\+\+" &&
  fail "Depends names a build or demo package"

# The desktop entry and the supplied configuration database, read by other tools.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/tolvane.desktop" ||
  fail "the desktop entry is not valid"
grep -q "^Name\[zh_CN\]=" "$unpacked/usr/share/applications/tolvane.desktop" ||
  fail "the desktop entry has no Chinese name"
login=$(sqlite3 "$unpacked/usr/share/tolvane/db.mdb" "select IPAddress from pwd where ID = 1")
[ "$login" = "sqlite:orders.db" ] || fail "the supplied login is '$login'"
[ "$(cat "$unpacked/usr/bin/tolvane.installed")" = "../share/tolvane" ] ||
  fail "the marker does not name ../share/tolvane"

# lintian: no errors (warnings are printed).
lint=$(lintian "$deb" 2>/dev/null || true)
[ -n "$lint" ] && echo "$lint"
echo "$lint" | grep -q "^E:" && fail "lintian reports errors"
echo "lintian: $(echo "$lint" | grep -c "^E:" || true) errors, $(echo "$lint" | grep -c "^W:" || true) warnings"

# One installing test at a time on this machine; dpkg's own lock is waited for.
lock=/var/lock/tolvane-package-test.lock
stamp=/var/lib/tolvane-package-test.installed
exec 9>>"$lock"
flock -w 900 9 || fail "another package test holds $lock"

dpkg_retry() {
  i=0
  while :; do
    if out=$($SUDO dpkg "$@" 2>&1); then
      echo "$out"
      return 0
    fi
    case "$out" in
      *lock*) i=$((i + 1)); [ $i -lt 120 ] || { echo "$out"; return 1; }; sleep 1 ;;
      *) echo "$out"; return 1 ;;
    esac
  done
}

if dpkg-query -W -f='${Status}' tolvane 2>/dev/null | grep -q "install ok installed" &&
    [ ! -e "$stamp" ]; then
  fail "tolvane is already installed on this machine; remove it first (dpkg -r tolvane)"
fi

remove() {
  code=$?
  rm -rf "$unpacked"
  if dpkg-query -W -f='${Status}' tolvane 2>/dev/null | grep -q "installed"; then
    dpkg_retry -r tolvane >/dev/null || { echo "FAIL: dpkg -r tolvane failed"; code=1; }
  fi
  if [ -e /usr/bin/tolvane ] || [ -e /usr/share/tolvane ]; then
    echo "FAIL: files of tolvane are left after dpkg -r"
    code=1
  fi
  $SUDO rm -f "$stamp"
  exit $code
}
trap remove EXIT
trap 'exit 1' INT TERM HUP

$SUDO touch "$stamp"
dpkg_retry -i "$deb" || fail "dpkg -i failed"
dpkg -V tolvane || fail "dpkg -V tolvane reports changed files after installing"

/usr/bin/python3 "$top/tests/package/start_installed.py" /usr/bin/tolvane \
  /usr/bin/tolvane-gen-orders $shot || fail "the installed program did not start as it should"
dpkg -V tolvane || fail "the installed files changed while the program ran"
echo "package test passed"
