#!/usr/bin/env bash
# A private mDNS network for tests: two network namespaces, "tv" (10.77.0.1) and "app"
# (10.77.0.2), joined by a veth pair, each with its own system bus and avahi-daemon.
# Nothing runs on the machine's own interfaces. Every process is recorded by PID in DIR
# and stopped by it.
#
#   lab.sh up DIR                 make the network and start both daemons
#   lab.sh exec DIR SIDE CMD...   run a command on one side, with that side's system bus
#   lab.sh stop-avahi DIR SIDE    kill one side's avahi-daemon
#   lab.sh start-avahi DIR SIDE   start it again
#   lab.sh down DIR               stop everything and remove the namespaces
set -euo pipefail

cmd=$1
dir=$2
id=$(basename "$dir" | tr -dc 'a-zA-Z0-9' | tail -c 8)

ns() { echo "tvlab-$id-$1"; }
address() { case $1 in tv) echo 10.77.0.1 ;; app) echo 10.77.0.2 ;; esac; }
bus() { echo "unix:path=$dir/$1/bus"; }

in_side() {
  local side=$1; shift
  ip netns exec "$(ns "$side")" env DBUS_SYSTEM_BUS_ADDRESS="$(bus "$side")" "$@"
}

wait_for_avahi() {
  local side=$1
  for _ in $(seq 1 100); do
    if in_side "$side" dbus-send --system --print-reply --dest=org.freedesktop.Avahi / \
        org.freedesktop.Avahi.Server.GetState 2>/dev/null | grep -q 'int32 2'; then
      return 0
    fi
    sleep 0.05
  done
  echo "lab: avahi-daemon on $side did not come up" >&2
  return 1
}

start_avahi() {
  local side=$1
  cat > "$dir/$side/avahi.conf" <<CONF
[server]
host-name=lab-$side-$id
use-ipv4=yes
use-ipv6=no
allow-interfaces=veth-$side
enable-dbus=yes
ratelimit-interval-usec=0
[publish]
publish-workstation=no
publish-hinfo=no
[wide-area]
enable-wide-area=no
CONF
  # avahi-daemon keeps its pid file at a fixed path: give each one a private /run/avahi-daemon.
  mkdir -p /run/avahi-daemon
  (exec ip netns exec "$(ns "$side")" env DBUS_SYSTEM_BUS_ADDRESS="$(bus "$side")" \
    unshare --mount --propagation private sh -c \
    "mount -t tmpfs lab /run/avahi-daemon && exec avahi-daemon --no-chroot --no-rlimits -f '$dir/$side/avahi.conf'" \
    > "$dir/$side/avahi.log" 2>&1) &
  echo $! > "$dir/$side/avahi.pid"
  wait_for_avahi "$side"
}

stop_pid() {
  local file=$1
  [[ -f $file ]] || return 0
  local pid; pid=$(cat "$file")
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.02; done
  kill -9 "$pid" 2>/dev/null || true
  rm -f "$file"
}

case $cmd in
  up)
    mkdir -p "$dir"
    for side in tv app; do
      mkdir -p "$dir/$side"
      chmod 755 "$dir" "$dir/$side"
      ip netns add "$(ns "$side")"
      ip -n "$(ns "$side")" link set lo up
    done
    ip link add "vt-$id" type veth peer name "va-$id"
    for side in tv app; do
      ip link set "v${side:0:1}-$id" netns "$(ns "$side")"
      ip -n "$(ns "$side")" link set "v${side:0:1}-$id" name "veth-$side"
      ip -n "$(ns "$side")" addr add "$(address "$side")/24" dev "veth-$side"
      ip -n "$(ns "$side")" link set "veth-$side" up
      in_side "$side" dbus-daemon --system --fork --nopidfile --print-pid --address="$(bus "$side")" > "$dir/$side/dbus.pid"
      start_avahi "$side"
    done
    ;;
  exec)
    # exec all the way down, so the caller's PID is the program's own.
    side=$3; shift 3
    exec ip netns exec "$(ns "$side")" env DBUS_SYSTEM_BUS_ADDRESS="$(bus "$side")" "$@"
    ;;
  stop-avahi)
    stop_pid "$dir/$3/avahi.pid"
    ;;
  start-avahi)
    start_avahi "$3"
    ;;
  down)
    for side in tv app; do
      stop_pid "$dir/$side/avahi.pid"
      stop_pid "$dir/$side/dbus.pid"
      ip netns del "$(ns "$side")" 2>/dev/null || true
    done
    ;;
  *)
    echo "usage: lab.sh up|exec|stop-avahi|start-avahi|down DIR ..." >&2
    exit 2 ;;
esac
