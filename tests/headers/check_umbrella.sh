#!/usr/bin/env bash
# Every public header of the library is reached from the umbrella header.
set -euo pipefail
include_dir=$1
status=0
for header in "$include_dir"/*.h; do
  name=$(basename "$header")
  [[ "$name" == KestroCommonModule.h ]] && continue
  grep -q "#include \"$name\"" "$include_dir/KestroCommonModule.h" || { echo "KestroCommonModule.h lacks $name"; status=1; }
done
exit $status
