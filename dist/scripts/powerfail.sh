#!/bin/sh
# powerfail.sh LOAD KVA TEMP BATTERY WAIT
# Run by the service when the mains fails, with the load in percent, the
# output power, the UPS temperature, the battery figure and the wait in
# seconds (ZEP_PF_WAIT, default 300). Waits, then shuts the computer down,
# unless the power returns first (powerrecovery.sh cancels the wait) or an
# emergency takes over. With ZEP_DRY_RUN=1 the shutdown is only logged.
#
# The service passes the values it knows, up to the first one it does not
# know yet; the wait is then missing and ZEP_PF_WAIT is used instead.
. "$(dirname -- "$0")/zeplib.sh"

load=$(zep_or "${1-}") kva=$(zep_or "${2-}") temp=$(zep_or "${3-}")
battery=$(zep_or "${4-}")
wait_seconds=$(zep_wait_seconds "${5-}" "${ZEP_PF_WAIT-}" 300)

zep_pending_shutdown powerfail "$wait_seconds" "powerfail: mains failure; shutdown in $wait_seconds s unless the\
 power returns (load $load %, output $kva kVA, temperature $temp C,\
 battery $battery %)"
