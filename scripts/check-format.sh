#!/usr/bin/env bash
# Fails when a C++ source of the project differs from what .clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
clang-format --dry-run --Werror "${files[@]}"
echo "${#files[@]} files formatted"
