#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks it file by file: the
# list of files, the programs, the icons, and the desktop entry, AppStream
# data and file types with their validators where those are installed.
# Usage: install_test.sh BUILD_DIR PACKAGING_DIR VERSION APPSTREAM_ID
set -euo pipefail
build=$1 here=$2 version=$3 appstream_id=$4
prefix=$(mktemp -d)
# cmake --install rewrites the build's install_manifest.txt, which a user's
# own install may still need for uninstalling.
manifest="$build/install_manifest.txt"
[ -f "$manifest" ] && cp "$manifest" "$prefix.manifest"
restore() {
  if [ -f "$prefix.manifest" ]; then mv "$prefix.manifest" "$manifest"; else rm -f "$manifest"; fi
  rm -rf "$prefix" "$prefix.data" "$prefix.render"
}
trap restore EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null

# The files, exactly.
diff -u <(grep -v '^#' "$here/installed_files.txt") <(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort) ||
  fail "the installed files differ from installed_files.txt (- expected, + installed)"

# The programs run from the prefix and tell the project's version.
for program in cellwick cellwick-cli; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not executable"
  got=$("$prefix/bin/$program" --version 2>&1 || true)
  [ "$got" = "$program $version" ] || fail "$program --version says '$got', not '$program $version'"
done
"$prefix/bin/cellwick-cli" --help | grep -q '^usage: cellwick-cli' || fail "cellwick-cli --help shows no usage"
# The installed tool finds its painting module where the install put it.
render="$prefix.render"
mkdir -m 700 "$render"
printf 'a,1\n' >"$render/in.csv"
(unset DISPLAY WAYLAND_DISPLAY; XDG_RUNTIME_DIR=$render "$prefix/bin/cellwick-cli" render "$render/in.csv" \
  --png "$render/out.png" --size 64x48 >/dev/null 2>"$render/err") ||
  fail "the installed cellwick-cli cannot render: $(head -c 300 "$render/err")"
[ -s "$render/out.png" ] || fail "the installed cellwick-cli rendered no PNG"
rm -rf "$render"

# Data files are installed as they are in the source.
cmp -s "$here/cellwick.desktop" "$prefix/share/applications/cellwick.desktop" || fail "the desktop entry was changed on install"
cmp -s "$here/cellwick-mime.xml" "$prefix/share/mime/packages/cellwick.xml" || fail "the MIME package was changed on install"
cmp -s "$here/cellwick.svg" "$prefix/share/icons/hicolor/scalable/apps/cellwick.svg" || fail "the SVG icon was changed on install"
for page in cellwick cellwick-cli; do
  gzip -dc "$prefix/share/man/man1/$page.1.gz" | grep -q "^\.TH .* \"Cellwick $version\"" ||
    fail "man page $page does not carry version $version"
done

# Each PNG icon is a PNG of its folder's size (width and height in IHDR).
for size in 16 22 24 32 48 64 128 256; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/cellwick.png"
  [ -f "$png" ] || continue
  header=$(od -An -tx1 -N24 "$png" | tr -d ' \n')
  want=$(printf '89504e470d0a1a0a0000000d49484452%08x%08x' "$size" "$size")
  [ "$header" = "$want" ] || fail "${size}x${size} icon is not a ${size}-pixel PNG (header $header)"
done

desktop="$prefix/share/applications/cellwick.desktop"
entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry Exec)" = "cellwick %f" ] || fail "Exec is '$(entry Exec)'"
[ "$(entry 'GenericName\[zh_CN\]')" = "电子表格" ] || fail "GenericName[zh_CN] is '$(entry 'GenericName\[zh_CN\]')'"
[ "$(entry Categories)" = "Office;Spreadsheet;" ] || fail "Categories is '$(entry Categories)'"
[ "$(entry Icon)" = "cellwick" ] || fail "Icon is '$(entry Icon)'"

if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
  [ -z "$out" ] || fail "desktop-file-validate warns: $out"
else
  echo "desktop-file-validate not installed: desktop entry not validated"
fi

if command -v appstreamcli >/dev/null; then
  metainfo="$prefix/share/metainfo/$appstream_id.metainfo.xml"
  appstreamcli validate --no-net --no-color "$metainfo" >/tmp/cellwick-appstream.$$ 2>&1 ||
    fail "appstreamcli validate: $(cat /tmp/cellwick-appstream.$$)"
  # Warnings and errors fail the test; infos (the id's made-up domain) do not.
  if grep -E '^[EW]:' /tmp/cellwick-appstream.$$; then fail "appstreamcli validate warns"; fi
  appstreamcli validate-tree --no-net --no-color "$prefix" >/tmp/cellwick-appstream.$$ 2>&1 ||
    fail "appstreamcli validate-tree: $(cat /tmp/cellwick-appstream.$$)"
  rm -f /tmp/cellwick-appstream.$$
  grep -q "<release version=\"$version\"" "$metainfo" || fail "the AppStream releases do not list $version"
else
  echo "appstreamcli not installed: AppStream data not validated"
fi

# The file types: a database made of the system's types and ours must map
# the extensions the program opens, and know every type the entry names.
if command -v update-mime-database >/dev/null && [ -f /usr/share/mime/packages/freedesktop.org.xml ]; then
  # A data folder of its own, named as the tool expects, so it has nothing to say.
  export XDG_DATA_HOME="$prefix.data" PKGSYSTEM_ENABLE_FSYNC=0 # a scratch database needs no fsync
  mime="$XDG_DATA_HOME/mime"
  mkdir -p "$mime/packages"
  cp /usr/share/mime/packages/freedesktop.org.xml "$prefix/share/mime/packages/cellwick.xml" "$mime/packages/"
  update-mime-database "$mime" 2>&1 | grep -v '^$' && fail "update-mime-database complains"
  for pair in '*.pxl application/x-cellwick-pocket' '*.xls application/vnd.ms-excel' \
              '*.xlt application/vnd.ms-excel' '*.csv text/csv'; do
    set -- $pair
    grep -qF ":$2:$1" "$mime/globs2" || fail "$1 is not $2 in the MIME database"
  done
  IFS=';' read -ra types <<<"$(entry MimeType)"
  [ ${#types[@]} -ge 3 ] || fail "MimeType names ${#types[@]} types"
  for t in "${types[@]}"; do
    grep -qxF "$t" "$mime/types" || fail "MimeType names $t, which no MIME package defines"
  done
  rm -rf "$mime"
  # Ours alone, as on a system that lacks the Excel types.
  mkdir -p "$mime/packages"
  cp "$prefix/share/mime/packages/cellwick.xml" "$mime/packages/"
  update-mime-database "$mime" >/dev/null 2>&1
  for ext in xls xlt; do
    grep -qF ":application/vnd.ms-excel:*.$ext" "$mime/globs2" || fail "without the system's types, *.$ext has no type"
  done
  rm -rf "$mime"
else
  echo "update-mime-database not installed: file types not checked"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures install check(s) failed" >&2
  exit 1
fi
echo "install tree: $(grep -vc '^#' "$here/installed_files.txt") files checked"
