#!/bin/sh
# powerrecovery.sh
# Run by the service when the mains returns after a failure. Cancels a
# shutdown that powerfail.sh or emergency.sh is waiting to make.
. "$(dirname -- "$0")/zeplib.sh"

if zep_cancel_shutdown; then
  zep_log "powerrecovery: the power returned;\
 the pending shutdown is cancelled"
else
  zep_log "powerrecovery: the power returned"
fi
