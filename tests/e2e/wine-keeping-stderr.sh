#!/usr/bin/env bash
# wine-keeping-stderr.sh LOG PROGRAM [ARGUMENTS...]: runs a Windows program under
# Wine with its standard error (Wine's debug output included) also appended to LOG.
log=$1
shift
exec 2> >(tee -a "$log" >&2)
exec wine "$@"
