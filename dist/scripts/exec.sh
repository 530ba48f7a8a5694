#!/bin/sh
# exec.sh
# Run by the service when the computer shuts down while the mains has failed
# (or before any UPS was identified), just before it tells the UPS to switch
# its output off after ZEP_UPS_DELAY minutes and to restart later. The
# service waits ZEP_EXEC_WAIT seconds for this script, so it only logs and
# returns at once, letting the UPS command go out.
. "$(dirname -- "$0")/zeplib.sh"

# The delay as the service reads it: the whole number at the start of
# ZEP_UPS_DELAY, at most 99 minutes; below 0, no number or not set, the
# service sends no command at all.
delay=${ZEP_UPS_DELAY-}
delay=${delay#"${delay%%[! ]*}"}
delay=${delay#+}
delay=${delay%%[!0-9]*}
while [ "${#delay}" -gt 1 ] && [ "${delay#0}" != "$delay" ]; do
  delay=${delay#0}
done
if [ -z "$delay" ]; then
  zep_log "exec: the computer shuts down; no UPS command is sent\
 (ZEP_UPS_DELAY is not a number of 0 or more)"
else
  [ "${#delay}" -gt 2 ] && delay=99
  zep_log "exec: the computer shuts down; the UPS switches off in $delay min\
 and restarts afterwards"
fi
