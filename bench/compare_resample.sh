#!/usr/bin/env bash
# Times our filtered scaler against ImageMagick (-filter Quadratic -resize, one thread) and
# Pillow (Image.resize with BICUBIC) on the same generated 4000 x 3000 photo-like image, in one
# run, and prints source megapixels per second and the ratios.
#
# Usage: bench/compare_resample.sh [path to resample_bench]
#   default: build/bench/resample_bench under the source tree.
# Needs imagemagick and python3-pil (scripts/install-deps.sh --test).
#
# All figures are process CPU time (user + system), so that a busy machine distorts them less;
# ImageMagick's time to read the file is measured separately and subtracted.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bench=${1:-$here/../build/bench/resample_bench}
if [[ ! -x "$bench" ]]; then
  echo "resample_bench not found at $bench; build it first (cmake --build <dir> --target resample_bench)" >&2
  exit 1
fi

# The ImageMagick 6 program itself when present, else whatever "convert" is.
magick=$(command -v convert-im6.q16 || command -v convert || true)
if [[ -z "$magick" ]]; then
  echo "ImageMagick's convert is missing (scripts/install-deps.sh --test)" >&2
  exit 1
fi

# A Python that has Pillow: $PYTHON, the first python3 on PATH, or the system one.
python=""
for candidate in "${PYTHON:-}" python3 /usr/bin/python3; do
  if [[ -n "$candidate" ]] && "$candidate" -c "import PIL" 2>/dev/null; then
    python=$candidate
    break
  fi
done
if [[ -z "$python" ]]; then
  echo "no python3 with Pillow found (python3-pil, or set PYTHON)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --write-ppm="$work/source.ppm"

"$python" - "$bench" "$magick" "$work" <<'EOF'
import json
import os
import resource
import subprocess
import sys
import time

from PIL import Image

bench, magick, work = sys.argv[1], sys.argv[2], sys.argv[3]
source = os.path.join(work, "source.ppm")
sizes = [(450, 338), (1600, 1200), (8000, 6000)]
repeats = 3


def child_cpu(cmd, env):
    """CPU seconds of one child process run."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(cmd, env=env, check=True, stdout=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


# Ours: Google Benchmark's CPU time per iteration.
out = subprocess.run(
    [bench, "--benchmark_filter=^BM_(Bell|Lanczos3)/", "--benchmark_format=json",
     "--benchmark_min_time=1"],
    check=True, capture_output=True, text=True).stdout
ours = {}
for b in json.loads(out)["benchmarks"]:
    name, w, h = b["name"].split("/")[:3]
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
    ours[(name[3:], int(w), int(h))] = b["cpu_time"] * scale

with Image.open(source) as im:
    im.load()
    width, height = im.size
    megapixels = width * height / 1e6

    # ImageMagick, one thread; reading the file costs the same in both commands.
    env = dict(os.environ, MAGICK_THREAD_LIMIT="1", OMP_NUM_THREADS="1")
    read_only = min(child_cpu([magick, source, "null:"], env) for _ in range(repeats))
    magick_time = {}
    for w, h in sizes:
        cmd = [magick, source, "-filter", "Quadratic", "-resize", f"{w}x{h}!", "null:"]
        # The 48-megapixel target takes ImageMagick minutes: once is enough there.
        runs = 1 if w * h > 20e6 else repeats
        magick_time[(w, h)] = max(min(child_cpu(cmd, env) for _ in range(runs)) - read_only, 1e-6)

    # Pillow, in this process.
    bicubic = getattr(Image, "Resampling", Image).BICUBIC
    pillow_time = {}
    for w, h in sizes:
        best = None
        for _ in range(repeats):
            start = time.process_time()
            im.resize((w, h), bicubic)
            spent = time.process_time() - start
            best = spent if best is None else min(best, spent)
        pillow_time[(w, h)] = best


def mps(seconds):
    return megapixels / seconds


print(f"source {width} x {height} ({megapixels:.1f} MP), source megapixels per second (CPU time)")
print(f"{'target':>11} | {'Bell':>8} {'Lanczos3':>8} | {'IM Quadratic':>12} {'Pillow bicubic':>14} | "
      f"{'Bell/IM':>8} {'Bell/Pillow':>11} {'Lanczos3/Pillow':>15}")
for w, h in sizes:
    bell = ours[("Bell", w, h)]
    lanczos = ours[("Lanczos3", w, h)]
    print(f"{w:>5} x {h:<4} | {mps(bell):8.1f} {mps(lanczos):8.1f} | {mps(magick_time[(w, h)]):12.1f} "
          f"{mps(pillow_time[(w, h)]):14.1f} | {magick_time[(w, h)] / bell:7.1f}x "
          f"{pillow_time[(w, h)] / bell:10.2f}x {pillow_time[(w, h)] / lanczos:14.2f}x")

# ImageMagick moves its pixel cache to disk beyond these limits (Debian's policy sets them low),
# which is what makes its largest case so slow.
limits = subprocess.run([magick, "-list", "resource"], capture_output=True, text=True).stdout
shown = [line.strip() for line in limits.splitlines() if line.strip().split(":")[0] in ("Memory", "Map", "Area")]
if shown:
    print("ImageMagick resource limits: " + ", ".join(shown))
EOF
