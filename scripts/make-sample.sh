#!/usr/bin/env bash
# Regenerates the sample session in resources/sample/ from the shared hdm05 take: frames
# 1220 to 1619 (10.2 s to 13.5 s, walking, so that the graph pages have transitions to show) of
# each of its 41 marker files (lines kept byte for byte), then sample.dwz made
# from sample-recipe.json by `duolo-mg make-project`. For maintainers; the tests do not run it.
#
# Usage: scripts/make-sample.sh [TAKE_FOLDER]   (default: ../shared/data/hdm05_mm_locomotion
#        beside the repository). Set DUOLO_MG to the tool to use (default: build/src/cli/duolo-mg).
set -euo pipefail
cd "$(dirname "$0")/.."

take=${1:-../shared/data/hdm05_mm_locomotion}
first=1220
frames=400
tool=${DUOLO_MG:-build/src/cli/duolo-mg}
out=resources/sample

if [ ! -f "$take/info.json" ]; then
  echo "make-sample: no take at $take" >&2
  exit 1
fi
if [ ! -x "$tool" ]; then
  echo "make-sample: build duolo-mg first (cmake --build build --target duolo-mg), or set DUOLO_MG" >&2
  exit 1
fi

mkdir -p "$out/markers"
rm -f "$out"/markers/*.mov
count=0
for file in "$take"/*.mov; do
  sed -n "$((first + 1)),$((first + frames))p" "$file" > "$out/markers/$(basename "$file")"
  count=$((count + 1))
done
echo "make-sample: $count marker files of $frames frames (from frame $first) in $out/markers"

"$tool" make-project "$out/sample-recipe.json" "$out/sample.dwz" >/dev/null
echo "make-sample: wrote $out/sample.dwz ($(stat -c %s "$out/sample.dwz") bytes)"
