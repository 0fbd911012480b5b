#!/usr/bin/env bash
# Installs every Debian package Corvanthelix needs to build, run, test, fuzz and benchmark.
# Idempotent: packages already present are left alone. Run as root (or through sudo).
set -euo pipefail

PACKAGES=(
  # build
  cmake ninja-build g++ pkg-config
  # libraries
  libssl-dev openssl qt6-base-dev libcurl4-openssl-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev python3
  # end-to-end: a real POP3 server and a real POP3 client
  dovecot-core dovecot-pop3d fetchmail
  # pendraxil: the system trust store and NSS's certutil for Thunderbird and Firefox profiles
  ca-certificates libnss3-tools
  # fuzzing
  clang libclang-rt-14-dev
  # desktop tests without a display
  xvfb fonts-dejavu-core trayer libx11-6 libxtst6
  # learning-filter comparison in bench/
  bogofilter
  # the .deb package: dependencies (dpkg-shlibdeps), inspection, desktop entry check
  dpkg-dev desktop-file-utils
)

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#PACKAGES[@]} packages already installed"
  exit 0
fi

echo "setup: installing ${#missing[@]} missing packages: ${missing[*]}"
# The Dovecot package would start its system service on install; tests run their own instances.
created_policy=0
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
  $SUDO chmod 755 /usr/sbin/policy-rc.d
  created_policy=1
fi
cleanup() { if [ "$created_policy" = 1 ]; then $SUDO rm -f /usr/sbin/policy-rc.d; fi; }
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
echo "setup: apt-get update"
$SUDO apt-get update -qq
echo "setup: apt-get install"
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
