#!/usr/bin/env bash
# The user guide's pictures, measured from the built module: curves of every control and preset
# with ombrine-curves, the panel with ombrine-snapshot. Everything lands in docs/images/ and is
# committed; running it again on the same code gives the same files.
set -euo pipefail
build=${1:-build/release}
module="$build/Ombrine.so"
curves="$build/tools/curves/ombrine-curves"
snapshot="$build/tools/snapshot/ombrine-snapshot"
out=docs/images
mkdir -p "$out"

plot() { # NAME SETTING...
  local name=$1
  shift
  echo "  $out/$name.png"
  "$curves" --csv "$out/$name.csv" "$module" "$out/$name.png" "$@"
}

echo "Panel"
"$snapshot" "$out/panel.png" --init >/dev/null

echo "Low band"
plot lo-boost-frequencies "Lo Boost=1,Lo Freq=20" "Lo Boost=1,Lo Freq=30" "Lo Boost=1,Lo Freq=45" \
  "Lo Boost=1,Lo Freq=60" "Lo Boost=1,Lo Freq=100" "Lo Boost=1,Lo Freq=150"
plot lo-boost-amounts Init "Lo Boost=0.25,Lo Freq=60" "Lo Boost=0.5,Lo Freq=60" \
  "Lo Boost=0.75,Lo Freq=60" "Lo Boost=1,Lo Freq=60"
plot lo-cut-frequencies "Lo Cut=1,Lo Freq=20" "Lo Cut=1,Lo Freq=30" "Lo Cut=1,Lo Freq=45" \
  "Lo Cut=1,Lo Freq=60" "Lo Cut=1,Lo Freq=100" "Lo Cut=1,Lo Freq=150"
plot lo-cut-amounts Init "Lo Cut=0.25,Lo Freq=60" "Lo Cut=0.5,Lo Freq=60" \
  "Lo Cut=0.75,Lo Freq=60" "Lo Cut=1,Lo Freq=60"
plot lo-boost-and-cut "Lo Boost=1,Lo Freq=60" "Lo Cut=1,Lo Freq=60" \
  "Lo Boost=1,Lo Cut=1,Lo Freq=60" "Lo Boost=0.6,Lo Cut=0.35,Lo Freq=60"

echo "High band"
plot hi-boost-frequencies "Hi Boost=1,Hi Boost Freq.=3" "Hi Boost=1,Hi Boost Freq.=4" \
  "Hi Boost=1,Hi Boost Freq.=5" "Hi Boost=1,Hi Boost Freq.=6" "Hi Boost=1,Hi Boost Freq.=10" \
  "Hi Boost=1,Hi Boost Freq.=12" "Hi Boost=1,Hi Boost Freq.=16"
plot hi-boost-amounts Init "Hi Boost=0.25,Hi Boost Freq.=10" "Hi Boost=0.5,Hi Boost Freq.=10" \
  "Hi Boost=0.75,Hi Boost Freq.=10" "Hi Boost=1,Hi Boost Freq.=10"
plot bandwidth "Hi Boost=1,Hi Boost Freq.=5,Hi Freq. Q=0" "Hi Boost=1,Hi Boost Freq.=5,Hi Freq. Q=0.25" \
  "Hi Boost=1,Hi Boost Freq.=5,Hi Freq. Q=0.5" "Hi Boost=1,Hi Boost Freq.=5,Hi Freq. Q=0.75" \
  "Hi Boost=1,Hi Boost Freq.=5,Hi Freq. Q=1"
plot hi-cut-frequencies "Hi Cut=1,Hi Cut Freq.=5" "Hi Cut=1,Hi Cut Freq.=6" "Hi Cut=1,Hi Cut Freq.=8" \
  "Hi Cut=1,Hi Cut Freq.=10" "Hi Cut=1,Hi Cut Freq.=15" "Hi Cut=1,Hi Cut Freq.=20"
plot hi-cut-amounts Init "Hi Cut=0.25,Hi Cut Freq.=8" "Hi Cut=0.5,Hi Cut Freq.=8" \
  "Hi Cut=0.75,Hi Cut Freq.=8" "Hi Cut=1,Hi Cut Freq.=8"

echo "Tube buffer"
plot tube-gain "Equalizer=Off" "Equalizer=Off,Tube Buffer=Off" "Init" "Tube Buffer=Off"
echo "  $out/tube-harmonics.png"
"$curves" --harmonics --csv "$out/tube-harmonics.csv" "$module" "$out/tube-harmonics.png" Init
echo "  $out/tube-harmonics-driven.png"
"$curves" --harmonics --csv "$out/tube-harmonics-driven.csv" "$module" \
  "$out/tube-harmonics-driven.png" "Input level=18,Output level=-18"

echo "Factory presets"
plot presets-drums "preset:Low-End Lift" "preset:Kick Thump and Click" "preset:Snare Body and Crack" \
  "preset:Drum Bus Punch"
plot presets-bass-guitars "preset:Bass Definition" "preset:Acoustic Sparkle" "preset:Smooth Electric"
plot presets-vocals "preset:Vocal Presence" "preset:Vocal Air" "preset:Telephone"
plot presets-buses "preset:Mix Bus Polish" "preset:Mastering Air" "preset:Dark Vintage" \
  "preset:Warm Tubes Only"
