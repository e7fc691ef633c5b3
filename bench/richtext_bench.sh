#!/usr/bin/env bash
# Loading a help file with many formatting changes in one paragraph, as the
# help viewer loads it (a laid-out document): `{\rtf1 ` then `{\b a}b` until
# the file holds SIZE bytes, against the same number of plain letters in one
# paragraph (the floor: the same text with no format to change), and the
# same pattern at four times the size, which a reader whose cost grows with
# the square of a paragraph's runs takes sixteen times as long over.
#
# Environment (all optional):
#   VELMORA_RICHTEXT  velmora-richtext to time (default: build/tools/velmora-richtext)
#   SIZE              bytes of the smaller file (default 65536)
#   RUNS              timed runs per file; the median is reported (default 5)
#   KEEP=1            keep the scratch folder
set -u

here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
reader=${VELMORA_RICHTEXT:-$root/build/tools/velmora-richtext}
size=${SIZE:-65536}
runs=${RUNS:-5}

whole_numbers "SIZE and RUNS must be positive whole numbers" "$size" "$runs"
[[ -x $reader ]] || { say "velmora-richtext not found at $reader (build it, or set VELMORA_RICHTEXT)"; exit 2; }
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
make_work richtext

pattern() {  # unit bytes out
  local unit=$1 n=$(( ($2 - 8) / ${#1} ))
  { printf '{\\rtf1 '; for ((i = 0; i < n; i++)); do printf '%s' "$unit"; done; printf '}'; } >"$3"
}
pattern 'ab' "$size" "$work/plain.rtf"
pattern '{\b a}b' "$size" "$work/runs.rtf"
pattern '{\b a}b' $((4 * size)) "$work/runs4.rtf"

table=()
time_tool table plain "$reader" "$work/plain.rtf" || exit 1
time_tool table runs "$reader" "$work/runs.rtf" || exit 1
time_tool table runs4 "$reader" "$work/runs4.rtf" || exit 1

printf 'one paragraph of %s bytes, median of %s runs\n\n' "$size" "$runs"
printf '%-34s %8s %8s\n' "file" "seconds" "x plain"
for r in "${table[@]}"; do
  case $r in
    plain) what="plain letters" ;;
    runs) what="a bold run every 2 letters" ;;
    runs4) what="the same, four times the size" ;;
  esac
  printf '%-34s %8s %8s\n' "$what" "${secs[$r]}" \
    "$(awk -v a="${secs[$r]}" -v b="${secs[plain]}" 'BEGIN { printf "%.2f", a / b }')"
done
