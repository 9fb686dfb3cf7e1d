#!/usr/bin/env bash
# Prints the path of the E. coli genome (NC_008253, about 4.9 Mbase), fetching it once from
# Debian's bowtie-examples package into the given cache directory.
set -euo pipefail
cache=${1:-bench-output/data}
mkdir -p "$cache"
genome="$cache/NC_008253.fa"
if [ ! -s "$genome" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    (cd "$work" && apt-get download bowtie-examples >/dev/null 2>&1) || {
        apt-get update -qq >/dev/null && (cd "$work" && apt-get download bowtie-examples >/dev/null)
    }
    dpkg-deb -x "$work"/bowtie-examples_*.deb "$work/package"
    zcat "$(find "$work/package" -name 'NC_008253.fna.gz' | head -n 1)" >"$genome"
fi
echo "$genome"
