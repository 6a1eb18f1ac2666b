#!/usr/bin/env bash
# Fails when an #include in libvorn's graph library crosses the direction of
# dependency between its folders (docs/architecture.md explains it).
#
# Each folder of ve_camera/vorn/ may include its own files, the shared files
# at the top of ve_camera/vorn/, the public headers of the folders listed
# after it below, and the runtime (<ve_cipr/...>, <ve_tools/...>). A public
# header in include/vorn/ belongs to the folder named for it in HEADERS and
# obeys that folder's rule. A new folder is one more line in LAYERS.
set -euo pipefail
cd "$(dirname "$0")/.."

# folder: the folders it builds on
LAYERS='
formats:
model:
parser: model
camera: model formats
query: model camera formats
isp: camera model formats
kor: isp query camera model formats
analysis: kor isp model camera formats
'

# public header: the folder it belongs to ("shared" for every folder, "host"
# for headers only hosts include)
HEADERS='
status.h: shared
vorn_api.h: shared
keys.h: model
graph_config.h: model
vorn_parser.h: parser
formats.h: formats
ve_formats.h: formats
graph_camera_util.h: camera
graph_query_manager.h: query
graph_query_utils.h: query
graph_lum_util.h: kor
tol_kor_sim_utils.h: kor
isp_utils.h: isp
tol_kor_utils.h: kor
graph_util.h: analysis
ve_isp_records.h: shared
vorn.h: host
'

root=ve_camera/vorn

# Prints the value for key in a "key: value" table.
lookup() { printf '%s\n' "$2" | sed -n "s/^$1: *//p"; }

# Whether folder may include something of folder target.
allowed() {
  local folder="$1" target="$2"
  [ "$target" = shared ] && return 0
  [ "$target" = "$folder" ] && return 0
  local word
  for word in $(lookup "$folder" "$LAYERS"); do
    [ "$word" = "$target" ] && return 0
  done
  return 1
}

# The folder a source file belongs to; "shared" for the top-level files.
folder_of() {
  local path="${1#"$root"/}"
  case "$path" in
    include/vorn/*) lookup "$(basename "$path")" "$HEADERS" ;;
    */*) echo "${path%%/*}" ;;
    *) echo shared ;;
  esac
}

# The folder an include line names; nothing for includes outside libvorn's
# graph library (standard library, runtime, Expat, zlib).
target_of() {
  local line="$1" name
  case "$line" in
    *'<vorn/'*)
      name="${line#*<vorn/}"; name="${name%%>*}"
      local owner; owner="$(lookup "$name" "$HEADERS")"
      echo "${owner:-unknown:$name}" ;;
    *'"'*/*'"'*)
      name="${line#*\"}"; name="${name%%\"*}"
      echo "${name%%/*}" ;;
    *'"'*'"'*) echo local ;;
  esac
}

status=0
while IFS= read -r file; do
  folder="$(folder_of "$file")"
  if [ -z "$folder" ]; then
    echo "$file: public header missing from HEADERS in $0" >&2
    status=1
    continue
  fi
  [ "$folder" = host ] && continue
  if [ "$folder" != shared ] && [ "$folder" != "$(printf '%s\n' "$LAYERS" | sed -n "s/^\($folder\):.*/\1/p")" ]; then
    echo "$file: folder '$folder' missing from LAYERS in $0" >&2
    status=1
    continue
  fi
  while IFS=: read -r number line; do
    target="$(target_of "$line")"
    case "$target" in
      '' | local) continue ;;
      unknown:*)
        echo "$file:$number: ${target#unknown:} is missing from HEADERS in $0" >&2
        status=1 ;;
      *)
        if [ "$folder" = shared ] && [ "$target" != shared ]; then
          # The shared files sit below every folder; library start-up alone
          # reaches into the tables it starts, by declarations of its own.
          echo "$file:$number: shared file includes $target" >&2
          status=1
        elif [ "$folder" != shared ] && ! allowed "$folder" "$target"; then
          echo "$file:$number: $folder must not include $target ($line)" >&2
          status=1
        fi ;;
    esac
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(find "$root" -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

[ "$status" -eq 0 ] && echo "include direction: ok"
exit "$status"
