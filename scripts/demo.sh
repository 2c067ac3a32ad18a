#!/usr/bin/env bash
# The main job: shows the built module as a host sees it, then renders the
# embedded demo signal through it with the render tool and prints the levels
# per octave band before and after (files under demo/, git-ignored).
set -euo pipefail
build=${1:-build/release}
module="$build/Ombrine.so"
render="$build/tools/render/ombrine-render"

"$build/tools/vsthost/ombrine-info" "$module"

# `make demo` has built everything; a bare call builds what is missing.
if [ ! -x "$render" ]; then
  cmake --build "$build" --target ombrine-render
fi
mkdir -p demo
"$render" --demo "$module" demo/ombrine-demo.wav
