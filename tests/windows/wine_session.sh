#!/bin/sh
# One Wine session for a whole test run, in the prefix named by WINEPREFIX.
#   wine_session.sh start WINESERVER WINE   make the prefix if it is new, then
#                                           keep one wineserver and Wine's
#                                           services running for every test
#   wine_session.sh stop WINESERVER         end them
# Started here, with no pipe of a test attached, the long-lived processes hold
# no test's output open; the server still ends by itself a minute after its
# last program should the run be cut short.
set -e
case $1 in
start)
    mkdir -p "$WINEPREFIX"
    # Fails harmlessly when a server of this prefix is already running.
    "$2" -p60 </dev/null >/dev/null 2>&1 || :
    if ! "$3" wineboot --init </dev/null >"$WINEPREFIX.log" 2>&1; then
        echo "wine_session.sh: wineboot failed; see $WINEPREFIX.log" >&2
        exit 1
    fi
    ;;
stop)
    "$2" -k </dev/null >/dev/null 2>&1 || true
    ;;
*)
    echo "usage: wine_session.sh start WINESERVER WINE | stop WINESERVER" >&2
    exit 2
    ;;
esac
