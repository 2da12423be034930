# Shared by the scripts in this folder: installing what the build needs and configuring a build.
# Source it; it expects `set -euo pipefail` in the caller.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Debian/Ubuntu packages the application and its tests build with.
BUILD_PACKAGES=(build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-charts-dev qt6-serialport-dev qt6-connectivity-dev libgl-dev
    poppler-utils python3)

# install_missing PACKAGE...: installs, through apt-get, the packages that are not installed yet.
install_missing() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "==> Installing missing packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

# configure_and_build BUILD_DIR [CMAKE ARGS...]: configures (once) and builds the project there.
configure_and_build() {
    local build_dir="$1"
    shift
    echo "==> Configuring $build_dir"
    cmake -S "$ROOT" -B "$build_dir" -G Ninja "$@"
    echo "==> Building in $build_dir"
    cmake --build "$build_dir" --parallel "$(nproc)"
}
