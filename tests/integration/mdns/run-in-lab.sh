#!/usr/bin/env bash
# Runs a test program on the "app" side of a fresh mDNS lab (see lab.sh) and tears the lab
# down afterwards, whatever happens. Needs root for the network namespaces.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [[ $(id -u) -ne 0 ]]; then
  echo "SKIPPED: the mDNS lab needs root (network namespaces, private daemons)"
  exit 77
fi
dir=$(mktemp -d /tmp/tvlab.XXXXXX)
trap '"$here/lab.sh" down "$dir"; rm -rf "$dir"' EXIT
"$here/lab.sh" up "$dir" || exit 1
TELVANTO_LAB="$dir" TELVANTO_LAB_SCRIPT="$here/lab.sh" "$here/lab.sh" exec "$dir" app "$@"
