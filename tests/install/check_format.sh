#!/usr/bin/env bash
# Every C++ source of the tree is as clang-format (the project's
# .clang-format) writes it; names the files that are not.
set -u
cd "$1" || exit 2
command -v clang-format >/dev/null || { echo "clang-format is not installed (scripts/setup installs it)"; exit 1; }
mapfile -t files < <(find bench fuzz gfx library replay tests tools ui -name '*.cpp' -o -name '*.h' | sort)
unformatted=()
for file in "${files[@]}"; do
  clang-format --dry-run --Werror --style=file "$file" >/dev/null 2>&1 || unformatted+=("$file")
done
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "not formatted (clang-format -i --style=file FILE): ${unformatted[*]}"
  exit 1
fi
echo "${#files[@]} files formatted"
