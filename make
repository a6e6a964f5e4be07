#!/bin/sh
# ./make TARGET...: make, on a machine that may not have it yet. A bare
# Debian has no make: it is installed with apt-get first (as root, or through
# sudo); each target then installs what else it needs (scripts/install-deps).
# Where make is present this is the same as running it.
set -eu
cd "$(dirname "$0")"
if ! command -v make >/dev/null 2>&1; then
  if [ "$(id -u)" -eq 0 ]; then
    run=""
  elif command -v sudo >/dev/null 2>&1; then
    run="sudo"
  else
    echo "./make: make is not installed, and installing it needs root or sudo" >&2
    exit 1
  fi
  echo "./make: installing make"
  export DEBIAN_FRONTEND=noninteractive
  $run apt-get update -qq
  $run apt-get install -y -qq --no-install-recommends make
fi
exec make "$@"
