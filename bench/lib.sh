# Shell functions the benchmark scripts share. Sourced, not run; expects
# $py (the Debian python3) and $py_ok (1 when it has numpy and PIL).

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
