# zeplib.sh: shared by the ZEP event scripts, which source it; the service
# never runs it by itself. It knows where the log is, how a line is written,
# how zepe is called, and how a pending shutdown is kept, cancelled and
# carried out.
#
# Every value that comes from an argument is used in double quotes and never
# evaluated, so any text is safe.
#
# ZEP_DRY_RUN=1 in the environment (the service passes its environment to
# the scripts) turns every shutdown into the log line "would shut down now".

# The directory of the scripts, which is the service's own directory.
zep_dir=$(CDPATH='' cd -- "$(dirname -- "$0")" && pwd) || zep_dir=.
# zep.log and the marker of a pending shutdown lie beside the scripts,
# unless the service's environment names other directories for them (the
# Debian package's unit does: /var/log/zep and /run/zep).
zep_log_file=${ZEP_LOG_DIR:-$zep_dir}/zep.log
zep_marker=${ZEP_RUN_DIR:-$zep_dir}/shutdown.pending

# zep_log TEXT: appends "YYYY/MM/DD HH:MM:SS TEXT" to zep.log, as one write
# so that lines of scripts running at the same time do not mix.
zep_log() {
  printf '%s %s\n' "$(date '+%Y/%m/%d %H:%M:%S')" "$1" >>"$zep_log_file"
}

# zep_is_number TEXT: true for a plain number: digits only, no leading
# zero, below 2147483648. The Windows scripts read numbers by the same rule.
zep_is_number() {
  case $1 in
    '' | *[!0-9]* | 0?*) return 1 ;;
  esac
  [ "${#1}" -lt 10 ] || { [ "${#1}" -eq 10 ] && [ "$1" -le 2147483647 ]; }
}

# zep_or TEXT: TEXT, or "?" when the service did not pass it (it ends the
# argument list at the first value it does not know yet).
zep_or() {
  if [ -n "$1" ]; then printf '%s' "$1"; else printf '?'; fi
}

# zep_zepe OPTION VALUE...: runs zepe beside the scripts and prints its line
# (the texts of the service's message files for the numbers given). False,
# printing nothing, when zepe is not there.
zep_zepe() {
  [ -x "$zep_dir/zepe" ] || return 1
  "$zep_dir/zepe" "$@" 2>/dev/null
  return 0
}

# zep_unquote TEXT: TEXT without the double quotes zepe puts around a result
# that contains a blank.
zep_unquote() {
  case $1 in
    \"*\") set -- "${1#\"}"; set -- "${1%\"}" ;;
  esac
  printf '%s' "$1"
}

# zep_wait_seconds ARGUMENT SETTING DEFAULT: the wait in seconds: the
# argument the service passed when it is a number, else the setting from
# the environment when that is a number, else DEFAULT; at most 999999. The
# service drops the wait from the argument list when an earlier value is
# not known yet, which is why the setting is looked at too.
zep_wait_seconds() {
  if zep_is_number "$1"; then
    set -- "$1"
  elif zep_is_number "$2"; then
    set -- "$2"
  else
    set -- "$3"
  fi
  if [ "$1" -gt 999999 ]; then set -- 999999; fi
  printf '%s' "$1"
}

# zep_shutdown WHO: shuts the computer down now, or only logs that it would
# when ZEP_DRY_RUN is 1.
zep_shutdown() {
  if [ "${ZEP_DRY_RUN-}" = 1 ]; then
    zep_log "$1: would shut down now (ZEP_DRY_RUN=1)"
    return 0
  fi
  zep_log "$1: shutting down now"
  if command -v systemctl >/dev/null 2>&1 && systemctl poweroff; then
    return 0
  fi
  if shutdown -h now; then
    return 0
  fi
  zep_log "$1: the shutdown command failed"
  return 1
}

# zep_pending_shutdown WHO SECONDS TEXT: logs TEXT and shuts the computer
# down after SECONDS, unless the shutdown is cancelled or taken over in the
# meantime. The pending shutdown is the file shutdown.pending beside the
# scripts, holding "WHO NUMBER" of the script that owns it: powerrecovery
# removes it (the power returned), a later power failure or emergency writes
# its own (and with it its own wait), and the owner writes "WHO done" when
# its wait is over, so that a script still waiting learns who shut down.
# The file is written before anything else, logging included, so that
# scripts the service started one after the other claim it in that order
# and a recovery always finds the shutdown it must cancel.
zep_pending_shutdown() {
  zep_token="$1 $$$(date +%s)"
  if ! zep_write_marker "$zep_token"; then
    zep_log "$3"
    zep_log "$1: cannot write $zep_marker; the shutdown cannot be cancelled"
    sleep "$2"
    zep_shutdown "$1"
    return
  fi
  zep_due=$(($(date +%s) + $2))
  zep_log "$3"
  while :; do
    zep_current=
    if [ -f "$zep_marker" ]; then
      IFS= read -r zep_current <"$zep_marker" || true
    fi
    if [ -z "$zep_current" ]; then
      zep_log "$1: shutdown cancelled"
      return 0
    fi
    if [ "$zep_current" != "$zep_token" ]; then
      zep_log "$1: taken over by ${zep_current%% *}"
      return 0
    fi
    [ "$(date +%s)" -ge "$zep_due" ] && break
    sleep 1
  done
  zep_write_marker "$1 done"
  zep_shutdown "$1"
}

# zep_write_marker TEXT: writes shutdown.pending aside and renames it, so
# that a reader never sees half of it.
zep_write_marker() {
  if printf '%s\n' "$1" >"$zep_marker.$$" &&
    mv -f "$zep_marker.$$" "$zep_marker"; then
    return 0
  fi
  rm -f "$zep_marker.$$"
  return 1
}

# zep_cancel_shutdown: cancels a pending shutdown; true when one was still
# waiting (not when the last one is already done).
zep_cancel_shutdown() {
  [ -f "$zep_marker" ] || return 1
  zep_current=
  IFS= read -r zep_current <"$zep_marker" || true
  rm -f "$zep_marker"
  case $zep_current in
    '' | *' done') return 1 ;;
  esac
  return 0
}
