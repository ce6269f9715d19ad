# Sourced by the set-up commands: installs the Debian packages they need.
#   install_missing PACKAGE...   installs those not installed yet (apt-get as root, else sudo)
#   add_architecture ARCH        lets dpkg take packages of ARCH (i386 for wine32:i386)
install_missing() {
    local missing=() p sudo=""
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== installing: ${missing[*]}"
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    # A mirror caught mid-sync fails one index now and then: the others still serve.
    $sudo apt-get update -q || echo "== apt-get update failed in part; installing from the lists it has"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

add_architecture() {
    local sudo=""
    dpkg --print-foreign-architectures | grep -qx "$1" && return 0
    echo "== adding the $1 architecture"
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo dpkg --add-architecture "$1"
}
