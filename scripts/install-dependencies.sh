#!/usr/bin/env bash
# Installs the build and test tools koru needs, only those that are missing.
set -euo pipefail

missing=()
need_command() { command -v "$1" >/dev/null 2>&1 || missing+=("$2"); }
need_file() { [ -e "$1" ] || missing+=("$2"); }

need_command cmake cmake
need_command ninja ninja-build
need_command g++ g++
need_command samtools samtools
# Picard validates the SAM of the end-to-end tests.
need_command PicardCommandLine picard-tools
# The sharded workflow (workflow/) and its test.
need_command snakemake snakemake
need_file /usr/include/gtest/gtest.h libgtest-dev
need_file /usr/include/gmock/gmock.h libgmock-dev
need_file /usr/include/zlib.h zlib1g-dev
need_file /usr/include/benchmark/benchmark.h libbenchmark-dev

"$(dirname "$0")/install-packages.sh" "${missing[@]}"
