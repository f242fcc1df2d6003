#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo use; only what is
# missing, so it is cheap to run again.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang-14 pkgconf   # toolchain (clang-14: the warnings check)
  libclang-rt-14-dev                       # clang's libFuzzer runtime: the SILK decoder fuzzer
  libgtest-dev libgmock-dev                # tests
  libbenchmark-dev libconcurrentqueue-dev  # benchmarks and the queue they are compared with
  qt6-base-dev qt6-5compat-dev             # QtCore (logging, diagnostics), Core5Compat (QRegExp)
  nettle-dev                               # DES for the VNC password helper
  libyuv-dev                               # the pixel-conversion benchmark's anchor
  libdw-dev                                # elfutils: symbols and lines of stack traces
  libboost-dev                             # Boost.Asio: the PTZ control's serial reader
  socat                                    # pseudo-terminal pairs for the PTZ tests and demo
  unixodbc-dev odbcinst libsqlite3-dev     # ODBC under the ADO stand-in; SQLite's statement splitter
  libsqliteodbc tdsodbc odbc-postgresql    # ODBC drivers: SQLite3 (embedded default), FreeTDS, psqlODBC
  postgresql                               # the throwaway server of the database tests
  espeak-ng sox                            # speech for the SILK interop test (Node.js and npm: the machine's)
  libavcodec-dev libswscale-dev            # FFmpeg under the ffdshow stand-in (decoders, colour spaces)
  libswresample-dev libavutil-dev          # ... and its 16-bit audio output
  libavformat-dev                          # kcm decode: reads media files on the host side
  libasound2-dev                           # ALSA: the wave-form devices and audio capture
  portaudio19-dev                          # PortAudio v19 (over ALSA): the audio render
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "install-deps: installing ${missing[*]}"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get -o DPkg::Lock::Timeout=600 update -q
$sudo apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
