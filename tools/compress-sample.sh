#!/bin/sh
# Regenerates the gzip-compressed settings of the sample modules (first
# version and generation 6) from their XML sources.
# The output is reproducible: no file name or time stamp in the gzip header.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
for name in sample_settings sample6_settings; do
    src="$here/examples/config/$name.xml"
    gzip -9 -n -c "$src" > "$src.gz"
    echo "wrote $src.gz"
done
