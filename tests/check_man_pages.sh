#!/usr/bin/env bash
# Every man page in the folder given renders with groff without a warning.
set -euo pipefail
status=0
for page in "$1"/*.1; do
    warnings=$(groff -man -ww -z "$page" 2>&1)
    if [ -n "$warnings" ]; then
        echo "$page: $warnings"
        status=1
    fi
done
exit $status
