#!/bin/sh
# The handler's boxes on one Xvfb: each row in English, Simplified (China)
# and Traditional (Taiwan) Chinese, which Wine takes from the locale, all at
# once; the ten-second row in Singapore's, Hong Kong's and Macao's too. Each
# run is told the UI language it must get and the message table's column.
# The question rows without a policy (AskedOwnAuthority: the host allowed),
# the others with one that opens all; in CORVANE_WINE_PREFIX, its own server.
#   message_box.sh WINE_RUN HANDLER_E2E_TESTS VENDOR_KEY
set -eu
"$1" --start-server && trap '"$1" --stop-server' EXIT
xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" sh -c '
    set -eu
    wine_run=$0 tests=$1 vendor=$2 status=0 trace=-all,+eventlog,fixme+advapi
    policy="HKCU\\Software\\Policies\\Corvane\\Remote Console"
    for row in AskedYes AskedNo AskedOwnAuthority Refused Quiet Expired Used NotInstalled \
               ProgramMissing NoPipe; do
        "$wine_run" reg delete "$policy" /f >/dev/null 2>&1 || true
        case $row in AskedOwnAuthority)
            "$wine_run" reg add "$policy\\AllowedHosts" /v 1 /d vm7.example /f >/dev/null ;;
        Asked*) ;; *)
            "$wine_run" reg add "$policy" /v UnverifiedFiles /t REG_DWORD /d 2 /f >/dev/null ;;
        esac
        languages="en_US:0409:0 zh_CN:0804:1 zh_TW:0404:2"
        [ "$row" != NoPipe ] || languages="$languages zh_SG:1004:1 zh_HK:0c04:2 zh_MO:1404:2"
        pids=""
        for language in $languages; do
            LC_ALL=${language%%:*}.UTF-8 CORVANE_EXPECT_LANGUAGE=${language#*:} \
                CORVANE_EVENT_TRACE="$(dirname "$wine_run")/box-events-${language%%:*}.log" WINEDEBUG=$trace \
                CORVANE_BOX_ROW=$row GTEST_FILTER=HandlerBox.Row "$wine_run" "$tests" &
            pids="$pids $!:${language%%:*}"
        done
        for run in $pids; do
            wait "${run%%:*}" || { echo "message box row $row in ${run#*:}: exit status $?"; status=1; }
        done
    done
    "$wine_run" reg delete "HKLM\\Software\\$vendor" /reg:32 /f >/dev/null 2>&1 || true
    "$wine_run" reg delete "$policy" /f >/dev/null 2>&1 || true
    exit "$status"' "$1" "$2" "$3"
