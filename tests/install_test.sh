#!/usr/bin/env bash
# Installs the build into a fresh prefix and uses it as a user would: `velmaris register` without
# an argument must find the installed library, and a page must create every control through it.
# The library links neither Qt nor the office: they are modules beside it, opened when needed.
# Every installed binary looks for its libraries in absolute folders only.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
# No installed binary looks for a library in the current folder or relative to it.
bash "$(dirname "$0")/elf_search_paths.sh" "$prefix"
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
if ldd "$library" | grep -Ei 'qt|uno|libreoffice'; then
  echo "the library links Qt or the office" >&2
  exit 1
fi
modules=$(dirname "$library")
for module in libVelmarisQt.so libVelmarisOffice.so; do
  [ -f "$modules/$module" ] || { echo "no $module beside the library" >&2; exit 1; }
done

cat >"$prefix/page.js" <<'PAGE'
var names = ["FileUpload", "MultiUpload", "OfficeImport", "ImageUpload", "ImageImport"];
for (var i = 0; i < names.length; ++i) new ActiveXObject("VelmarisClient." + names[i]);
print("five controls");
PAGE
out=$(cd / && "$prefix/bin/velmaris" run "$prefix/page.js")
[ "$out" = "five controls" ] || { echo "page printed: $out" >&2; exit 1; }

# A class registered without the library's folder loads nothing, even where the library path
# would find a library of that name.
sed "s|$library|libVelmarisClient.so|" "$VELMARIS_REGISTRY" >"$prefix/bare.reg"
if out=$(cd / && VELMARIS_REGISTRY=$prefix/bare.reg LD_LIBRARY_PATH=$modules \
         "$prefix/bin/velmaris" run "$prefix/page.js" 2>&1); then
  echo "a library named without its folder was loaded: $out" >&2
  exit 1
fi
case $out in
  *"库的路径不是绝对路径：libVelmarisClient.so"*) ;;
  *) echo "a library named without its folder said: $out" >&2; exit 1 ;;
esac

# Without the screen module a run with windows fails, naming what is missing.
rm "$modules/libVelmarisQt.so"
if out=$(cd / && QT_QPA_PLATFORM=offscreen "$prefix/bin/velmaris" run "$prefix/page.js" --gui 2>&1); then
  echo "a run with windows went on without the screen module" >&2
  exit 1
fi
case $out in
  *"找不到屏幕显示模块 $modules/libVelmarisQt.so"*) ;;
  *) echo "a run with windows and no screen module said: $out" >&2; exit 1 ;;
esac
"$prefix/bin/velmaris" unregister >/dev/null
