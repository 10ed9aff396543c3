#!/bin/sh
# Brings everything Quiramo needs to build, test and benchmark onto a Debian 12
# machine, from Debian's own packages. Safe to run again: when every package is
# already there it returns without touching apt.
set -eu

PACKAGES="
build-essential g++ clang libclang-rt-14-dev clang-format clang-tidy cmake ninja-build pkg-config
libflac-dev qt6-base-dev libgl-dev
libgtest-dev libgmock-dev libbenchmark-dev libebur128-dev
sox libsox-fmt-base flac ffmpeg
rsyslog xvfb xauth
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    echo "install-deps: all packages present"
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    SUDO=sudo
else
    SUDO=
fi

echo "install-deps: installing$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing
