#!/usr/bin/env bash
# Interoperability of our SILK codec with the reference one, npm silk-wasm 3.7.1 run by
# Node.js, on speech from espeak-ng (resampled by sox to 8, 12, 16 and 24 kHz) and tones.
#   run_interop.sh <silk_tool> <workdir>
# Exit 77 (skipped) only when npm cannot reach its registry.
set -euo pipefail
tool=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
peer_version=3.7.1
peer_sha1=f5abe4db5e818f182b776106b638fb1ead21fcf7   # of silk-wasm-3.7.1.tgz as published

for command in node npm espeak-ng sox; do
  command -v "$command" >/dev/null || { echo "silk interop: $command is missing (scripts/install-deps.sh)"; exit 1; }
done
rm -rf "$work"
mkdir -p "$work/peer"

# The reference codec, fetched into a folder of this run and checked against its digest.
if ! (cd "$work/peer" && npm pack --silent "silk-wasm@$peer_version" >/dev/null 2>npm.log); then
  if ! npm ping >/dev/null 2>&1; then
    echo "silk interop: SKIPPED, npm cannot reach its registry to fetch silk-wasm@$peer_version"
    exit 77
  fi
  cat "$work/peer/npm.log"
  exit 1
fi
tarball="$work/peer/silk-wasm-$peer_version.tgz"
echo "$peer_sha1  $tarball" | sha1sum --check --quiet
tar -xzf "$tarball" -C "$work/peer"
export SILK_WASM="$work/peer/package"

# About four seconds of speech; sox without dither, so the figures repeat run to run.
espeak-ng -v en-us -s 160 -w "$work/speech.wav" \
  "The quick brown fox jumps over the lazy dog. Seven silk worms spin thread, while we test the speech codec."
for rate in 8000 12000 16000 24000; do
  sox -D "$work/speech.wav" -r "$rate" -b 16 -c 1 -e signed-integer -t raw "$work/speech_$rate.s16le"
done

node "$here/interop.mjs" "$tool" "$work"
