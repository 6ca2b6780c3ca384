#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those missing.
# Quiet and quick when everything is already there; apt-get update runs only when something is missing.
set -euo pipefail

build_packages=(
  cmake ninja-build g++ pkg-config
  libjpeg62-turbo-dev libpng-dev zlib1g-dev
  libfreetype-dev libfontconfig-dev fonts-dejavu-core
  libcurl4-openssl-dev libsodium-dev libicu-dev
  qt6-base-dev
  libgtest-dev libgmock-dev libbenchmark-dev
)

# Peer tools the tests use to cross-check what our readers and writers do.
test_packages=(
  python3-pil imagemagick libtiff-tools giflib-tools libjpeg-turbo-progs
  python3-html5lib xvfb xdg-utils
)

want=("${build_packages[@]}")
if [[ "${1:-}" == "--test" ]]; then
  want+=("${test_packages[@]}")
fi

missing=()
for pkg in "${want[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done

[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing missing packages: ${missing[*]}" >&2
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq >&2
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
