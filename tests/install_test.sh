#!/usr/bin/env bash
# Installs the build into a fresh prefix and uses it as a user would: `velmaris register` without
# an argument must find the installed library, and a page must create every control through it.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
export VELMARIS_REGISTRY=$prefix/classes.reg

registered=$("$prefix/bin/velmaris" register)
echo "$registered"
library=$(find "$prefix" -name libVelmarisClient.so)
[ -n "$library" ] || { echo "no library installed" >&2; exit 1; }
case $registered in
  *"$library"*) ;;
  *) echo "register did not name the installed library $library" >&2; exit 1 ;;
esac
grep -qF "$library" "$VELMARIS_REGISTRY" || { echo "registry does not name $library" >&2; exit 1; }

cat >"$prefix/page.js" <<'PAGE'
var names = ["FileUpload", "MultiUpload", "OfficeImport", "ImageUpload", "ImageImport"];
for (var i = 0; i < names.length; ++i) new ActiveXObject("VelmarisClient." + names[i]);
print("five controls");
PAGE
out=$(cd / && "$prefix/bin/velmaris" run "$prefix/page.js")
[ "$out" = "five controls" ] || { echo "page printed: $out" >&2; exit 1; }
"$prefix/bin/velmaris" unregister >/dev/null
