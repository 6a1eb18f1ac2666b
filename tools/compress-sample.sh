#!/bin/sh
# Regenerates the gzip-compressed sample settings from their XML source.
# The output is reproducible: no file name or time stamp in the gzip header.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
src="$here/examples/config/sample_settings.xml"
gzip -9 -n -c "$src" > "$src.gz"
echo "wrote $src.gz"
