#!/usr/bin/env bash
# Installs the build tree into a scratch prefix, builds a tiny host against it outside
# the tree, and runs that host.
#   run_install_test.sh find_package|pkg_config <build dir> <source dir> <scratch dir>
set -euo pipefail
mode=$1 build=$2 source=$3 scratch=$4

rm -rf "$scratch"
mkdir -p "$scratch"
prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

case "$mode" in
  find_package)
    cmake -S "$source/tests/install/host" -B "$scratch/host" -G Ninja \
      -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$scratch/host" >/dev/null
    "$scratch/host/installed_host"
    ;;
  pkg_config)
    pc_dir=$(dirname "$(find "$prefix" -name KestroCommonModule.pc)")
    flags=$(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs KestroCommonModule)
    # shellcheck disable=SC2086
    c++ -std=c++17 "$source/tests/install/host/main.cpp" $flags -o "$scratch/installed_host"
    LD_LIBRARY_PATH="$(PKG_CONFIG_PATH="$pc_dir" pkg-config --variable=libdir KestroCommonModule)" \
      "$scratch/installed_host"
    ;;
  *)
    echo "unknown mode $mode" >&2
    exit 2
    ;;
esac
