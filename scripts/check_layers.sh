#!/usr/bin/env bash
# Checks every #include of the library and the host against the floors in
# scripts/layers.txt: a file includes its own folder and the folders below
# it, and a format core includes nothing of the editor's protocol, the
# dialogs, the progress window or the window system. Prints each include
# against the order and exits 1 when there is one.
#
#   scripts/check_layers.sh [ROOT]   check the tree at ROOT (the checkout)
#   scripts/check_layers.sh --self-test
#                                    plants an include against the order in
#                                    a copy of the tree and in a core, and
#                                    fails unless both are found
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
layers="$here/layers.txt"

if [[ ${1:-} == --self-test ]]; then
  root=$(cd "$here/.." && pwd)
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  (cd "$root" && git ls-files '*.h' '*.cpp' '*.c' | tar -cf - -T - | tar -xf - -C "$tmp")
  "$0" "$tmp" >/dev/null || { echo "check_layers self-test: the unchanged tree fails"; exit 1; }
  cp -r "$tmp" "$tmp.up"
  trap 'rm -rf "$tmp" "$tmp.up" "$tmp.core"' EXIT
  echo '#include "host/cli.h"' >> "$tmp.up/platform/platform.h"
  if "$0" "$tmp.up" >/dev/null; then echo "check_layers self-test: platform including host passed"; exit 1; fi
  cp -r "$tmp" "$tmp.core"
  echo '#include "ui/services.h"' >> "$tmp.core/codecs/packbits.cpp"
  if "$0" "$tmp.core" >/dev/null; then echo "check_layers self-test: a core including the progress window passed"; exit 1; fi
  cp -r "$tmp" "$tmp.host"
  trap 'rm -rf "$tmp" "$tmp.up" "$tmp.core" "$tmp.host"' EXIT
  echo '#include "gif/gif_record.h"' >> "$tmp.host/host/cli.h"
  if "$0" "$tmp.host" >/dev/null; then echo "check_layers self-test: the host including a format's header passed"; exit 1; fi
  echo "check_layers self-test: the three planted includes were found"
  exit 0
fi

root=${1:-$(cd "$here/.." && pwd)}
declare -A floor
floors=() cores=() banned=() hostMay=()
section=
while IFS= read -r line; do
  line=${line%%#*}
  line=$(echo "$line" | xargs)
  [[ -z $line ]] && continue
  case $line in
    '[floors]') section=floors ;;
    '[cores]') section=cores ;;
    '[cores may not include]') section=banned ;;
    '[host may include only]') section=host ;;
    *) case $section in
         floors) floor[$line]=${#floors[@]}; floors+=("$line") ;;
         cores) cores+=("$line") ;;
         banned) banned+=("$line") ;;
         host) hostMay+=("$line") ;;
       esac ;;
  esac
done < "$layers"

# The folder of a file; include/velmconv is the "velmconv" floor.
folderOf() {
  case $1 in
    include/velmconv/*) echo velmconv ;;
    */*) echo "${1%%/*}" ;;
    *) echo "" ;;
  esac
}

bad=0
cd "$root" || exit 1
for dir in "${floors[@]}"; do
  path=$dir
  [[ $dir == velmconv ]] && path=include/velmconv
  [[ -d $path ]] || continue
  while IFS= read -r file; do
    from=$(folderOf "$file")
    while IFS=: read -r lineNo text; do
      inc=$(echo "$text" | sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/')
      [[ $inc == */* ]] || continue
      to=${inc%%/*}
      [[ -n ${floor[$to]+x} ]] || continue
      if (( ${floor[$to]} > ${floor[$from]} )); then
        echo "$file:$lineNo: $from includes $inc, a floor above it"
        bad=1
      fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file")
  done < <(find "$path" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) | sort)
done

for pattern in "${cores[@]}"; do
  for file in $pattern; do
    [[ -f $file ]] || continue
    while IFS=: read -r lineNo text; do
      for word in "${banned[@]}"; do
        if [[ $text == *"$word"* ]]; then
          echo "$file:$lineNo: a format core includes ${text#*include}"
          bad=1
        fi
      done
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include' "$file")
  done
done

# The host is a client of the library: the public headers, the ground and
# its own folder, nothing else.
if (( ${#hostMay[@]} )) && [[ -d host ]]; then
  while IFS= read -r file; do
    while IFS=: read -r lineNo text; do
      inc=$(echo "$text" | sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/')
      [[ $inc == */* ]] || continue
      allowed=0
      for prefix in "${hostMay[@]}"; do [[ $inc == "$prefix"* ]] && allowed=1; done
      if (( ! allowed )); then
        echo "$file:$lineNo: the host includes $inc, past the library's public headers and ground"
        bad=1
      fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file")
  done < <(find host -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
fi

if (( bad )); then
  echo "check_layers: includes against scripts/layers.txt (above)"
  exit 1
fi
echo "check_layers: every include of ${#floors[@]} floors and the format cores keeps to scripts/layers.txt"
