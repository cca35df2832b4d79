#!/usr/bin/env bash
# Creates (setup) or stops (cleanup) the private Wine prefix of one test run.
set -u
action=$1 prefix=$2
export WINEPREFIX=$prefix WINEDEBUG=-all
case $action in
  setup)
    if [ -d "$prefix" ]; then wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; rm -rf "$prefix"; fi
    mkdir -p "$prefix"
    wineboot -i </dev/null >/dev/null 2>&1
    # Windows need the null display driver; it takes effect once the server has stopped.
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
    wineserver -w
    wineserver -p </dev/null >/dev/null 2>&1
    # Start Wine's services now, with /dev/null as their stdio, so no test's pipe is held by them.
    wine cmd /c exit </dev/null >/dev/null 2>&1
    test -f "$prefix/system.reg"
    ;;
  cleanup)
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    exit 0
    ;;
  *) echo "usage: $0 setup|cleanup PREFIX" >&2; exit 2 ;;
esac
