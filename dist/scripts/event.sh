#!/bin/sh
# event.sh BEGAN LEVEL CODE
# Run by the service for every event that begins (BEGAN 1) or ends (0), with
# its level (1 Information, 2 Caution, 3 Fault) and its event code. Writes
# one line to zep.log with the texts zepe finds for them in the service's
# message files, for example
#   2024/05/01 10:00:00 [Caution] Occurrence: Mains failure (event 3368)
. "$(dirname -- "$0")/zeplib.sh"

began=${1-}
level=${2-}
code=${3-}
occurrence=$began
level_text=$level
event_text=$code

# Only plain numbers go to zepe: anything else would be read as an option.
if zep_is_number "$began" && zep_is_number "$level" &&
  zep_is_number "$code"; then
  line=$(zep_zepe -o "$began" -l "$level" -i "$code")
  # "Occurrence,Caution,Mains failure": the event text comes last, so a
  # comma in it stays in it.
  case $line in
    *,*,*)
      occurrence=$(zep_unquote "${line%%,*}")
      line=${line#*,}
      level_text=$(zep_unquote "${line%%,*}")
      event_text=$(zep_unquote "${line#*,}")
      ;;
  esac
fi

zep_log "[$level_text] $occurrence: $event_text (event $code)"
