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

# Mono 16-bit noise in frames of 3,072 samples (verbatim, about 24 LFs each), two
# samples 0x0D0A planted in one frame whose bytes then hold 22 to 27 LFs: that frame
# keeps 2 CRs among that many pairs, more ways than a CRC-16 alone is tried with, so
# its subframe read must decide it. The seed is the first that gives such a frame.
$PY - "$TMP/noise_pairs.wav" <<'PYEND'
import random, struct, sys, wave
for seed in range(1000):
    rng = random.Random(seed)
    samples = [rng.randrange(-32768, 32768) for _ in range(3072 * 4)]
    frame = 2
    samples[frame * 3072 + 700] = 0x0D0A
    samples[frame * 3072 + 2100] = 0x0D0A
    body = b"".join(struct.pack(">h", s) for s in samples[frame * 3072:(frame + 1) * 3072])
    if 22 <= body.count(b"\n") <= 27 and body.count(b"\r\n") == 2:
        break
with wave.open(sys.argv[1], "wb") as out:
    out.setnchannels(1)
    out.setsampwidth(2)
    out.setframerate(8000)
    out.writeframes(b"".join(struct.pack("<h", s) for s in samples))
PYEND
flac --silent --force --best --blocksize=3072 --padding=16 -o noise_pairs.flac "$TMP/noise_pairs.wav"

# As noise_pairs.flac, in frames of 4,608 samples: the frame with the two samples 0x0D0A
# holds 34 to 40 LFs, more ways than the first pass tries even with the subframe read,
# so only the second pass (every sample checked against STREAMINFO's MD5) decides it.
$PY - "$TMP/noise_more_pairs.wav" <<'PYEND'
import random, struct, sys, wave
for seed in range(1000):
    rng = random.Random(seed)
    samples = [rng.randrange(-32768, 32768) for _ in range(4608 * 3)]
    frame = 1
    samples[frame * 4608 + 900] = 0x0D0A
    samples[frame * 4608 + 3500] = 0x0D0A
    body = b"".join(struct.pack(">h", s) for s in samples)
    inside = body[frame * 9216:(frame + 1) * 9216]
    if 34 <= inside.count(b"\n") <= 40 and body.count(b"\r\n") == 2:
        break
with wave.open(sys.argv[1], "wb") as out:
    out.setnchannels(1)
    out.setsampwidth(2)
    out.setframerate(8000)
    out.writeframes(b"".join(struct.pack("<h", s) for s in samples))
PYEND
flac --silent --force --best --blocksize=4608 --padding=16 -o noise_more_pairs.flac "$TMP/noise_more_pairs.wav"

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

# ZIP: a stored text entry with CR LF and lone LF line ends, and a deflated entry of
# random words; the seed is the first whose deflated bytes hold two CR LF pairs (and no
# header does), so the second kind of damage makes inflating pick two kept CRs.
# gzip: random words, named in the header; the first seed whose deflated bytes hold two.
$PY - <<'PYEND'
import gzip, io, random, zipfile
def words(rng, n):
    vocab = [bytes(rng.randrange(97, 123) for _ in range(rng.randrange(2, 9))) for _ in range(300)]
    return b" ".join(rng.choice(vocab) for _ in range(n))
lines = b"first line\r\nsecond line\nthird line\r\nfourth\nfifth\r\nlast\n"
for seed in range(5000):
    data = words(random.Random(seed), 2500)
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        z.writestr(zipfile.ZipInfo("lines.txt", (1980, 1, 1, 0, 0, 0)), lines, zipfile.ZIP_STORED)
        z.writestr(zipfile.ZipInfo("words.txt", (1980, 1, 1, 0, 0, 0)), data, zipfile.ZIP_DEFLATED)
    if out.getvalue().count(b"\r\n") == lines.count(b"\r\n") + 2:
        open("lines_and_words.zip", "wb").write(out.getvalue())
        break
# The same entries written to a stream that cannot seek: each entry's sizes follow its
# data in a descriptor (flag bit 3).
class Unseekable(io.RawIOBase):
    def __init__(self):
        self.bytes = bytearray()
    def writable(self):
        return True
    def write(self, b):
        self.bytes += b
        return len(b)
stream = Unseekable()
with zipfile.ZipFile(stream, "w") as z:
    z.writestr(zipfile.ZipInfo("lines.txt", (1980, 1, 1, 0, 0, 0)), lines, zipfile.ZIP_STORED)
    z.writestr(zipfile.ZipInfo("words.txt", (1980, 1, 1, 0, 0, 0)), data, zipfile.ZIP_DEFLATED)
open("lines_and_words_streamed.zip", "wb").write(bytes(stream.bytes))
for seed in range(5000):
    out = io.BytesIO()
    with gzip.GzipFile(filename="words.txt", mode="wb", fileobj=out, mtime=0, compresslevel=9) as f:
        f.write(words(random.Random(seed), 3000))
    if out.getvalue().count(b"\r\n") == 2:
        open("words.gz", "wb").write(out.getvalue())
        break
PYEND

# MP3: 4 s of noise at 32 kbit/s (104-byte frames), an ID3v2 comment holding CR LF. The
# seed is the first whose file has two frames holding a CR LF pair of their own and no
# lone LF beside it (so their length says all their pairs stay), and no lone LF in the tag.
for seed in $(seq 1 2000); do
    $PY - "$TMP/noise.wav" "$seed" <<'PYEND'
import random, struct, sys, wave
rng = random.Random(int(sys.argv[2]))
with wave.open(sys.argv[1], "wb") as out:
    out.setnchannels(1)
    out.setsampwidth(2)
    out.setframerate(22050)
    out.writeframes(struct.pack("<%dh" % (22050 * 4), *(rng.randrange(-20000, 20000) for _ in range(22050 * 4))))
PYEND
    lame --quiet -b 32 --resample 22.05 --id3v2-only --id3v2-latin1 --tc "first line"$'\r\n'"second line" \
        "$TMP/noise.wav" "$TMP/noise.mp3"
    frames=$($PY - "$TMP/noise.mp3" <<'PYEND'
import sys
b = open(sys.argv[1], "rb").read()
size = 0
for x in b[6:10]:
    size = size << 7 | x
at = 10 + size
fit = b[:at].count(b"\n") == b[:at].count(b"\r\n")
paired = 0
while fit and at + 4 <= len(b) and b[at] == 0xFF:
    end = at + 72 * 32000 // 22050 + ((b[at + 2] >> 1) & 1)
    frame = b[at:end]
    if frame.count(b"\r\n"):
        paired += 1
        fit = frame.count(b"\n") == frame.count(b"\r\n")
    at = end
print(paired if fit and at == len(b) else 0)
PYEND
)
    if [ "$frames" -ge 2 ]; then
        cp "$TMP/noise.mp3" noise_32k.mp3
        break
    fi
done
[ -f noise_32k.mp3 ] || { echo "no MP3 sample with enough frames holding CR LF"; exit 1; }
