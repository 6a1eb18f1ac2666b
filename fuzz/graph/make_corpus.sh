#!/bin/sh
# Seeds of fuzz_graph: descriptor, a NUL byte, settings; or settings alone
# (the target then uses the sample descriptor).
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out="$root/fuzz/corpus/fuzz_graph"
data="$root/tests/data"
mkdir -p "$out"
pair() { { cat "$2"; printf '\0'; cat "$3"; } > "$out/$1"; }
pair sample "$root/examples/config/sample_descriptor.xml" "$root/examples/config/sample_settings.xml"
pair result "$data/result_descriptor.xml" "$data/result_settings.xml"
pair query "$data/query_descriptor.xml" "$data/query_settings.xml"
pair merge "$data/merge_descriptor.xml" "$data/merge_settings.xml"
pair options "$data/options_descriptor.xml" "$data/result_settings.xml"
pair analysis6 "$data/analysis6_descriptor.xml" "$data/analysis6_settings.xml"
pair analysis7 "$data/analysis7_descriptor.xml" "$data/analysis7_settings.xml"
pair histories6 "$data/histories6_descriptor.xml" "$data/histories6_settings.xml"
cp "$root/examples/config/sample_settings.xml" "$out/sample_settings_only"
cp "$data/settings.xml" "$out/settings_only"
echo "wrote $(ls "$out" | wc -l) seeds to $out"
