#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The bash completion of ratelens-batch offers exactly the options that the
# command's --help lists, and a file name after -o.
# Usage: completion.sh path/to/ratelens-batch path/to/ratelens-batch.bash-completion
set -euo pipefail
batch=$1
completion=$2
# shellcheck source=/dev/null
. "$completion"

complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _ratelens_batch
    printf '%s\n' "${COMPREPLY[@]}" | sort
}

documented=$("$batch" --help | grep -oE '^ +(-[a-zA-Z], )?--?[a-z][a-z0-9-]*' \
    | tr ',' '\n' | tr -d ' ' | sort)
offered=$(complete_words ratelens-batch -)
if [ "$documented" != "$offered" ]; then
    echo "FAIL: --help lists"; echo "$documented"
    echo "the completion offers"; echo "$offered"
    exit 1
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
touch "$scratch/deadtimes.dat"
cd "$scratch"
after_output=$(complete_words ratelens-batch x.dat -o dead)
if [ "$after_output" != "deadtimes.dat" ]; then
    echo "FAIL: after -o the completion offers '$after_output'"
    exit 1
fi

# The correct sub-command: its options as its --help lists them, the laws after
# --model, JSON files after --dead-times.
documented=$("$batch" correct --help | grep -oE '^ +(-[a-zA-Z], )?--?[a-z][a-z0-9-]*' \
    | tr ',' '\n' | tr -d ' ' | sort)
offered=$(complete_words ratelens-batch correct -)
if [ "$documented" != "$offered" ]; then
    echo "FAIL: correct --help lists"; echo "$documented"
    echo "the completion offers"; echo "$offered"
    exit 1
fi
models=$(complete_words ratelens-batch correct --model '' | tr '\n' ' ')
if [ "$models" != "nonparalyzable paralyzable " ]; then
    echo "FAIL: after correct --model the completion offers '$models'"
    exit 1
fi
touch dt.json
after_dead_times=$(complete_words ratelens-batch correct --dead-times dt)
if [ "$after_dead_times" != "dt.json" ]; then
    echo "FAIL: after --dead-times the completion offers '$after_dead_times'"
    exit 1
fi
