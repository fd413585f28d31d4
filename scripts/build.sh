#!/usr/bin/env bash
# Configures and builds into the given folder (default: build). Extra arguments go to cmake; when
# ONDAVO_TARGETS names targets (blank-separated), only they and what they need are built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
shift || true
# Ninja where it is there, for a new folder: faster, and its compile lines show what each object
# sees. A folder keeps the generator it was made with.
generator=()
[ -f "$root/$dir/CMakeCache.txt" ] || ! command -v ninja >/dev/null || generator=(-G Ninja)
cmake -S "$root" -B "$root/$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
targets=()
for target in ${ONDAVO_TARGETS:-}; do targets+=(--target "$target"); done
cmake --build "$root/$dir" --parallel "$(nproc)" "${targets[@]}"
