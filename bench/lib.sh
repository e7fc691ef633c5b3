# Set-up and shell functions the benchmark scripts share. Sourced, not run,
# right after the script has set $here (its own folder):
#   here=$(cd "$(dirname "$0")" && pwd); . "$here/lib.sh"
# It sets root, shared, peers, cli, genframes, width, height, count, seed,
# runs, threads, skip, py and py_ok, and the arrays secs, note and exact.

root=$(cd "$here/.." && pwd)
shared=${VELMORA_SHARED_DIR:-$root/../shared}
peers=$shared/bench
cli=${VELMORA_CLI:-$root/build/cli/velmora-cli}
genframes=${VELMORA_GENFRAMES:-$root/build/tools/velmora-genframes}
width=${WIDTH:-1920} height=${HEIGHT:-1080} count=${COUNT:-32} seed=${SEED:-1}
runs=${RUNS:-3}
threads=${THREADS:-$(nproc 2>/dev/null || echo 2)}
skip=" ${SKIP:-} "
py=/usr/bin/python3  # the Debian interpreter, the one with Debian's numpy and PIL
declare -A secs note exact

py_ok=0
if [[ -x $py ]] && "$py" -c 'import numpy, PIL' 2>/dev/null; then py_ok=1; fi
compare_by=$([[ $py_ok == 1 ]] && echo "pixel arrays compared with PIL" || echo "pixel bytes after the headers compared with cmp")

say() { printf '%s\n' "$*" >&2; }
have() { command -v "$1" >/dev/null 2>&1; }

whole_numbers() {  # message values... -> exits 2 unless every value is a positive whole number
  local message=$1 n; shift
  for n in "$@"; do
    [[ $n =~ ^[1-9][0-9]*$ ]] || { say "$message"; exit 2; }
  done
}

# The scratch folder $work under ${TMPDIR:-/tmp}, deleted at the end unless KEEP=1.
make_work() {  # name
  work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-$1-bench.XXXXXX") || exit 2
  if [[ ${KEEP:-0} == 1 ]]; then
    say "scratch folder kept: $work"
  else
    trap 'rm -rf "$work"' EXIT
  fi
}

# Star-field frames PREFIX_NNNN.bmp in FOLDER, by the shared generator when
# Python has numpy and PIL, else by our own; sets frames_by. Exits 2 when
# neither can make them. Siril converts a sequence by its base name, so the
# lights are named f_NNNN.bmp.
make_frames() {  # kind prefix count folder
  local kind=$1 prefix=$2 n=$3 folder=$4 drift=()
  if [[ $py_ok == 1 && -f $peers/make_frames.py ]]; then
    "$py" "$peers/make_frames.py" --kind "$kind" --width "$width" --height "$height" --count "$n" \
          --seed "$seed" --prefix "$prefix" --out "$folder" >/dev/null || { say "frame generation failed"; exit 2; }
    frames_by="make_frames.py"
  elif [[ -x $genframes ]]; then
    [[ $kind == light ]] && drift=(--drift 0.3,0.2)
    "$genframes" --kind "$kind" "${drift[@]}" --width "$width" --height "$height" --count "$n" \
                 --seed "$seed" --prefix "$prefix" --out "$folder" >/dev/null || { say "frame generation failed"; exit 2; }
    frames_by="velmora-genframes"
  else
    say "cannot make frames: need $py with numpy and PIL, or a built velmora-genframes"
    exit 2
  fi
}

# The peers that need compiling, compiled once outside the timing: readall
# (the floor: loads every frame, computes nothing) and ref_median (the naive
# single-threaded rule). Sets cc_ok and cxx_ok.
compile_peers() {
  mkdir -p "$work/bin"
  cc_ok=0 cxx_ok=0
  have gcc && gcc -O2 -o "$work/bin/readall" "$peers/readall.c" 2>"$work/cc.log" && cc_ok=1
  have g++ && g++ -O2 -o "$work/bin/ref_median" "$peers/ref_median.cpp" 2>"$work/cxx.log" && cxx_ok=1
  return 0
}

# The plain rewrite: each file read whole, written whole to a new file beside
# it, flushed (unless -n), renamed over it, its folder flushed. That is what
# replacing a file safely costs with no image work at all.
# Sets rw_ok.
compile_rewrite() {
  mkdir -p "$work/bin"
  rw_ok=0
  cat >"$work/bin/rewrite.c" <<'EOF'
#include <fcntl.h>
#include <libgen.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv) {
    int a = 1, flush = 1;
    if (a < argc && strcmp(argv[a], "-n") == 0) { flush = 0; ++a; }
    for (; a < argc; ++a) {
        const char *path = argv[a];
        struct stat st;
        int in = open(path, O_RDONLY);
        if (in < 0 || fstat(in, &st) != 0) { perror(path); return 1; }
        char *buf = malloc(st.st_size ? st.st_size : 1);
        ssize_t got = 0, r;
        while (got < st.st_size && (r = read(in, buf + got, st.st_size - got)) > 0) got += r;
        close(in);
        if (got != st.st_size) { fprintf(stderr, "%s: short read\n", path); return 1; }
        char tmp[4096];
        snprintf(tmp, sizeof tmp, "%s.rewrite", path);
        int out = open(tmp, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || write(out, buf, got) != got || (flush && fsync(out) != 0) || close(out) != 0) {
            perror(tmp);
            return 1;
        }
        if (rename(tmp, path) != 0) { perror(path); return 1; }
        if (flush) {
            char folder[4096];
            snprintf(folder, sizeof folder, "%s", path);
            int dir = open(dirname(folder), O_RDONLY);
            if (dir >= 0) { fsync(dir); close(dir); }
        }
        free(buf);
    }
    return 0;
}
EOF
  have gcc && gcc -O2 -o "$work/bin/rewrite" "$work/bin/rewrite.c" 2>>"$work/cc.log" && rw_ok=1
  return 0
}

# A warm cache for everyone: the files are read twice before the first timing.
warm_cache() { cat "$@" >/dev/null; cat "$@" >/dev/null; }

median_of_runs() { printf '%s\n' "$@" | sort -g | awk -v n="$runs" 'NR == int((n + 1) / 2)'; }

# Wall time of one whole command, the median of $runs runs, in secs[NAME];
# NAME is appended to the array LIST, the rows of one report table. The
# command's output goes to a log so a failure can be shown. When the
# variable before_run names a function, it runs (untimed) before each run.
time_tool() {  # list name command...
  local -n rows=$1
  local name=$2; shift 2
  local t0 t1 i times=()
  rows+=("$name")
  for ((i = 0; i < runs; i++)); do
    [[ -n ${before_run:-} ]] && "$before_run"
    t0=$EPOCHREALTIME
    if ! "$@" >"$work/$name.log" 2>&1; then
      secs[$name]=failed
      say "$name failed:"; tail -n 5 "$work/$name.log" >&2
      return 1
    fi
    t1=$EPOCHREALTIME
    times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }')")
  done
  secs[$name]=$(median_of_runs "${times[@]}")
  return 0
}

# Rows that were not timed: left out by SKIP, a peer not installed, velmora-cli not built.
skipped() {  # list name -> 0 when SKIP names it
  [[ $skip == *" $2 "* ]] || return 1
  local -n rows=$1
  rows+=("$2"); secs[$2]=skipped
}
absent() {  # list name needs
  local -n rows=$1
  rows+=("$2"); secs[$2]="not installed"; note[$2]="needs $3"
}
not_built() {  # list name
  local -n rows=$1
  rows+=("$2"); secs[$2]="not built"; note[$2]="build velmora-cli or set VELMORA_CLI"
}

# ImageMagick's -evaluate-sequence OPERATION over the frames into OUT, timed
# as row "imagemagick". Debian's stock policy caps the pixel cache, so a
# large set is run again with the limits lifted.
time_imagemagick() {  # list operation out frames...
  local list=$1 op=$2 out=$3; shift 3
  local magick=${MAGICK_CONVERT:-}
  if [[ -z $magick ]]; then
    if have magick; then magick=magick; elif have convert; then magick=convert; fi
  fi
  if skipped "$list" imagemagick; then return 0; fi
  if [[ -z $magick ]] || ! "$magick" -version 2>/dev/null | grep -q ImageMagick; then
    absent "$list" imagemagick "imagemagick"
    return 0
  fi
  time_tool "$list" imagemagick "$magick" "$@" -evaluate-sequence "$op" "BMP3:$out" && return 0
  mkdir -p "$work/magick"
  cat >"$work/magick/policy.xml" <<'EOF'
<policymap>
  <policy domain="resource" name="memory" value="16GiB"/>
  <policy domain="resource" name="map" value="32GiB"/>
  <policy domain="resource" name="area" value="16GP"/>
  <policy domain="resource" name="disk" value="64GiB"/>
  <policy domain="resource" name="width" value="64KP"/>
  <policy domain="resource" name="height" value="64KP"/>
</policymap>
EOF
  local -n rows=$list
  unset 'rows[${#rows[@]}-1]'
  MAGICK_CONFIGURE_PATH=$work/magick time_tool "$list" imagemagick \
    "$magick" "$@" -evaluate-sequence "$op" "BMP3:$out" && note[imagemagick]="relaxed policy"
}

# Pixel arrays are compared, not files: headers may differ in fields that do
# not matter (resolution, palette size), the picture may not.
same_pixels() {  # a.bmp b.bmp -> 0 equal, 1 different, 2 unreadable
  if [[ $py_ok == 1 ]]; then
    "$py" - "$1" "$2" <<'EOF'
import sys
import numpy as np
from PIL import Image
try:
    a, b = (np.asarray(Image.open(p).convert("L")) for p in sys.argv[1:3])
except Exception as e:
    print(e, file=sys.stderr)
    sys.exit(2)
if a.shape != b.shape:
    print("sizes differ: %s and %s" % (a.shape, b.shape), file=sys.stderr)
    sys.exit(1)
d = np.argwhere(a != b)
if len(d):
    y, x = d[0]
    print("%d pixels differ, the first at x=%d y=%d: %d, expected %d"
          % (len(d), x, y, a[y, x], b[y, x]), file=sys.stderr)
    sys.exit(1)
EOF
  else
    # Without PIL: the bytes after each file's pixel offset (same width, same padding).
    local oa ob
    oa=$(od -An -tu4 -j10 -N4 "$1" | tr -d ' ') ob=$(od -An -tu4 -j10 -N4 "$2" | tr -d ' ')
    [[ -n $oa && -n $ob ]] || return 2
    cmp -s <(tail -c +"$((oa + 1))" "$1") <(tail -c +"$((ob + 1))" "$2") && return 0
    echo "the pixel bytes differ" >&2
    return 1
  fi
}

# exact[NAME] for every timed NAME whose $work/out/NAME.bmp is compared with
# REF; velmora differing sets status=1. The naive program is the reference.
check_outputs() {  # ref names...
  local ref=$1 name; shift
  for name in "$@"; do
    [[ ${secs[$name]:-} =~ ^[0-9.]+$ ]] || continue
    if [[ ! -f $ref ]]; then exact[$name]="no reference"; continue; fi
    if same_pixels "$work/out/$name.bmp" "$ref" 2>"$work/cmp-$name.log"; then
      exact[$name]=yes
    else
      exact[$name]=NO
      [[ $name == velmora ]] && status=1
    fi
  done
  [[ -f $ref && -n ${secs[naive]:-} ]] && exact[naive]="reference"
  exact[siril]="n/a"
  [[ ${secs[velmora]:-} == failed ]] && status=1
  return 0
}

# One report table: a row per name of LIST with its seconds and its ratio to
# the row BASE.
report_table() {  # base list
  local base=${secs[$1]:-} name s ratio
  [[ $base =~ ^[0-9.]+$ ]] || base=""
  local -n rows=$2
  printf '%-15s %10s %8s  %-9s %s\n' tool seconds "x $1" exact note
  for name in "${rows[@]}"; do
    s=${secs[$name]}
    if [[ $s =~ ^[0-9.]+$ ]]; then
      ratio=$([[ -n $base ]] && awk -v a="$s" -v b="$base" 'BEGIN { printf "%.2f", a / (b > 0 ? b : 1e-9) }' || echo -)
      printf '%-15s %10.3f %8s  %-9s %s\n' "$name" "$s" "$ratio" "${exact[$name]:--}" "${note[$name]:-}"
    else
      printf '%-15s %10s %8s  %-9s %s\n' "$name" "$s" - - "${note[$name]:-}"
    fi
  done
}

# "velmora / fastest peer (NAME): RATIO" over the peers given.
report_fastest_peer() {  # peers...
  local best="" best_name="" name s
  for name in "$@"; do
    s=${secs[$name]:-}
    [[ $s =~ ^[0-9.]+$ ]] || continue
    if [[ -z $best ]] || awk -v a="$s" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$s best_name=$name; fi
  done
  if [[ ${secs[velmora]:-} =~ ^[0-9.]+$ && -n $best ]]; then
    printf 'velmora / fastest peer (%s): %s\n' "$best_name" \
      "$(awk -v a="${secs[velmora]}" -v b="$best" 'BEGIN { printf "%.2f", a / b }')"
  fi
}

# The verdict on velmora's own output (WHAT: "median", "flat", ...).
report_velmora() {  # what command
  if [[ ${exact[velmora]:-} == NO ]]; then
    say ""
    say "FAIL: velmora's $1 differs from the single-threaded reference ($compare_by):"
    cat "$work/cmp-velmora.log" >&2
  elif [[ ${secs[velmora]:-} == failed ]]; then
    say "FAIL: velmora-cli $2 did not succeed"
  elif [[ ${exact[velmora]:-} == yes ]]; then
    printf 'velmora %s equals the reference (%s)\n' "$1" "$compare_by"
  fi
}
