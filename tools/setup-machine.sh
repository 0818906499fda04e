# Sourced by the scripts in tools/: installs the Debian packages the build, the tests and the
# demo need, once, when any of them is missing.
quorila_packages=(cmake make g++ clang googletest g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth xdotool imagemagick)

install_missing_packages() {
    local missing=() package
    for package in "${quorila_packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "== installing: ${missing[*]}"
    $sudo apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}
