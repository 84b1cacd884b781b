#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need, and the checkers of the
# Debian package (lintian, appstreamcli, desktop-file-validate, man, bash's completion framework;
# help2man makes the manual page of a program that has no page of its own); quick when they are
# all present already.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config ccache
  liblzma-dev xz-utils libgsf-1-dev libgsf-bin libxapian-dev libzstd-dev libjemalloc-dev
  qt6-base-dev qt6-base-private-dev qt6-base-dev-tools libqt6printsupport6 qt6-translations-l10n
  desktop-file-utils imagemagick xauth
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-tidy clang-format
  unrtf pandoc sqlite3 libsqlite3-dev hyperfine xvfb fonts-dejavu-core poppler-utils
  librsvg2-bin valgrind libtsan2
  lintian appstream man-db help2man bash-completion
  xapian-tools
  libmicrohttpd-dev zlib1g-dev nlohmann-json3-dev libkainjow-mustache-dev
  chromium chromium-driver python3-selenium poppler-utils wrk kiwix-tools zim-tools nginx-light
)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
