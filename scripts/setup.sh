# Installs what building and testing Mosaikon needs on Debian 12, when it is missing.
# Sourced by scripts/run and scripts/test.

mosaikon_packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev libgl-dev libcli11-dev
    libpng-dev libjpeg62-turbo-dev libgif-dev libwebp-dev libimagequant-dev webp
    libgtest-dev libgmock-dev googletest libbenchmark-dev libcgal-dev
    imagemagick netpbm python3-pil python3-skimage fonts-dejavu-core fonts-liberation2 xauth xvfb
    clang-14 libclang-rt-14-dev leocad libgl1-mesa-dri
    help2man desktop-file-utils appstream dpkg-dev fakeroot man-db qt6-qpa-plugins
    openbox xdotool debootstrap lintian python3-jsonschema nodejs libjs-three
    qt6-svg-dev libpolyclipping-dev librsvg2-bin zlib1g-dev
)

mosaikon_setup() {
    local missing=()
    local package
    for package in "${mosaikon_packages[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
