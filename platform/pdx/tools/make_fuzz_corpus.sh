#!/usr/bin/env bash
# Builds the seed corpus of pdx_read_fuzz from real Paradox tables.
#
#   make_fuzz_corpus.sh OUT_DIR [SAMPLES_DIR]
#
# Each seed is one table in the fuzz target's framing: the .DB, then "@@PX@@"
# and the .PX when the table has one, then "@@MB@@" and the .MB when it has
# one. Seeds stay small so that the fuzzer runs fast: a table whose files
# together exceed MAX_SEED bytes (default 131072) goes in without its .MB,
# and is left out when even that is too large. Every table also gets a seed
# of its .DB alone, so the fuzzer starts from missing companions too.
set -euo pipefail

out=${1:?usage: make_fuzz_corpus.sh OUT_DIR [SAMPLES_DIR]}
samples=${2:-$(cd "$(dirname "$0")/../../../.." && pwd)/shared/paradox-samples}
max=${MAX_SEED:-131072}

[ -d "$samples" ] || { echo "make_fuzz_corpus: no samples folder $samples" >&2; exit 1; }
mkdir -p "$out"

# The companion of a table with extension $2 (any case), or nothing.
companion() {
  local db=$1 ext=$2 stem
  stem=${db%.*}
  find "$(dirname "$db")" -maxdepth 1 -type f -iname "$(basename "$stem").$ext" | head -n 1
}

size_of() { if [ -n "$1" ]; then stat -c %s "$1"; else echo 0; fi; }

count=0
while IFS= read -r db; do
  px=$(companion "$db" px)
  mb=$(companion "$db" mb)
  name=$(echo "${db#"$samples"/}" | tr '/ ' '__')
  total=$(( $(size_of "$db") + $(size_of "$px") + $(size_of "$mb") ))
  if [ "$total" -gt "$max" ]; then
    mb=
    total=$(( $(size_of "$db") + $(size_of "$px") ))
  fi
  [ "$total" -le "$max" ] || continue
  {
    cat "$db"
    if [ -n "$px" ]; then printf '@@PX@@'; cat "$px"; fi
    if [ -n "$mb" ]; then printf '@@MB@@'; cat "$mb"; fi
  } > "$out/$name"
  count=$((count + 1))
  if [ -n "$px$mb" ]; then
    cat "$db" > "$out/$name.alone"
    count=$((count + 1))
  fi
done < <(find "$samples" -type f -iname '*.db' | sort)

echo "make_fuzz_corpus: $count seeds in $out"
