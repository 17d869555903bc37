#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The menu launcher's choice of language: runs the launcher, made to start a
# stand-in that prints its arguments, under a table of locale settings.
# Usage: launcher.sh path/to/ratelens-launch.in
set -eu
template=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
printf '#!/bin/sh\necho "$*"\n' >"$scratch/program"
chmod +x "$scratch/program"
sed "s|@RATELENS_PROGRAM@|$scratch/program|" "$template" >"$scratch/launch"
chmod +x "$scratch/launch"

failed=0
# what the program gets | what the launcher gets | the environment
while IFS='|' read -r expected arguments settings; do
    [ -n "$expected" ] || continue
    # shellcheck disable=SC2086 # separate words on purpose
    actual=$(env -i PATH=/usr/bin:/bin $settings "$scratch/launch" $arguments)
    if [ "$actual" != "$expected" ]; then
        echo "FAIL: [$settings] $arguments gave '$actual', expected '$expected'"
        failed=1
    fi
done <<'TABLE'
-e||
-e||LANG=C
-e||LANG=C.UTF-8
-e||LANG=en_US.UTF-8
-j||LANG=ja_JP.UTF-8
-j||LANG=ja_JP.eucJP
-j||LANG=ja
-e||LANG=jv_ID.UTF-8
-j||LC_MESSAGES=ja_JP.UTF-8 LANG=en_GB.UTF-8
-e||LC_MESSAGES=de_DE.UTF-8 LANG=ja_JP.UTF-8
-j||LC_ALL=ja_JP.UTF-8 LC_MESSAGES=en_US.UTF-8 LANG=en_US.UTF-8
-e||LC_ALL=C LANG=ja_JP.UTF-8
-j||LC_ALL= LC_MESSAGES= LANG=ja_JP.UTF-8
-e||LC_CTYPE=ja_JP.UTF-8 LANG=en_US.UTF-8
-j -e|-e|LANG=ja_JP.UTF-8
TABLE
exit $failed
