#!/usr/bin/env bash
# A private mDNS network: namespaces "tv" (10.77.0.1) and "app" (10.77.0.2) on a veth pair, each with its own
# system bus and avahi-daemon, every process stopped by its PID in DIR. Usage: see the last line.
set -euo pipefail
cmd=$1 dir=$2
id=$(basename "$dir" | tr -dc 'a-zA-Z0-9' | tail -c 8)
in_side() { local side=$1; shift; ip netns exec "tvlab-$id-$side" env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/$side/bus" "$@"; }

start_avahi() {
  printf '%s\n' "[server]" "host-name=lab-$1-$id" use-ipv4=yes use-ipv6=no "allow-interfaces=veth-$1" enable-dbus=yes \
    ratelimit-interval-usec=0 "[publish]" publish-workstation=no publish-hinfo=no "[wide-area]" enable-wide-area=no > "$dir/$1/avahi.conf"
  # avahi-daemon keeps its pid file at a fixed path: give each one a private /run/avahi-daemon.
  mkdir -p /run/avahi-daemon
  (exec ip netns exec "tvlab-$id-$1" env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/$1/bus" unshare --mount --propagation private \
    sh -c "mount -t tmpfs lab /run/avahi-daemon && exec avahi-daemon --no-chroot --no-rlimits -f '$dir/$1/avahi.conf'" > "$dir/$1/avahi.log" 2>&1) &
  echo $! > "$dir/$1/avahi.pid"
  for _ in $(seq 1 100); do
    in_side "$1" dbus-send --system --print-reply --dest=org.freedesktop.Avahi / org.freedesktop.Avahi.Server.GetState 2>/dev/null | grep -q 'int32 2' && return 0
    sleep 0.05
  done
  echo "lab: avahi-daemon on $1 did not come up" >&2; return 1
}

stop_pid() {
  [[ -f $1 ]] || return 0
  local pid; pid=$(cat "$1"); rm -f "$1"
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.02; done
  kill -9 "$pid" 2>/dev/null || true
}

case $cmd in
  up)
    ip link add "vt-$id" type veth peer name "va-$id"
    for side in tv app; do
      n="tvlab-$id-$side" v="v${side:0:1}-$id"; mkdir -p "$dir/$side"; chmod 755 "$dir" "$dir/$side"
      ip netns add "$n"; ip -n "$n" link set lo up; ip link set "$v" netns "$n"; ip -n "$n" link set "$v" name "veth-$side"
      ip -n "$n" addr add "10.77.0.$([[ $side == tv ]] && echo 1 || echo 2)/24" dev "veth-$side"; ip -n "$n" link set "veth-$side" up
      in_side $side dbus-daemon --system --fork --nopidfile --print-pid --address="unix:path=$dir/$side/bus" > "$dir/$side/dbus.pid"
      start_avahi $side
    done ;;
  exec) exec ip netns exec "tvlab-$id-$3" env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/$3/bus" "${@:4}" ;;
  stop-avahi) stop_pid "$dir/$3/avahi.pid" ;;
  start-avahi) start_avahi "$3" ;;
  down) for side in tv app; do stop_pid "$dir/$side/avahi.pid"; stop_pid "$dir/$side/dbus.pid"; ip netns del "tvlab-$id-$side" 2>/dev/null || true; done ;;
  *) echo "usage: lab.sh up|down DIR | exec DIR SIDE CMD... | stop-avahi|start-avahi DIR SIDE" >&2; exit 2 ;;
esac
