#!/usr/bin/env bash
# Makes the sample files the format tests embed, with real encoders from Debian:
# python3's zlib (PNG), flac, oggenc. Random-looking content, so that a text-mode
# transfer finds lone LFs everywhere, and CR LF pairs of the file's own where they
# matter (compressed data, audio frames, comments), so that the second kind of damage
# really needs kept CRs. Run from anywhere; writes beside itself.
set -eu
cd "$(dirname "$0")"
PY=/usr/bin/python3
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# PNG: random pixels in three IDAT chunks, a tEXt holding CR LF and a lone LF; the seed
# is the first whose compressed data holds at least two CR LF pairs.
$PY - <<'PYEND'
import random, struct, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
for seed in range(1000):
    rng = random.Random(seed)
    width, height = 96, 96
    rows = b"".join(b"\x00" + bytes(rng.randrange(256) for _ in range(width * 3)) for _ in range(height))
    packed = zlib.compress(rows, 9)
    if packed.count(b"\r\n") >= 2:
        break
third = len(packed) // 3
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
png += chunk(b"tEXt", b"Comment\x00first line\r\nsecond line\nthird")
for part in (packed[:third], packed[third:2 * third], packed[2 * third:]):
    png += chunk(b"IDAT", part)
png += chunk(b"IEND", b"")
open("noise_96x96.png", "wb").write(png)
PYEND

# Mono 16-bit noise: FLAC stores it verbatim, so a sample 0x0D0A planted in a frame is a
# CR LF pair of the file's own; the frames are short (1152 samples) so the CRC-16 of
# each still tells its ways apart. The comment's CR LF is its only line end: nothing but
# the block's length covers a comment, which tells only none or all of its pairs apart.
$PY - "$TMP/noise_mono.wav" <<'PYEND'
import random, struct, sys, wave
rng = random.Random(7)
samples = [rng.randrange(-32768, 32768) for _ in range(8000 * 4)]
for frame in (3, 9, 17, 22):
    samples[frame * 1152 + 500] = 0x0D0A
samples[12 * 1152 + 100] = 0x0D0A
samples[12 * 1152 + 900] = 0x0D0A
with wave.open(sys.argv[1], "wb") as out:
    out.setnchannels(1)
    out.setsampwidth(2)
    out.setframerate(8000)
    out.writeframes(b"".join(struct.pack("<h", s) for s in samples))
PYEND
flac --silent --force --best --blocksize=1152 --padding=64 \
    --tag="COMMENT=first line"$'\r\n'"second line" -o noise_mono.flac "$TMP/noise_mono.wav"

# Vorbis noise: compressed audio holds a CR LF pair about once in 65,536 bytes, so the
# seed is the first whose file holds at least two; the comment holds one more.
for seed in $(seq 1 200); do
    $PY - "$TMP/noise.wav" "$seed" <<'PYEND'
import random, struct, sys, wave
rng = random.Random(int(sys.argv[2]))
with wave.open(sys.argv[1], "wb") as out:
    out.setnchannels(1)
    out.setsampwidth(2)
    out.setframerate(44100)
    out.writeframes(b"".join(struct.pack("<h", rng.randrange(-20000, 20000)) for _ in range(44100 * 3)))
PYEND
    oggenc --quiet --serial 4242 --quality 10 -c "COMMENT=first line"$'\r\n'"second line"$'\n'"third" \
        -o "$TMP/noise.ogg" "$TMP/noise.wav"
    pairs=$($PY -c 'import sys; print(open(sys.argv[1], "rb").read().count(b"\r\n"))' "$TMP/noise.ogg")
    if [ "$pairs" -ge 3 ]; then
        cp "$TMP/noise.ogg" noise_mono.ogg
        break
    fi
done
[ -f noise_mono.ogg ] || { echo "no Ogg sample with enough CR LF pairs"; exit 1; }
