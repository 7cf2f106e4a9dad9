#!/usr/bin/env bash
# Makes small DVD-Video test discs in OUTDIR:
#   disc/VIDEO_TS   title 1 (title set 1): 6 s, audio en + de, subtitles en + fr in colour,
#                   four chapters; title 2 (title set 2): 2 s, audio es, subtitles it
#   disc.iso        the same disc as an image
#   split/VIDEO_TS  the same disc with VTS_01_1.VOB split at a sector boundary into _1 and _2
#   small.vob       title set 2's VOB alone
#   angles/VIDEO_TS title 1: two 2 s cells made one angle block of two angles (dvdauthor makes no
#                   angles: its tables are patched), one chapter
# Usage: make_dvd.sh OUTDIR
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
rm -rf disc split angles disc.iso work
mkdir work
export VIDEO_FORMAT=NTSC
q=(-hide_banner -loglevel error -y)

# A caption picture: indexed colours only (transparent black, a coloured box, a white bar).
caption() {  # NAME BOXCOLOUR
  ffmpeg "${q[@]}" -f lavfi -i "color=c=black:s=160x32,format=rgb24,drawbox=x=8:y=6:w=144:h=20:color=$2:t=fill,drawbox=x=20:y=12:w=60:h=8:color=white:t=fill" \
    -frames:v 1 -sws_dither none -pix_fmt pal8 "work/$1.png"
}
caption yellow yellow
caption blue blue
caption red red

# A title: test picture, one tone per audio language, NTSC DVD streams at a small frame size.
title() {  # NAME SECONDS AUDIOCOUNT
  local name=$1 seconds=$2 count=$3 inputs=() maps=(-map 0:v)
  for ((i = 0; i < count; i++)); do
    inputs+=(-f lavfi -i "sine=frequency=$((440 + 220 * i)):duration=$seconds")
    maps+=(-map $((i + 1)):a)
  done
  ffmpeg "${q[@]}" -f lavfi -i "testsrc=size=352x240:rate=30000/1001:duration=$seconds" "${inputs[@]}" \
    "${maps[@]}" -target ntsc-dvd -s 352x240 -g 15 -b:v 1500k -ac 2 -b:a 128k "work/$name.mpg"
}
title main 6 2
title small 2 1
title other 2 1

spu() {  # IN OUT STREAM IMAGE START END [IMAGE START END]
  local in=$1 outf=$2 stream=$3
  shift 3
  {
    echo "<subpictures><stream>"
    while [ $# -gt 0 ]; do
      echo "<spu start=\"$2\" end=\"$3\" image=\"$1\" xoffset=\"96\" yoffset=\"180\" transparent=\"000000\"/>"
      shift 3
    done
    echo "</stream></subpictures>"
  } >spu.xml
  spumux -s "$stream" spu.xml <"$in" >"$outf" 2>>spumux.log
}
(cd work &&
  spu main.mpg main_s0.mpg 0 yellow.png 00:00:01.00 00:00:02.50 blue.png 00:00:03.50 00:00:04.00 &&
  spu main_s0.mpg main_s1.mpg 1 red.png 00:00:02.00 00:00:03.00 &&
  spu small.mpg small_s0.mpg 0 blue.png 00:00:00.50 00:00:01.50)

cat >work/dvd.xml <<'XML'
<dvdauthor dest="../disc">
  <vmgm/>
  <titleset>
    <titles>
      <video format="ntsc" aspect="4:3"/>
      <audio lang="en"/>
      <audio lang="de"/>
      <subpicture lang="en"/>
      <subpicture lang="fr"/>
      <pgc>
        <vob file="main_s1.mpg" chapters="0,0:01.5,0:03,0:04.5"/>
      </pgc>
    </titles>
  </titleset>
  <titleset>
    <titles>
      <video format="ntsc" aspect="16:9"/>
      <audio lang="es"/>
      <subpicture lang="it"/>
      <pgc>
        <vob file="small_s0.mpg"/>
      </pgc>
    </titles>
  </titleset>
</dvdauthor>
XML
(cd work && dvdauthor -x dvd.xml >dvdauthor.log 2>&1)

genisoimage -quiet -dvd-video -V KAVREL_TEST -o disc.iso disc 2>/dev/null

cp -r disc split
vob=split/VIDEO_TS/VTS_01_1.VOB
sectors=$(($(stat -c %s "$vob") / 2048))
head=$((sectors / 2))
dd if="$vob" of=split/VIDEO_TS/VTS_01_2.VOB bs=2048 skip="$head" status=none
truncate -s $((head * 2048)) "$vob"
cp disc/VIDEO_TS/VTS_02_1.VOB small.vob

# Two cells of one program (small, then other) marked the first and last cell of an angle block,
# the title's angle count 2 and its program chain's time one angle's.
cat >work/angles.xml <<'XML'
<dvdauthor dest="../angles">
  <vmgm/>
  <titleset>
    <titles>
      <video format="ntsc" aspect="4:3"/>
      <pgc><vob file="small.mpg" chapters="0"/><vob file="other.mpg"/></pgc>
    </titles>
  </titleset>
</dvdauthor>
XML
(cd work && dvdauthor -x angles.xml >>dvdauthor.log 2>&1)
python3 - angles/VIDEO_TS <<'PY'
import pathlib, struct, sys
ts = pathlib.Path(sys.argv[1])
for ext in ("IFO", "BUP"):
    vmg = bytearray((ts / f"VIDEO_TS.{ext}").read_bytes())
    titles = struct.unpack_from(">I", vmg, 0xC4)[0] * 2048  # TT_SRPT
    vmg[titles + 8 + 1] = 2                                 # title 1: two angles
    (ts / f"VIDEO_TS.{ext}").write_bytes(vmg)
    vts = bytearray((ts / f"VTS_01_0.{ext}").read_bytes())
    pgcit = struct.unpack_from(">I", vts, 0xCC)[0] * 2048
    pgc = pgcit + struct.unpack_from(">I", vts, pgcit + 12)[0]
    cells = pgc + struct.unpack_from(">H", vts, pgc + 0xE8)[0]
    vts[cells] = (vts[cells] & 0x0F) | 0x50            # block mode first, block type angle
    vts[cells + 24] = (vts[cells + 24] & 0x0F) | 0xD0  # block mode last, block type angle
    vts[pgc + 4 : pgc + 8] = vts[cells + 4 : cells + 8]  # the chain plays one cell's time
    (ts / f"VTS_01_0.{ext}").write_bytes(vts)
PY
rm -rf work
