#!/usr/bin/env bash
# Checks that the project's C and C++ sources are laid out as .clang-format
# says; with --fix, lays them out so.
set -euo pipefail
cd "$(dirname "$0")/.."

format="$(command -v clang-format || command -v clang-format-14 || true)"
if [ -z "$format" ]; then
  echo "clang-format is missing (tools/install-deps.sh installs it)" >&2
  exit 1
fi

# Tracked sources, and new ones not yet added; templates and build trees
# are not sources.
mapfile -t files < <( { git ls-files -co --exclude-standard -- '*.c' '*.h' '*.cpp' 2>/dev/null ||
                        find . -path ./build -prune -o -type f \( -name '*.c' -o -name '*.h' -o -name '*.cpp' \) -print; } |
                      grep -v '^\(\./\)\?build/' | sort -u)

if [ "${1:-}" = --fix ]; then
  "$format" -i "${files[@]}"
  exit 0
fi
if ! "$format" --dry-run --Werror "${files[@]}"; then
  echo "sources differ from .clang-format: run tools/check-format.sh --fix" >&2
  exit 1
fi
echo "source layout: ok"
