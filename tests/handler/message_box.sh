#!/bin/sh
# The handler's message boxes on a real (virtual) display: one Xvfb, the
# box test run once in English and once with a Chinese UI language, which
# Wine takes from the locale.
#   message_box.sh WINE_RUN HANDLER_E2E_TESTS
set -eu
exec xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" sh -c '
    export GTEST_FILTER=HandlerBox.*
    LC_ALL=en_US.UTF-8 CORVANE_EXPECT_LANGUAGE=en "$0" "$1" &&
    LC_ALL=zh_CN.UTF-8 CORVANE_EXPECT_LANGUAGE=zh "$0" "$1"' "$1" "$2"
