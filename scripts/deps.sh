#!/usr/bin/env bash
# Installs what the build and the tests need when it is missing.
#   deps.sh              Debian packages of the build, the converter and its tests
#   deps.sh --sanitize   ... plus clang for the sanitizer and fuzz builds
#   deps.sh --coverage   ... plus gcovr for `make coverage`
#   deps.sh --blender    Blender and numpy, for the Blender add-on's tests
#   deps.sh --validator  node/npm (Debian packages) and the pinned gltf-validator
#                        (npm ci in tools/validator; nothing is fetched when the
#                        pinned version is already installed)
# Runs apt-get update only when something has to be installed.
set -euo pipefail
cd "$(dirname "$0")/.."

install_debian() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]} (run as root to install them)" >&2
    return 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

validator() {
  if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    install_debian nodejs npm || {
      echo "Warning: node/npm unavailable; glTF validation tests will be skipped" >&2
      return 0
    }
  fi
  local dir=tools/validator want have
  want=$(node -p "require('./$dir/package.json').dependencies['gltf-validator']")
  have=$(node -p "try { require('./$dir/node_modules/gltf-validator/package.json').version } catch (e) { '' }")
  [ "$want" = "$have" ] && return 0
  echo "Installing gltf-validator $want (npm ci in $dir)"
  (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error) || {
    echo "Warning: could not install gltf-validator; glTF validation tests will be skipped" >&2
    return 0
  }
}

pkgs=(cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev
      libassimp-dev nlohmann-json3-dev libcli11-dev libmeshoptimizer-dev assimp-utils python3
      libosmesa6-dev libpng-dev libstb-dev chromium)
case "${1:-}" in
  --sanitize) install_debian "${pkgs[@]}" clang libclang-rt-14-dev ;;
  --coverage) install_debian "${pkgs[@]}" gcovr ;;
  --validator) validator ;;
  --blender) install_debian blender python3-numpy ||
               echo "Warning: Blender unavailable; the add-on's tests will be skipped" >&2 ;;
  *) install_debian "${pkgs[@]}" ;;
esac
