#!/bin/sh
# exec.sh
# Run by the service when the computer shuts down while the mains has failed
# (or before any UPS was identified), just before it tells the UPS to switch
# its output off after ZEP_UPS_DELAY minutes and to restart later. The
# service waits ZEP_EXEC_WAIT seconds for this script, so it only logs and
# returns at once, letting the UPS command go out.
. "$(dirname -- "$0")/zeplib.sh"

delay=$(zep_or "${ZEP_UPS_DELAY-}")
zep_log "exec: the computer shuts down; the UPS switches off in $delay min\
 and restarts afterwards"
