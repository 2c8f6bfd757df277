#!/usr/bin/env bash
# Installs the Debian 12 packages Kestrelwick builds, tests and runs with. Safe to run again.
set -euo pipefail
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends \
    build-essential cmake ninja-build pkg-config libicu-dev \
    libgtest-dev libgmock-dev libbenchmark-dev \
    qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-webengine-dev \
    libqt6svg6 qt6-qpa-plugins \
    xvfb xauth openbox fonts-noto-cjk poppler-utils fp-utils \
    cups printer-driver-cups-pdf libcups2-dev \
    mingw-w64 wine wine64 \
    >/dev/null
