#!/usr/bin/env bash
# The main job: shows the built module as a host sees it and, once the render
# tool is built, renders the embedded demo signal through it.
set -euo pipefail
build=${1:-build/release}
module="$build/Ombrine.so"

"$build/tools/vsthost/ombrine-info" "$module"

if [ -x "$build/tools/render/ombrine-render" ]; then
  mkdir -p demo
  "$build/tools/render/ombrine-render" --demo "$module" demo/ombrine-demo.wav
fi
