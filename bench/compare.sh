#!/usr/bin/env bash
# compare.sh [PHOTO_DIR] [ROUNDS]
#
# Times the "Website" preset (JPEG quality 80 into 450 x 338) on a set of real photographs with
# lumatrans-cli and with the tools people use for the same job, in one interleaved session, and
# prints seconds per image (median over the rounds) and the ratio to the floor: a plain djpeg
# decode of the same files. Then measures peak memory on one 20000 x 15000 JPEG.
#
# The photo set is made by ../shared/bench/make-photos.sh when PHOTO_DIR holds no JPEG files.
# Every tool runs single-threaded unless the row says otherwise. Peer tools are installed from
# Debian when missing; the product itself never uses them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
photos=${1:-${TMPDIR:-/tmp}/lumatrans-photos}
rounds=${2:-5}

need=()
command -v djpeg >/dev/null || need+=(libjpeg-turbo-progs)
command -v convert >/dev/null || need+=(imagemagick)
command -v gm >/dev/null || need+=(graphicsmagick)
command -v vipsthumbnail >/dev/null || need+=(libvips-tools)
/usr/bin/python3 -c 'import PIL' 2>/dev/null || need+=(python3-pil)
[ -x /usr/bin/time ] || need+=(time)
command -v bc >/dev/null || need+=(bc)
if ((${#need[@]})); then
  sudo_cmd=(); [ "$(id -u)" = 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq && "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

if ! ls "$photos"/*.jpg >/dev/null 2>&1; then
  bash "$root/../shared/bench/make-photos.sh" "$photos" >&2
fi
mapfile -t files < <(ls "$photos"/*.jpg)
count=${#files[@]}

cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMA_BUILD_TESTS=OFF -DLUMA_BUILD_BENCH=OFF >/dev/null
build_log=$(cmake --build build/bench --target lumatrans-cli 2>&1) || { echo "$build_log" >&2; exit 1; }
cli=$root/build/bench/src/cli/lumatrans-cli

work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
export LUMATRANS_CONFIG_DIR=$work/config MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 VIPS_CONCURRENCY=1

cat > "$work/pillow.py" <<'PY'
import sys
from PIL import Image
mode, out = sys.argv[1], sys.argv[2]
for i, name in enumerate(sys.argv[3:]):
    im = Image.open(name)
    if mode == "thumbnail":
        im.thumbnail((450, 338), Image.BICUBIC)
    else:
        im = im.convert("RGB")
        w, h = im.size
        p = min(450 / w, 338 / h)
        im = im.resize((int(w * p), int(h * p)), Image.BICUBIC)
    im.save(f"{out}/{i}.jpg", quality=80)
PY

declare -A cmds=(
  [djpeg]='for f in "${files[@]}"; do djpeg -outfile /dev/null "$f"; done'
  [lumatrans]='"$cli" convert -q --preset Website --existing overwrite --output "$work/o" "${files[@]}"'
  [lumatrans-jobs2]='"$cli" convert -q --preset Website --existing overwrite --jobs 2 --output "$work/o" "${files[@]}"'
  [lumatrans-draft]='"$cli" convert -q --preset Website --existing overwrite --draft --output "$work/o" "${files[@]}"'
  [imagemagick]='for f in "${files[@]}"; do convert "$f" -filter Quadratic -resize 450x338 -quality 80 "$work/o/im.jpg"; done'
  [graphicsmagick]='for f in "${files[@]}"; do gm convert "$f" -filter Quadratic -resize 450x338 -quality 80 "$work/o/gm.jpg"; done'
  [vipsthumbnail]='for f in "${files[@]}"; do vipsthumbnail "$f" --size 450x338 -o "$work/o/%s_t.jpg[Q=80]"; done'
  [pillow-thumbnail]='/usr/bin/python3 "$work/pillow.py" thumbnail "$work/o" "${files[@]}"'
  [pillow-bicubic]='/usr/bin/python3 "$work/pillow.py" resize "$work/o" "${files[@]}"'
)
order=(djpeg lumatrans lumatrans-jobs2 lumatrans-draft imagemagick graphicsmagick vipsthumbnail pillow-thumbnail pillow-bicubic)
mkdir -p "$work/o"
declare -A times
for ((r = 0; r < rounds; r++)); do
  for name in "${order[@]}"; do
    start=$(date +%s.%N)
    eval "${cmds[$name]}" >/dev/null 2>&1
    end=$(date +%s.%N)
    times[$name]+="$(echo "$end - $start" | bc) "
  done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
floor=$(echo "${times[djpeg]}" | median)
echo "$count photos, $rounds interleaved rounds; seconds per image (median) and ratio to djpeg"
printf '%-18s %10s %8s\n' tool s/image ratio
for name in "${order[@]}"; do
  m=$(echo "${times[$name]}" | median)
  printf '%-18s %10.4f %8.2f\n' "$name" "$(echo "$m / $count" | bc -l)" "$(echo "$m / $floor" | bc -l)"
done

# Peak memory on one very large photograph.
big=$work/big.jpg
# ImageMagick's default policy refuses images this wide, so the file is made as a PPM stream
# (a few rows with texture, repeated with a drifting offset) and encoded by cjpeg.
/usr/bin/python3 - <<'PY' | cjpeg -quality 85 -outfile "$big"
import sys, random
w, h = 20000, 15000
random.seed(1)
# Smooth ramps with a little grain, so the file compresses about as a photograph does.
rows = [bytes(max(0, min(255, (i // 3) * 200 // w + (i % 3) * 20 + r * 3 + random.randrange(-6, 7)))
              for i in range(w * 3)) for r in range(16)]
out = sys.stdout.buffer
out.write(b"P6 %d %d 255\n" % (w, h))
for y in range(h):
    row = rows[y % 16]
    k = (y * 7) % (w * 3)
    out.write(row[k:] + row[:k])
PY
peak() { /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -1; }
size24=$((20000 * 15000 * 3 / 1024))
echo
echo "peak memory, 20000 x 15000 JPEG (24-bit size $((size24 / 1024)) MiB)"
for mode in exact draft; do
  flag=(); [ "$mode" = draft ] && flag=(--draft)
  kib=$(peak "$cli" convert -q --preset Website --existing overwrite "${flag[@]}" --output "$work/o" "$big")
  printf '%-18s %8d MiB %6.2fx\n' "lumatrans-$mode" $((kib / 1024)) "$(echo "$kib / $size24" | bc -l)"
done
if convert "$big" -filter Quadratic -resize 450x338 -quality 80 "$work/o/im.jpg" 2>/dev/null; then
  kib=$(peak convert "$big" -filter Quadratic -resize 450x338 -quality 80 "$work/o/im.jpg")
  printf '%-18s %8d MiB %6.2fx\n' imagemagick $((kib / 1024)) "$(echo "$kib / $size24" | bc -l)"
else
  echo "imagemagick        refuses an image this large under its default resource policy"
fi
