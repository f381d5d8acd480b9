#!/usr/bin/env bash
# Runs a test program on the "app" side of a fresh mDNS lab (lab.sh), then tears the lab down whatever happens.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[[ $(id -u) -eq 0 ]] || { echo "SKIPPED: the mDNS lab needs root (network namespaces, private daemons)"; exit 77; }
dir=$(mktemp -d /tmp/tvlab.XXXXXX)
trap '"$here/lab.sh" down "$dir"; rm -rf "$dir"' EXIT
"$here/lab.sh" up "$dir" || exit 1
TELVANTO_LAB="$dir" TELVANTO_LAB_SCRIPT="$here/lab.sh" "$here/lab.sh" exec "$dir" app "$@"
