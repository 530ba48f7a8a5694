#!/bin/sh
# overload.sh BEGAN LOAD KVA TEMP
# Run by the service when the overload condition begins (BEGAN 1) or ends
# (0), with the load in percent, the output power and the UPS temperature.
# Writes one line to zep.log.
. "$(dirname -- "$0")/zeplib.sh"

if [ "${1-}" = 1 ]; then state=began; else state=ended; fi
load=$(zep_or "${2-}") kva=$(zep_or "${3-}") temp=$(zep_or "${4-}")

zep_log "overload: overload $state\
 (load $load %, output $kva kVA, temperature $temp C)"
