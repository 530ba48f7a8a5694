#!/bin/sh
# status.sh LEVEL CODE [TEXT...]
# Run by the service for every status record: its start and stop, the start
# of a shutdown, the UPS port found (code 1), the UPS identified (110) and
# rated (120), and each event category that becomes active (code = the
# category, texts = level and category). Writes one line to zep.log:
#   2024/05/01 10:00:00 status 1 100: Start Service | ZEP Version Information
. "$(dirname -- "$0")/zeplib.sh"

level=${1-}
code=${2-}
texts=
if [ "$#" -ge 2 ]; then
  shift 2
  for text in "$@"; do
    texts="${texts:+$texts | }$text"
  done
fi

zep_log "status $level $code: $texts"
