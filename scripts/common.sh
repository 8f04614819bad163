# Shared by scripts/run and scripts/test: install what is missing, configure, build.
# shellcheck shell=bash

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"

REQUIRED_PACKAGES=(
    cmake g++ make pkg-config clang-format
    qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n libgl-dev
    zlib1g-dev libdeflate-dev
    clang-14 libclang-rt-14-dev llvm-14
)

ensure_packages() {
    local missing=()
    for pkg in "${REQUIRED_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing missing packages: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures build/ and builds the given targets, or everything without any.
configure_and_build() {
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    if [ $# -gt 0 ]; then
        cmake --build "$BUILD_DIR" -j"$(nproc)" --target "$@"
    else
        cmake --build "$BUILD_DIR" -j"$(nproc)"
    fi
}

# The instrumented build folder of scripts/test and scripts/fuzz: clang with
# both sanitizers and libFuzzer's coverage.
FUZZ_BUILD_DIR="${FUZZ_BUILD_DIR:-$ROOT/build-fuzz}"

configure_fuzz_build() {
    cmake -S "$ROOT" -B "$FUZZ_BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++-14 -DBVF_FUZZ=ON >/dev/null
}

# Every sanitizer finding ends the process with an error. Leaks inside Qt and
# the system libraries it loads are not ours: scripts/lsan.supp names them.
export_sanitizer_options() {
    export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1:strict_init_order=1:${ASAN_OPTIONS:-}"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:${UBSAN_OPTIONS:-}"
    export LSAN_OPTIONS="suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0:${LSAN_OPTIONS:-}"
    export ASAN_SYMBOLIZER_PATH="${ASAN_SYMBOLIZER_PATH:-/usr/lib/llvm-14/bin/llvm-symbolizer}"
}

# Our own sources, as git knows them (or all of them outside a checkout).
list_sources() {
    if git -C "$ROOT" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git -C "$ROOT" ls-files --cached --others --exclude-standard -- '*.cpp' '*.h'
    else
        (cd "$ROOT" && find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
    fi
}

check_format() {
    local bad=0
    while IFS= read -r file; do
        [ -f "$ROOT/$file" ] || continue
        if ! clang-format --dry-run --Werror "$ROOT/$file" >/dev/null 2>&1; then
            echo "Not formatted: $file (run clang-format -i)"
            bad=1
        fi
    done < <(list_sources)
    return $bad
}

# The targets the Debian package ships, built in build/, and the package made
# from their install rules; PACKAGE_FILE names it afterwards.
PACKAGE_TARGETS=(BrennovarstikSplitter bvftool bvf-sample translations packaging_files)

build_package() {
    configure_and_build "${PACKAGE_TARGETS[@]}"
    rm -rf "$BUILD_DIR/cpack"
    (cd "$BUILD_DIR" && cpack -G DEB >/dev/null)
    local built
    built="$(find "$BUILD_DIR/cpack" -maxdepth 1 -name '*.deb' -print -quit)"
    PACKAGE_FILE="$BUILD_DIR/$(basename "$built")"
    # One package in build/, so that apt install ./build/*.deb takes the new one.
    find "$BUILD_DIR" -maxdepth 1 -name 'brennovarstik-splitter_*.deb' -delete
    mv -f "$built" "$PACKAGE_FILE"
    rm -rf "$BUILD_DIR/cpack"
}
