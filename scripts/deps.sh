#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build's Debian 12 packages is missing.
# Sourced by scripts/run and scripts/test. Extra package names may be passed.
set -euo pipefail

zorbel_packages=(
  cmake ninja-build g++ pkg-config ccache
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev libcli11-dev
  xvfb xauth
)
# The fuzz step (scripts/test.d/fuzz): clang and its libFuzzer runtime.
zorbel_fuzz_packages=(clang libclang-rt-14-dev)

# Building and checking the installable packages (scripts/test.d/package):
# dpkg-shlibdeps and the `file` probe CPack runs before it, the package and
# metadata checkers.
zorbel_package_tools=(
  dpkg-dev file lintian appstream desktop-file-utils
)

zorbel_install_missing() {
  local missing=()
  local p
  for p in "${zorbel_packages[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}
