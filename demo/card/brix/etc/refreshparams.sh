#!/bin/sh -p
# Run detached by the card's CGI program after a set request was applied. On
# a card it would re-read every parameter into the running services; the
# sample card only notes when it ran, in var/log/refresh.log.
PATH=/usr/bin:/bin
export PATH
card=$(CDPATH= cd -- "$(dirname -- "$0")/../.." && pwd) || exit 1
printf '%s refresh\n' "$(date '+%F %T.%N')" >> "$card/var/log/refresh.log"
