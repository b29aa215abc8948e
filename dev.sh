#!/usr/bin/env bash
# Set-up, build, demo and tests in one place.
#   ./dev.sh run    install missing Debian packages, build, start the desktop program when a
#                   display is available (else run quillmere-cli on a demo file)
#   ./dev.sh test   install missing Debian packages, build, run the whole test suite
#                   (plain build, a warning-free Release build of the whole tree, the engine
#                   and command-line tests under ASan + UBSan, the slow tests, and every fuzz
#                   target for 30 s on its seed inputs)
#   ./dev.sh build  build only (build/)
#   ./dev.sh package install the packaging tools, make a Release build in build-package/ and
#                   the Debian package build-package/quillmere_VERSION_ARCH.deb from it, and
#                   check it with lintian, desktop-file-validate and appstreamcli
#   ./dev.sh format format every C++ file of the tree as .clang-format says
set -euo pipefail
cd "$(dirname "$0")"

# Debian packages the build and the tests need; see the README for why each is here.
PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libmp3lame-dev libresample1-dev libmpg123-dev libsndfile1-dev libopenmpt-dev
  libtag1-dev libsdl2-dev qt6-base-dev libcli11-dev liblnk-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev clang-format
  groff-base
)
# What ./dev.sh package needs besides: dpkg-shlibdeps (dpkg-dev) for the package's
# dependencies, and the checkers of the package, its menu entry and its AppStream description.
PACKAGE_TOOLS=(dpkg-dev fakeroot file lintian desktop-file-utils appstream)

JOBS=$(nproc 2>/dev/null || echo 2)

install_packages() {  # install_packages [more packages...]
  local missing=()
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {  # build DIR [cmake args...]
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
}

run_demo() {
  build build
  local demo=build/demo
  rm -rf "$demo"; mkdir -p "$demo"
  build/tests/qm-make-fixture demo "$demo/demo.mp3"
  echo "== quillmere-cli info $demo/demo.mp3"
  build/quillmere-cli info "$demo/demo.mp3"
  if build/quillmere-cli split --help >/dev/null 2>&1; then
    echo "== quillmere-cli split --count 3 $demo/demo.mp3"
    build/quillmere-cli split --count 3 -o "$demo/pieces" "$demo/demo.mp3"
    if build/quillmere-cli join --help >/dev/null 2>&1; then
      echo "== quillmere-cli join -o $demo/joined.mp3 $demo/pieces/*.mp3"
      build/quillmere-cli join -o "$demo/joined.mp3" "$demo"/pieces/*.mp3
      build/quillmere-cli info "$demo/joined.mp3"
    fi
  fi
}

# The desktop program when there is a display to show it on; the command-line demo otherwise.
run_program() {
  build build
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/quillmere ]; then
    echo "== build/quillmere"
    exec build/quillmere "$@"
  fi
  run_demo
  echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset): from a desktop session,"
  echo "start the desktop program with build/quillmere [FILE...] or ./dev.sh run."
}

# The C++ files git knows of (the sources, the tests, the benchmark and fuzz programs).
cxx_files() {
  git ls-files -- '*.cpp' '*.h'
}

format_tree() {
  cxx_files | xargs clang-format -i
}

# Every C++ file must be formatted as .clang-format says; prints the ones that are not.
check_format() {
  local unformatted
  unformatted=$(cxx_files | xargs clang-format --dry-run 2>&1 | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning:.*/\1/p' | sort -u)
  if [ -n "$unformatted" ]; then
    echo "Not formatted as .clang-format says (./dev.sh format formats them):"
    echo "$unformatted"
    return 1
  fi
}

run_tests() {
  check_format
  build build
  # The slow tests (a file past 4 GiB) run once, on their own, at the end.
  (cd build && ctest --output-on-failure -j "$JOBS" --timeout 600 -LE slow)
  # The optimiser sees more than a debug build and warns about more: the whole tree (the
  # programs, the desktop program, the tests and the benchmark programs) must build without a
  # warning in Release too.
  build build-release -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
  # The engines and the command-line program again under AddressSanitizer and
  # UndefinedBehaviorSanitizer.
  build build-asan -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=ON -DQM_BUILD_GUI=OFF
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
     ctest --output-on-failure -j "$JOBS" --timeout 900 -L 'engine|frontend')
  # Disk-bound tests of large files, one at a time (about a minute).
  (cd build && ctest --output-on-failure --timeout 600 -L slow)
  # Every fuzz target for 30 s on the seeds (clang's libFuzzer, built in build-fuzz/): a crash,
  # hang or broken check fails the run and is kept in fuzz/crashes/.
  bench/fuzz.sh 30
}

# Debian's compiler or linker flags (CFLAGS, CXXFLAGS, CPPFLAGS, LDFLAGS) with all of its
# hardening, immediate binding included.
debian_flags() {
  DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"
}

# The Debian package, built with Debian's flags (given on every run, so that the folder's cache
# always holds them), and its checks. lintian's errors fail the run; its other findings are
# printed.
make_package() {
  local dir=build-package
  build "$dir" -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_TESTS=OFF -DQM_PACKAGE=ON -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_C_FLAGS="$(debian_flags CFLAGS) $(debian_flags CPPFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(debian_flags CXXFLAGS) $(debian_flags CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(debian_flags LDFLAGS)"
  rm -f "$dir"/quillmere_*.deb
  (cd "$dir" && cpack -G DEB >/dev/null)
  local deb
  deb=$(ls "$dir"/quillmere_*.deb)
  desktop-file-validate data/quillmere.desktop
  appstreamcli validate --no-net --pedantic "$dir/data/quillmere.metainfo.xml"
  echo "== lintian $deb"
  lintian --fail-on error --display-info "$deb"
  echo "Package: $deb"
  echo "Install it with: sudo apt install ./$deb   (or sudo dpkg -i $deb; remove with sudo apt remove quillmere)"
}

case "${1:-}" in
  run)   install_packages; shift; run_program "$@" ;;
  test)  install_packages; run_tests ;;
  build) install_packages; build build ;;
  format) install_packages; format_tree ;;
  package) install_packages "${PACKAGE_TOOLS[@]}"; make_package ;;
  *) echo "usage: $0 run|test|build|format|package" >&2; exit 2 ;;
esac
