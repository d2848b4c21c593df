#!/usr/bin/env bash
# Runs a test program with the prefix's server in time zone $1 (the zone a Wine program lives
# in is the server's), after checking that Wine's clock reads as that zone's; then gives the
# rest of the suite a server in the zone it had.
# Usage: in_time_zone.sh <zone> <program> [arguments...]
set -uo pipefail
zone=$1
shift
server=/usr/lib/wine/wineserver64
restart() {
  "$server" -k
  "$server" -w
  env ${1:+TZ=$1} "$server" -p </dev/null >/dev/null 2>&1
  # The prefix's services start with the first program and keep its output open: started by a
  # test program, they would hold ctest's pipe after the program ended.
  env ${1:+TZ=$1} /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1
}
before=${TZ:-}
restart "$zone"
trap 'restart "$before"' EXIT
# Wine's local time ("11:05 PM" or "23:05"), against the zone's local time on this side (a
# minute may turn between).
read -r clock half < <(TZ=$zone /usr/lib/wine/wine64 cmd /c 'echo %TIME%' </dev/null 2>/dev/null | tr -d '\r')
hour=$((10#${clock%%:*})) minute=${clock#*:}
[ "${half:-}" = PM ] && [ "$hour" -lt 12 ] && hour=$((hour + 12))
[ "${half:-}" = AM ] && [ "$hour" -eq 12 ] && hour=0
shown=$(printf '%02d:%s' "$hour" "${minute:0:2}")
now=$(TZ=$zone date +%H:%M) earlier=$(TZ=$zone date -d '-1 minute' +%H:%M)
if [ "$shown" != "$now" ] && [ "$shown" != "$earlier" ]; then
  echo "FAILED: Wine does not keep time zone $zone: its clock says $shown, the zone's is $now (UTC $(date -u +%H:%M))" >&2
  exit 1
fi
echo "Wine's clock in $zone: $shown (UTC $(date -u +%H:%M))"
TZ=$zone "$@"
