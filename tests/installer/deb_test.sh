#!/usr/bin/env bash
# The Debian package of a native build: CPack makes it (and a rebuild of a
# higher version), lintian finds no error in it, and dpkg installs it,
# keeps an edited conffile across the upgrade, removes it keeping the
# conffiles, and purges it leaving nothing. The programs run from
# /usr/lib/zep and find their files there; the scripts write their log
# where the unit's environment says; without a running systemd the unit is
# only enabled.
#
#   tests/installer/deb_test.sh <build-dir>
#
# dpkg works on a scratch root (dpkg --root) unless the test runs as root
# with CI=true, on a throw-away machine: it then installs, upgrades, removes
# and purges the package on the machine itself (and purges it on any exit).
# Prints PASS/FAIL lines and "N passed, M failed"; exits non-zero when
# anything failed.
set -uo pipefail
B=$(cd "${1:?usage: deb_test.sh <build-dir>}" && pwd) || exit 2

PASS=0
FAIL=0
check() {
  local what=$1
  shift
  if "$@"; then
    echo "PASS: $what"
    PASS=$((PASS + 1))
  else
    echo "FAIL: $what"
    FAIL=$((FAIL + 1))
  fi
}
not() { ! "$@"; }

W=$(mktemp -d /tmp/zep-deb.XXXXXX) || exit 2
REAL=0
if [ "${CI:-}" = true ] && [ "$(id -u)" -eq 0 ]; then
  REAL=1
  R=
  DPKG=(dpkg)
  echo "NOTE: CI: the package is installed on this machine and purged at the end"
else
  R=$W/root
  mkdir -p "$R/var/lib/dpkg/info" "$R/var/lib/dpkg/updates"
  touch "$R/var/lib/dpkg/status"
  # The scratch root has no libc6 and friends; the maintainer scripts run
  # here with DPKG_ROOT set.
  DPKG=(dpkg --root="$R" --force-script-chrootless --force-depends --log=/dev/null)
fi
cleanup() {
  [ "$REAL" = 1 ] && dpkg -P zep >/dev/null 2>&1
  mkdir -p "$B/deb-test"
  cp "$W"/*.log "$B/deb-test/" 2>/dev/null
  rm -rf "$W"
}
trap cleanup EXIT

# --- the packages ---------------------------------------------------------------

VERSION=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$B/CPackConfig.cmake")
NEWER=$(echo "$VERSION" | awk -F. -v OFS=. '{ $3 = $3 + 1; print }')
(cd "$B" && cpack --config CPackConfig.cmake -B "$W/v1" >"$W/cpack-v1.log" 2>&1)
V1=$(ls "$W"/v1/zep_"$VERSION"_*.deb 2>/dev/null)
check "cpack: zep_${VERSION}" test -f "$V1"
(cd "$B" && cpack --config CPackConfig.cmake -R "$NEWER" -B "$W/v2" >"$W/cpack-v2.log" 2>&1)
V2=$(ls "$W"/v2/zep_"$NEWER"_*.deb 2>/dev/null)
check "cpack: a rebuild as zep_${NEWER}" test -f "$V2"
[ -f "$V1" ] && [ -f "$V2" ] || { echo "$PASS passed, $FAIL failed"; exit 1; }

lintian --fail-on error --tag-display-limit 0 "$V1" >"$W/lintian.log" 2>&1
check "lintian: no error" test $? -eq 0
sed 's/^/  lintian: /' "$W/lintian.log"

dpkg-deb -I "$V1" conffiles >"$W/conffiles.log" 2>&1
check "conffiles: ZEP.conf and every script" bash -c "
  cd '$(dirname "$0")/../../dist/scripts' &&
  { echo /etc/zep/ZEP.conf; for f in *.sh; do echo /etc/zep/\$f; done;
    echo /etc/logrotate.d/zep; } | sort | cmp -s - <(sort '$W/conffiles.log')"
check "depends on the C and C++ runtimes" bash -c \
  "dpkg-deb -f '$V1' Depends | grep -q 'libc6' && dpkg-deb -f '$V1' Depends | grep -q 'libstdc++6'"

# --- install -------------------------------------------------------------------

L=$R/usr/lib/zep
"${DPKG[@]}" -i "$V1" >"$W/install.log" 2>&1
check "dpkg -i: exit code 0" test $? -eq 0
check "programs in /usr/lib/zep" test -x "$L/zeps" -a -x "$L/zepe" -a -f "$L/libserlink32.so"
# links <dir> <link target dir> <names...>: each name in dir is a link to
# the file of that name in the target dir (absolute, or relative to dir),
# and the file is there.
links() {
  local dir=$1 to=$2 name file
  shift 2
  for name in "$@"; do
    case $to in /*) file=$R$to/$name ;; *) file=$dir/$to/$name ;; esac
    if [ "$(readlink "$dir/$name")" != "$to/$name" ] || [ ! -f "$file" ]; then
      echo "not a link to $to: $dir/$name"
      return 1
    fi
  done
}
check "links to the editable files in /etc/zep" links "$L" /etc/zep ZEP.conf event.sh zeplib.sh
check "links to the message files in /usr/share/zep" links "$L" ../../share/zep \
  level.msg level_en.msg category.msg category_en.msg status.msg status_en.msg \
  event.msg event_en.msg meter.msg meter_en.msg
# The service finds its library beside it: with no option it prints its
# usage and ends with 1.
"$L/zeps" >"$W/zeps-usage.log" 2>&1
check "zeps runs from /usr/lib/zep (usage, exit code 1)" test $? -eq 1
check "...and prints its usage" grep -q '^zeps -setup  to setup the event message$' "$W/zeps-usage.log"
check "the unit installed" test -f "$R/usr/lib/systemd/system/zeps.service"
check "the unit runs /usr/lib/zep/zeps -service there" bash -c "
  grep -qx 'ExecStart=/usr/lib/zep/zeps -service' '$R/usr/lib/systemd/system/zeps.service' &&
  grep -qx 'WorkingDirectory=/usr/lib/zep' '$R/usr/lib/systemd/system/zeps.service'"
check "the unit enabled without a running systemd" \
  test -L "$R/etc/systemd/system/multi-user.target.wants/zeps.service"
if command -v systemd-analyze >/dev/null 2>&1; then
  # A copy of the unit whose program is one systemd can find here.
  sed 's#/usr/lib/zep/zeps#/bin/true#' "$R/usr/lib/systemd/system/zeps.service" >"$W/zeps.service"
  systemd-analyze verify "$W/zeps.service" >"$W/systemd-analyze.log" 2>&1
  check "systemd-analyze verify: the unit is valid" test $? -eq 0
fi
# A script as the service starts it, with the unit's environment: the log
# goes to ZEP_LOG_DIR, nothing to the programs' or the settings' folder.
# (On a scratch root the link into /etc points at the machine's /etc, so
# the script is run where it lies.)
mkdir -p "$W/log"
script=$L/status.sh
[ "$REAL" = 1 ] || script=$R/etc/zep/status.sh
(cd "$L" && ZEP_LOG_DIR=$W/log ZEP_RUN_DIR=$W/log sh "$script" 1 100 "Start Service")
check "scripts log where ZEP_LOG_DIR says" grep -q 'status 1 100: Start Service$' "$W/log/zep.log"
check "...and not beside the programs" test ! -e "$L/zep.log" -a ! -e "$R/etc/zep/zep.log"

# --- upgrade -------------------------------------------------------------------

printf 'ZEP_PF_WAIT=123\n' >>"$R/etc/zep/ZEP.conf"
printf '# edited by the user\n' >>"$R/etc/zep/event.sh"
cp "$R/etc/zep/ZEP.conf" "$W/edited-ZEP.conf"
cp "$R/etc/zep/event.sh" "$W/edited-event.sh"
"${DPKG[@]}" --force-confdef --force-confold -i "$V2" </dev/null >"$W/upgrade.log" 2>&1
check "upgrade: exit code 0" test $? -eq 0
check "upgrade: version $NEWER installed" bash -c "
  dpkg-query ${R:+--admindir=$R/var/lib/dpkg} -W -f '\${Version} \${Status}' zep |
  grep -qx '$NEWER install ok installed'"
check "upgrade: the edited ZEP.conf kept" cmp -s "$W/edited-ZEP.conf" "$R/etc/zep/ZEP.conf"
check "upgrade: the edited event.sh kept" cmp -s "$W/edited-event.sh" "$R/etc/zep/event.sh"

# --- remove and purge ------------------------------------------------------------

"${DPKG[@]}" -r zep >"$W/remove.log" 2>&1
check "dpkg -r: exit code 0" test $? -eq 0
check "remove: the programs and the unit gone" \
  test ! -e "$L" -a ! -e "$R/usr/lib/systemd/system/zeps.service" -a ! -e "$R/usr/share/zep"
check "remove: the edited settings kept" cmp -s "$W/edited-ZEP.conf" "$R/etc/zep/ZEP.conf"
"${DPKG[@]}" -P zep >"$W/purge.log" 2>&1
check "dpkg -P: exit code 0" test $? -eq 0
check "purge: /etc/zep gone" test ! -e "$R/etc/zep"
check "purge: the unit no longer enabled" \
  test ! -e "$R/etc/systemd/system/multi-user.target.wants/zeps.service"
check "purge: dpkg knows no zep" not dpkg-query ${R:+--admindir="$R/var/lib/dpkg"} -W zep

echo "$PASS passed, $FAIL failed"
[ "$FAIL" -eq 0 ]
