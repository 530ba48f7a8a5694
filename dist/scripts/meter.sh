#!/bin/sh
# meter.sh VA W V IN_V IN_HZ OUT_V OUT_HZ KVA LOAD TEMP BATT_V
# Run by the service once per ZEP_METER_CYCLE seconds with the UPS's
# ratings and latest measurements; -1 stands for a value the UPS does not
# report. Writes one line to zep.log.
. "$(dirname -- "$0")/zeplib.sh"

va=$(zep_or "${1-}") watt=$(zep_or "${2-}") volt=$(zep_or "${3-}")
in_v=$(zep_or "${4-}") in_hz=$(zep_or "${5-}")
out_v=$(zep_or "${6-}") out_hz=$(zep_or "${7-}") kva=$(zep_or "${8-}")
load=$(zep_or "${9-}") temp=$(zep_or "${10-}") batt_v=$(zep_or "${11-}")

zep_log "meter: rated $va VA $watt W $volt V | input $in_v V $in_hz Hz |\
 output $out_v V $out_hz Hz $kva kVA | load $load % |\
 temperature $temp C | battery $batt_v V"
