#!/bin/sh
# emergency.sh LOAD KVA TEMP BATTERY WAIT
# Run by the service when the battery runs low while the mains has failed,
# with the same values as powerfail.sh and the wait in seconds (ZEP_LB_WAIT,
# default 30). Takes over from a waiting powerfail.sh, waits, then shuts the
# computer down unless the power returns first. With ZEP_DRY_RUN=1 the
# shutdown is only logged.
. "$(dirname -- "$0")/zeplib.sh"

load=$(zep_or "${1-}") kva=$(zep_or "${2-}") temp=$(zep_or "${3-}")
battery=$(zep_or "${4-}")
wait_seconds=$(zep_wait_seconds "${5-}" "${ZEP_LB_WAIT-}" 30)

zep_pending_shutdown emergency "$wait_seconds" "emergency: battery low during a mains failure; shutdown in\
 $wait_seconds s (load $load %, output $kva kVA, temperature $temp C,\
 battery $battery %)"
