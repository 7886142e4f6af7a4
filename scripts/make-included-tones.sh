#!/usr/bin/env bash
# Synthesises the included tone sets into resources/included/ with ffmpeg's
# expression source: bell and pluck notes (a sine with a decaying envelope and
# a few inharmonic partials) laid out in repeating patterns. Ringtones run
# about 20 seconds, alerts one to three. Run again after changing a tone; the
# output is bit-exact, so unchanged tones stay unchanged in the repository.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/resources/included"

# note FREQUENCY START DECAY PERIOD: one struck note at START seconds into
# every PERIOD-second bar, with partials at 2.76 and 5.4 times the frequency.
note() {
  local f=$1 s=$2 k=$3 p=$4
  local x="(mod(t,$p)-$s)"
  echo "gte($x,0)*exp(-$k*$x)*(sin(2*PI*$f*$x)+0.35*sin(2*PI*$f*2.76*$x)*exp(-2*$k*$x)+0.12*sin(2*PI*$f*5.4*$x)*exp(-3*$k*$x))"
}

# tone FILE SECONDS EXPRESSION...: the notes summed, faded out, as AAC in MPEG-4.
tone() {
  local file=$1 seconds=$2
  shift 2
  local sum
  sum=$(IFS=+; echo "$*")
  local fade_start
  fade_start=$(awk "BEGIN { print ($seconds > 3) ? $seconds - 2 : $seconds * 0.6 }")
  mkdir -p "$(dirname "$file")"
  ffmpeg -v error -y -f lavfi -i "aevalsrc=exprs='0.22*($sum)':s=44100:d=$seconds" \
    -af "afade=t=out:st=$fade_start:d=$(awk "BEGIN { print $seconds - $fade_start }")" \
    -ac 1 -c:a aac -b:a 64k -map_metadata -1 -fflags +bitexact -flags:a +bitexact -movflags +faststart "$file"
}

rm -rf "$out"
mkdir -p "$out"

# Ringtones: bars of two seconds or more, looped for about twenty seconds.
tone "$out/chimes/morning-chime.m4a" 20 \
  "$(note 659.25 0 3 2)" "$(note 523.25 0.5 3 2)" "$(note 587.33 1 3 2)" "$(note 392.00 1.5 2.5 2)"
tone "$out/chimes/arpeggio.m4a" 22 \
  "$(note 523.25 0 6 2)" "$(note 659.25 0.25 6 2)" "$(note 783.99 0.5 6 2)" "$(note 1046.5 0.75 6 2)" \
  "$(note 783.99 1 6 2)" "$(note 659.25 1.25 6 2)" "$(note 523.25 1.5 6 2)" "$(note 392.00 1.75 6 2)"
tone "$out/chimes/glass-bells.m4a" 18 \
  "$(note 880.00 0 2 3)" "$(note 1318.5 0.4 2.5 3)" "$(note 1108.7 1.2 2 3)" "$(note 739.99 1.8 1.8 3)"

# Alerts: one short figure each.
tone "$out/alerts/ping.m4a" 1.2 "$(note 1760 0 5 10)"
tone "$out/alerts/rise.m4a" 1.6 "$(note 659.25 0 8 10)" "$(note 880 0.15 8 10)" "$(note 1318.5 0.3 5 10)"
tone "$out/alerts/double-tap.m4a" 1.0 "$(note 1174.7 0 12 10)" "$(note 1174.7 0.18 10 10)"
tone "$out/alerts/glint.m4a" 2.4 "$(note 2093 0 4 10)" "$(note 2637 0.05 4 10)" "$(note 3136 0.6 5 10)"

# The set's last row: a button (footerItem) titled title that opens link.
cat > "$out/alerts/footer.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
	<key>footerItem</key>
	<true/>
	<key>title</key>
	<string>Synthesised for Tolvan: more at tolvan.app</string>
	<key>link</key>
	<string>https://tolvan.app/</string>
</dict>
</plist>
PLIST

du -sh "$out"
