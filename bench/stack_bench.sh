#!/usr/bin/env bash
# Whole-command timing of stacking placed frames: velmora-cli stack with
# --locks (every frame shifted by a few pixels) for the median and the
# average rule, against the floor (read the frames, write a 24-bit canvas of
# the stack's size) and Siril's stack of the same frames without
# registration. Every figure comes from one run on the same frames.
#
# The stack must not depend on the number of threads: each rule is run once
# more on a single processor (taskset -c 0) and its picture must equal the
# timed one, else the script fails.
#
# Environment (all optional):
#   VELMORA_CLI         velmora-cli to time (default: build/cli/velmora-cli)
#   VELMORA_GENFRAMES   frame generator used when Python/numpy/PIL are missing
#   VELMORA_SHARED_DIR  the shared folder (default: ../shared beside the checkout)
#   WIDTH HEIGHT COUNT  frame size and number (default 1920 1080 32)
#   SEED                frame and offset seed (default 1)
#   SHIFT               largest offset in pixels, each direction (default 7)
#   RUNS                timed runs per tool; the median is reported (default 3)
#   THREADS             threads offered to Siril (default: all processors)
#   SKIP                space-separated rows to leave out:
#                       floor nosync velmora-median velmora-average siril-median siril-mean
#   KEEP=1              keep the scratch folder (frames, locks, outputs)
set -u

here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
shift_max=${SHIFT:-7}
order=()

whole_numbers "WIDTH, HEIGHT, COUNT and RUNS must be positive whole numbers" "$width" "$height" "$count" "$runs"
[[ $shift_max =~ ^[0-9]+$ ]] || { say "SHIFT must be a whole number"; exit 2; }
make_work stack
mkdir -p "$work/frames" "$work/bin" "$work/out" "$work/run"

make_frames light f "$count" "$work/frames"
frames=("$work"/frames/f_*.bmp)
[[ ${#frames[@]} == "$count" ]] || { say "expected $count frames, found ${#frames[@]}"; exit 2; }

# Frame i's star at (x, y) is locked to the Base point, so the frame lies
# at (-x, -y): the canvas is the frames' size plus the largest offsets and
# the one black column and row every stack keeps.
locks=$work/locks.csv
awk -v n="$count" -v s="$seed" -v m="$shift_max" \
  'BEGIN { srand(s); for (i = 0; i < n; i++) printf "%d,%d\n", int(rand() * (m + 1)), int(rand() * (m + 1)) }' >"$locks"
canvas_w=$((width + $(cut -d, -f1 "$locks" | sort -n | tail -n 1) - $(cut -d, -f1 "$locks" | sort -n | head -n 1) + 1))
canvas_h=$((height + $(cut -d, -f2 "$locks" | sort -n | tail -n 1) - $(cut -d, -f2 "$locks" | sort -n | head -n 1) + 1))

# The floor: every frame read whole, then a 24-bit picture of the canvas's
# size written to a new file, flushed (unless -n), renamed over OUT and its
# folder flushed, the way Velmora writes its result.
cat >"$work/bin/floor.c" <<'EOF'
#include <fcntl.h>
#include <libgen.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static void put32(unsigned char *p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = (unsigned char)(v >> (8 * i)); }

int main(int argc, char **argv) {
    int a = 1, flush = 1;
    if (a < argc && strcmp(argv[a], "-n") == 0) { flush = 0; ++a; }
    if (argc - a < 4) { fprintf(stderr, "usage: floor [-n] W H OUT FILE...\n"); return 2; }
    const long w = atol(argv[a]), h = atol(argv[a + 1]);
    const char *path = argv[a + 2];
    for (int i = a + 3; i < argc; ++i) {
        struct stat st;
        int in = open(argv[i], O_RDONLY);
        if (in < 0 || fstat(in, &st) != 0) { perror(argv[i]); return 1; }
        unsigned char *buf = malloc(st.st_size ? st.st_size : 1);
        ssize_t got = 0, r;
        while (got < st.st_size && (r = read(in, buf + got, st.st_size - got)) > 0) got += r;
        close(in);
        if (got != st.st_size) { fprintf(stderr, "%s: short read\n", argv[i]); return 1; }
        free(buf);
    }
    const long row = (w * 3 + 3) / 4 * 4, size = 54 + row * h;
    unsigned char *bmp = calloc(size, 1);
    bmp[0] = 'B', bmp[1] = 'M';
    put32(bmp + 2, size), put32(bmp + 10, 54), put32(bmp + 14, 40), put32(bmp + 18, w), put32(bmp + 22, h);
    bmp[26] = 1, bmp[28] = 24;
    put32(bmp + 34, row * h);
    char tmp[4096];
    snprintf(tmp, sizeof tmp, "%s.tmp", path);
    int out = open(tmp, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || write(out, bmp, size) != size || (flush && fsync(out) != 0) || close(out) != 0) { perror(tmp); return 1; }
    if (rename(tmp, path) != 0) { perror(path); return 1; }
    if (flush) {
        char folder[4096];
        snprintf(folder, sizeof folder, "%s", path);
        int dir = open(dirname(folder), O_RDONLY);
        if (dir >= 0) { fsync(dir); close(dir); }
    }
    free(bmp);
    return 0;
}
EOF
floor_ok=0
have gcc && gcc -O2 -o "$work/bin/floor" "$work/bin/floor.c" 2>"$work/cc.log" && floor_ok=1

# velmora-cli stack writes its state and trace files in the current folder.
in_run_folder() { (cd "$work/run" && "$@"); }
velmora_stack() {  # rule out [wrapper...]
  local rule=$1 out=$2; shift 2
  in_run_folder "$@" "$cli" stack --rule "$rule" --locks "$locks" "${frames[@]}" -o "$out"
}

# --- timing ---------------------------------------------------------------
warm_cache "${frames[@]}"

if skipped order floor; then :; elif [[ $floor_ok == 1 ]]; then
  time_tool order floor "$work/bin/floor" "$canvas_w" "$canvas_h" "$work/out/floor.bmp" "${frames[@]}"
else absent order floor "gcc"; fi
if skipped order nosync; then :; elif [[ $floor_ok == 1 ]]; then
  time_tool order nosync "$work/bin/floor" -n "$canvas_w" "$canvas_h" "$work/out/nosync.bmp" "${frames[@]}"
else absent order nosync "gcc"; fi

for rule in median average; do
  if skipped order "velmora-$rule"; then :; elif [[ -x $cli ]]; then
    time_tool order "velmora-$rule" velmora_stack "$rule" "$work/out/velmora-$rule.bmp"
  else not_built order "velmora-$rule"; fi
done

for rule in median mean; do
  if skipped order "siril-$rule"; then :; elif have siril-cli; then
    time_tool order "siril-$rule" sh "$peers/siril_stack.sh" "$work/frames" "$rule" "$work/siril-$rule" "$threads"
    note[siril-$rule]="$threads threads, no registration; float FITS"
  else absent order "siril-$rule" "siril"; fi
done

# --- one processor against all ----------------------------------------------
# Under taskset the stack's threads take turns on one processor, so rows go
# to other threads in another order than in the timed runs.
status=0
for rule in median average; do
  name=velmora-$rule
  [[ ${secs[$name]:-} == failed ]] && status=1
  [[ ${secs[$name]:-} =~ ^[0-9.]+$ ]] || continue
  if ! have taskset; then exact[$name]="no taskset"; continue; fi
  if ! velmora_stack "$rule" "$work/out/$name-1.bmp" taskset -c 0 >"$work/$name-1.log" 2>&1; then
    exact[$name]=NO status=1
    say "$name on one processor failed:"; tail -n 5 "$work/$name-1.log" >&2
  elif same_pixels "$work/out/$name.bmp" "$work/out/$name-1.bmp" 2>"$work/cmp-$name.log"; then
    exact[$name]=yes
  else
    exact[$name]=NO status=1
    say "FAIL: velmora's $rule stack on one processor differs ($compare_by):"; cat "$work/cmp-$name.log" >&2
  fi
done

# --- report -----------------------------------------------------------------
printf '\nStack of %d frames of %d x %d (8-bit, %s, seed %s) shifted by 0..%d px onto %d x %d, %d processors;\n' \
  "$count" "$width" "$height" "$frames_by" "$seed" "$shift_max" "$canvas_w" "$canvas_h" "$(nproc 2>/dev/null || echo 1)"
printf 'median of %d runs, warm cache; "exact": the same picture on one processor (taskset -c 0).\n' "$runs"
report_table floor order
exit $status
