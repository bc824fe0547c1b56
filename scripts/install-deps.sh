#!/bin/sh
# Installs every Debian package that the build, the tests, the demo and the package need.
# Idempotent; run as root (or through sudo) on Debian 12.
set -eu

PACKAGES="cmake g++ make pkg-config git ca-certificates \
  qt6-base-dev qt6-serialport-dev qt6-multimedia-dev qt6-charts-dev libqt6opengl6-dev \
  libqt6sql6-sqlite libsqlite3-dev libqt6sql6-odbc unixodbc-dev tdsodbc \
  libgl-dev fonts-wqy-microhei fonts-wine qt6-translations-l10n \
  socat xvfb xauth xdotool x11-apps python3 python3-xlrd sqlite3 \
  gstreamer1.0-plugins-base libreoffice-calc-nogui \
  dpkg-dev file lintian desktop-file-utils"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

# The order database on SQL Server is reached through unixODBC's driver named "FreeTDS".
register_freetds() {
  if command -v odbcinst >/dev/null 2>&1 && ! odbcinst -q -d -n FreeTDS >/dev/null 2>&1 &&
     [ -f /usr/share/tdsodbc/odbcinst.ini ]; then
    $SUDO odbcinst -i -d -f /usr/share/tdsodbc/odbcinst.ini
  fi
}

if [ -z "$missing" ]; then
  register_freetds
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
# shellcheck disable=SC2086
$SUDO apt-get install -y --no-install-recommends $missing
register_freetds
