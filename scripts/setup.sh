#!/bin/sh
# Installs the Debian/Ubuntu packages of scripts/debian-packages.txt that are
# not installed yet.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
missing=""
for package in $(grep -v '^#' "$here/debian-packages.txt"); do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null |
      grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
  --no-install-recommends $missing >/dev/null
