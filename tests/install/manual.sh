#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Copyright Huecast contributors
#
# Renders the built manual with man and checks it covers every command and every option that
# the tool's own --help lists, so the two can't drift apart.
set -euo pipefail
tool=$1 page=$2
text=$(MANWIDTH=200 man -l "$page" 2>/dev/null | col -b)
grep -q "^EXIT STATUS" <<<"$text"
grep -q "^ENVIRONMENT" <<<"$text"
grep -q "^FILES" <<<"$text"
grep -q "^EXAMPLES" <<<"$text"
grep -q "^FREI0R MODULE" <<<"$text" || { echo "FAIL: the manual doesn't describe the frei0r module" >&2; exit 1; }
version=$("$tool" --version | cut -d' ' -f2)
grep -q "Huecast $version" <<<"$text" || { echo "FAIL: the manual isn't version $version" >&2; exit 1; }

missing=""
commands=$("$tool" --help | sed -n '/^Subcommands:/,$ s/^  \([a-z]\+\) .*/\1/p')
[ -n "$commands" ]
for command in $commands; do
    grep -q "huecast $command" <<<"$text" || missing+=" $command"
    for option in $("$tool" "$command" --help | sed -n 's/^  \(-[^ ]*\).*/\1/p' | tr ',' ' '); do
        case $option in -h | --help) continue ;; esac
        grep -qe "$option\\b" <<<"$text" || missing+=" $command:$option"
    done
done
if [ -n "$missing" ]; then
    echo "FAIL: the manual doesn't describe:$missing" >&2
    exit 1
fi
echo "the manual covers: ${commands//$'\n'/ }"
