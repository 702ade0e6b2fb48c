# Sourced by the Wine scripts here (sh or bash): a scratch folder `scratch` holding a Wine prefix
# of its own, without the browser and .NET runtimes it would offer to install, on a Chinese system
# as the editors' machines are: its code page is 936 (Wine takes it from the locale, which
# scripts/setup-deps.sh generates), so scripts are read, and print, in GBK. When the script exits
# the prefix's wineserver stops, the processes listed in `servers` are ended and the folder goes.
scratch=$(mktemp -d /tmp/velmaris-wine-XXXXXX)
servers=
wine_cleanup() {
  [ -z "$servers" ] || kill $servers 2>/dev/null || true
  WINEPREFIX=$scratch/prefix wineserver -k 2>/dev/null || true
  rm -rf "$scratch"
}
trap wine_cleanup EXIT
export WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=zh_CN.UTF-8
wineboot -i >/dev/null 2>&1
