# Installs the packages the build, the tests and the program need (Debian 12 /
# Ubuntu) when they are missing; sourced by scripts/test, scripts/run and
# scripts/package (scripts/fuzz and scripts/bench install their own lists
# with karvo_install_packages).
karvo_packages=(
  build-essential cmake ninja-build pkg-config clang lld
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-qpa-plugins qt6-httpserver-dev qt6-websockets-dev fonts-dejavu-core fonts-dejavu-extra fonts-wine fonts-liberation
  g++-mingw-w64-x86-64 wine
  xvfb xauth valgrind clang-format tzdata python3
)

# The Debian package and its checks (scripts/package, the tests tool_manpages
# and package): CPack's DEB generator with dpkg-shlibdeps, lintian, the
# desktop entry's and the AppStream metadata's validators, groff for the
# manual pages.
karvo_package_packages=(dpkg-dev fakeroot file lintian desktop-file-utils appstream groff-base gzip)
karvo_packages+=("${karvo_package_packages[@]}")

karvo_install_dependencies() { karvo_install_packages "${karvo_packages[@]}"; }

# Installs the packages named when they are missing.
karvo_install_packages() {
  local missing=() p sudo=""
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -q
    # Another install running (a second script, the system's updates): wait for it.
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends \
      -o DPkg::Lock::Timeout=600 "${missing[@]}"
  fi
}
