#!/bin/sh
# temperature.sh BEGAN TEMP LOAD KVA
# Run by the service when the UPS temperature condition begins (BEGAN 1) or
# ends (0), with the UPS temperature, the load in percent and the output
# power. Writes one line to zep.log.
. "$(dirname -- "$0")/zeplib.sh"

if [ "${1-}" = 1 ]; then state=began; else state=ended; fi
temp=$(zep_or "${2-}") load=$(zep_or "${3-}") kva=$(zep_or "${4-}")

zep_log "temperature: high temperature $state\
 (temperature $temp C, load $load %, output $kva kVA)"
