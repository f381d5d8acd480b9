#!/usr/bin/env bash
# A private mDNS network for tests: namespaces "tv" (10.77.0.1) and "app" (10.77.0.2) joined by a
# veth pair, each with its own system bus and avahi-daemon; nothing touches the machine's own
# interfaces. Every process is recorded by PID in DIR and stopped by it.
#   lab.sh up|down DIR; lab.sh exec DIR SIDE CMD...; lab.sh stop-avahi|start-avahi DIR SIDE
set -euo pipefail
cmd=$1 dir=$2
id=$(basename "$dir" | tr -dc 'a-zA-Z0-9' | tail -c 8)
ns() { echo "tvlab-$id-$1"; }
in_side() { local side=$1; shift; ip netns exec "$(ns "$side")" env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/$side/bus" "$@"; }

start_avahi() {
  printf '%s\n' "[server]" "host-name=lab-$1-$id" use-ipv4=yes use-ipv6=no "allow-interfaces=veth-$1" enable-dbus=yes \
    ratelimit-interval-usec=0 "[publish]" publish-workstation=no publish-hinfo=no "[wide-area]" enable-wide-area=no \
    > "$dir/$1/avahi.conf"
  # avahi-daemon keeps its pid file at a fixed path: give each one a private /run/avahi-daemon.
  mkdir -p /run/avahi-daemon
  (exec ip netns exec "$(ns "$1")" env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/$1/bus" unshare --mount --propagation private \
    sh -c "mount -t tmpfs lab /run/avahi-daemon && exec avahi-daemon --no-chroot --no-rlimits -f '$dir/$1/avahi.conf'" \
    > "$dir/$1/avahi.log" 2>&1) &
  echo $! > "$dir/$1/avahi.pid"
  for _ in $(seq 1 100); do
    in_side "$1" dbus-send --system --print-reply --dest=org.freedesktop.Avahi / org.freedesktop.Avahi.Server.GetState \
      2>/dev/null | grep -q 'int32 2' && return 0
    sleep 0.05
  done
  echo "lab: avahi-daemon on $1 did not come up" >&2; return 1
}

stop_pid() {
  [[ -f $1 ]] || return 0
  local pid; pid=$(cat "$1")
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.02; done
  kill -9 "$pid" 2>/dev/null || true; rm -f "$1"
}

case $cmd in
  up)
    ip link add "vt-$id" type veth peer name "va-$id"
    for side in tv app; do
      mkdir -p "$dir/$side"; chmod 755 "$dir" "$dir/$side"
      ip netns add "$(ns $side)"; ip -n "$(ns $side)" link set lo up
      ip link set "v${side:0:1}-$id" netns "$(ns $side)"
      ip -n "$(ns $side)" link set "v${side:0:1}-$id" name "veth-$side"
      ip -n "$(ns $side)" addr add "10.77.0.$([[ $side == tv ]] && echo 1 || echo 2)/24" dev "veth-$side"
      ip -n "$(ns $side)" link set "veth-$side" up
      in_side $side dbus-daemon --system --fork --nopidfile --print-pid --address="unix:path=$dir/$side/bus" > "$dir/$side/dbus.pid"
      start_avahi $side
    done ;;
  exec) side=$3; shift 3; exec ip netns exec "$(ns "$side")" env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/$side/bus" "$@" ;;
  stop-avahi) stop_pid "$dir/$3/avahi.pid" ;;
  start-avahi) start_avahi "$3" ;;
  down)
    for side in tv app; do
      stop_pid "$dir/$side/avahi.pid"; stop_pid "$dir/$side/dbus.pid"; ip netns del "$(ns $side)" 2>/dev/null || true
    done ;;
  *) echo "usage: lab.sh up|exec|stop-avahi|start-avahi|down DIR ..." >&2; exit 2 ;;
esac
