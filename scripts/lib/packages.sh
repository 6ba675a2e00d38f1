# Installs the Debian packages given as arguments when any is missing
# (through sudo when not root). Sourced by the scripts.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}" >&2
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    # The package scripts must not start system services on this machine.
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq >&2
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >&2
}

# What the program itself needs to build and run.
DROSSGATE_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libssl-dev
    libgmime-3.0-dev libqt6svg6 qt6-qpa-plugins ca-certificates qtkeychain-qt6-dev
    libsecret-1-0 qt6-networkauth-dev)
