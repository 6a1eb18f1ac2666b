#!/usr/bin/env bash
# Installs the build and test dependencies on Debian or Ubuntu.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
    cmake ninja-build g++ clang clang-format libclang-rt-14-dev pkgconf \
    libexpat1-dev zlib1g-dev libgtest-dev libgmock-dev libbenchmark-dev gzip \
    libcli11-dev nlohmann-json3-dev graphviz
