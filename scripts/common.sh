# Shared by the scripts in this folder: installing what the build needs and configuring a build.
# Source it; it expects `set -euo pipefail` in the caller.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Debian/Ubuntu packages the application and its tests build with.
BUILD_PACKAGES=(build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-charts-dev qt6-serialport-dev qt6-connectivity-dev libgl-dev libboost-math-dev
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
        if ! command -v sudo >/dev/null 2>&1 || ! sudo -v; then
            echo "Cannot install ${missing[*]}: this needs root, and sudo is not available to $(id -un)." >&2
            echo "Install them as root (apt-get install ${missing[*]}) or ask for sudo rights, then run this again." >&2
            exit 1
        fi
        sudo=(sudo)
    fi
    # sudo drops DEBIAN_FRONTEND from the environment, so it goes on the command line; another apt run
    # (unattended upgrades on a fresh machine) holds the lock for a while, so wait for it.
    local apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)
    "${apt[@]}" update -qq
    "${apt[@]}" install -y -qq "${missing[@]}"
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
