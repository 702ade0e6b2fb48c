#!/usr/bin/env bash
# Every ELF program and library below the folders given names only absolute folders (or ones below $ORIGIN,
# absolute in effect) for its libraries: an empty entry is the current folder, a relative one is
# taken from it, and either lets a library planted where the host was started from run.
#   elf_search_paths.sh FOLDER...
set -euo pipefail
checked=0
faults=0
while IFS= read -r -d '' file; do
  [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  checked=$((checked + 1))
  while IFS= read -r list; do
    entries=()
    IFS=: read -r -a entries <<<"$list"
    # A list ending in ":" ends in an empty entry, which read drops.
    [[ -z $list || $list == *: ]] && entries+=("")
    for entry in "${entries[@]}"; do
      case $entry in
        /* | '$ORIGIN' | '$ORIGIN/'* | '${ORIGIN}' | '${ORIGIN}/'*) ;;
        *)
          echo "$file: library search path [$list] has the entry \"$entry\"" >&2
          faults=$((faults + 1))
          ;;
      esac
    done
  done < <(readelf -d "$file" 2>/dev/null | sed -n 's/.*(\(RPATH\|RUNPATH\)).*\[\(.*\)\]$/\2/p')
done < <(find "$@" -type f -size +0 \( -perm -u+x -o -name "*.so*" \) -print0)
[ "$checked" -gt 0 ] || { echo "no ELF file below $*" >&2; exit 1; }
[ "$faults" -eq 0 ] || exit 1
echo "$checked ELF files, every library search path absolute"
