#!/usr/bin/env bash
# Installs the Debian 12 packages Kestrelwick builds, tests and runs with. Safe to run again.
set -euo pipefail
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends \
    build-essential cmake ninja-build pkg-config libicu-dev zlib1g-dev \
    libgtest-dev libgmock-dev libbenchmark-dev \
    qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-webengine-dev \
    libqt6svg6 qt6-svg-dev qt6-qpa-plugins libtiff-dev qt6-image-formats-plugins \
    xvfb xauth openbox fonts-noto-cjk hershey-fonts-data poppler-utils fp-utils python3-ezdxf \
    cups printer-driver-cups-pdf libcups2-dev \
    libqpdf-dev libxlsxwriter-dev unzip help2man \
    mingw-w64 wine wine64 parallel \
    nsis libz-mingw-w64-dev dpkg-dev x11-utils x11-apps netpbm \
    >/dev/null

# DWG drawings: the converter in dwg2dxf/ runs on Node.js 18 or later (Debian 12's own nodejs is
# 18) with its packages from the npm registry, installed exactly as locked.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    $sudo apt-get install -y -qq --no-install-recommends nodejs npm >/dev/null
fi
node_major=$(node -p 'process.versions.node.split(".")[0]')
if [ "$node_major" -lt 18 ]; then
    echo "setup-debian.sh: Node.js $(node --version) is too old for the DWG converter; 18 or later is needed" >&2
    exit 1
fi
(cd "$(dirname "$0")/../dwg2dxf" && npm ci --no-audit --no-fund --loglevel=error)
