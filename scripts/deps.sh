#!/usr/bin/env bash
# Installs the Debian packages the build needs when they are missing.
# Runs apt-get update only when something has to be installed.
set -euo pipefail
pkgs=(cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev
      libassimp-dev nlohmann-json3-dev libcli11-dev assimp-utils)
case "${1:-}" in
  --sanitize) pkgs+=(clang libclang-rt-14-dev) ;;
  --node) pkgs+=(nodejs npm) ;;
esac
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
