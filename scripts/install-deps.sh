#!/usr/bin/env bash
# Installs what building, testing and running the tool need on Debian 12, if missing.
set -euo pipefail
# dpkg-dev, desktop-file-utils and appstream build and check the Debian package.
packages=(cmake ninja-build g++ qt6-base-dev qt6-svg-dev libgl-dev xvfb xauth
          fonts-wqy-microhei g++-mingw-w64-x86-64-posix
          dpkg-dev desktop-file-utils appstream)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# With clang present, the test command also runs the fuzz targets: they need clang's
# runtime libraries, which clang itself only recommends.
if command -v clang++ >/dev/null 2>&1; then
    rt="libclang-rt-$(clang++ -dumpversion | cut -d. -f1)-dev"
    if ! dpkg-query -W -f='${Status}' "$rt" 2>/dev/null | grep -q "install ok installed" &&
        apt-cache show "$rt" >/dev/null 2>&1; then
        echo "Installing: $rt"
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$rt" ||
            echo "Could not install $rt: the fuzz targets will be skipped."
    fi
fi
