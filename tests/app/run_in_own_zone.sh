#!/usr/bin/env bash
# run_in_own_zone.sh DIR COMMAND...
# Runs COMMAND in a mount namespace of its own, where the system's time zone
# file (the file /etc/localtime leads to) is a writable copy on a small tmpfs
# at DIR, UTC at first. VELMORA_ZONE_FILE gives the copy's Windows path: a
# test changes the zone of its own processes, the Wine programs it starts
# included, by writing another zone's file there (glibc, and so Wine, reads
# the zone file again when it changes). Nothing outside the namespace sees
# the copy or the mounts, and they end with COMMAND's last process, however
# it ends.
# Where the namespace or a mount is refused (no privilege), it says so and
# runs COMMAND as it is: the tests that need the copy report that they could
# not run.
set -uo pipefail
if [ "${VELMORA_OWN_ZONE_INSIDE:-}" != 1 ]; then
  if unshare -m --propagation private true 2>/dev/null; then
    VELMORA_OWN_ZONE_INSIDE=1 exec unshare -m --propagation private bash "$0" "$@"
  fi
  echo "run_in_own_zone.sh: no mount namespace of its own here (unshare -m refused); the time zone tests cannot run" >&2
  shift
  exec "$@"
fi
unset VELMORA_OWN_ZONE_INSIDE
dir=$1
shift
zone=$(readlink -f /etc/localtime)
if mkdir -p "$dir" && mount -t tmpfs -o size=1m tmpfs "$dir" &&
   cp /usr/share/zoneinfo/Etc/UTC "$dir/localtime" && [ -f "$zone" ] &&
   mount --bind "$dir/localtime" "$zone"; then
  VELMORA_ZONE_FILE="Z:$(realpath "$dir/localtime" | tr / '\\')"
  export VELMORA_ZONE_FILE
else
  echo "run_in_own_zone.sh: no copy of the zone file $zone could be bound over it; the time zone tests cannot run" >&2
fi
exec "$@"
