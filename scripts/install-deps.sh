#!/usr/bin/env bash
# Installs what building and testing the launcher needs on Debian 12 or 13,
# as root, down to what a minimal system or container lacks (git, locales);
# does nothing for packages already there, so it is safe to repeat.
#   install-deps.sh        everything the tests need (scripts/test.sh)
#   install-deps.sh demo   only what scripts/demo.sh uses: the build and Wine
set -euo pipefail

packages=(
  cmake ninja-build                                   # the build
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev     # Windows x64 toolchain
  wine wine64                                         # the demo and the tests run under Wine
)
if [ "${1:-}" != demo ]; then
  packages+=(
    git                                               # the lint lists the sources git knows
    googletest                                        # /usr/src/googletest
    xvfb xauth                                        # a display for the tests' message boxes
    locales                                           # the user languages in tests
    osslsigncode openssl                              # signing and its check
    imagemagick fonts-dejavu-core                     # screenshots of the questions
    nsis wixl msitools                                # the NSIS and MSI example setups, built in tests
    python3-yaml                                      # the CI workflow check
    clang-tidy-19 clang-format-19                     # static checks of the sources
  )
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Wine takes the user's language from the Linux locale, which must exist:
# the language tests run in Arabic, Hebrew, Swahili and Russian (Ukraine).
[ "${1:-}" != demo ] || exit 0
for locale in ar_SA he_IL sw_KE ru_UA; do
  if ! locale -a 2>/dev/null | grep -qix "$locale.utf8"; then
    localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
  fi
done
