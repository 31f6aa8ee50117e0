#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks that what a desktop and a package need is
# there, that the entry and the metadata name the files actually installed, that the desktop's
# and AppStream's own validators accept them, and that the installed tool runs.
# Usage: staging.sh CMAKE BUILD_DIR VERSION
set -euo pipefail
cmake=$1 build=$2 version=$3
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$stage" >/dev/null

id=jp.zumen.Zumen
desktop=$stage/share/applications/$id.desktop
metainfo=$stage/share/metainfo/$id.metainfo.xml
for f in bin/zumen bin/zumen-db share/applications/$id.desktop \
  share/icons/hicolor/scalable/apps/$id.svg share/metainfo/$id.metainfo.xml share/doc/zumen/copyright; do
  [[ -s $stage/$f ]] || fail "$f is not installed"
done

# A renamed program or icon would leave a menu entry that starts or shows nothing.
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[[ -x $stage/bin/${exec_line%% *} ]] || fail "Exec=$exec_line names no installed program"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[[ -s $stage/share/icons/hicolor/scalable/apps/$icon.svg ]] || fail "Icon=$icon is not installed"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
  fail "the metadata does not launch $id.desktop"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metadata has no release $version"

desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the entry"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects the metadata"

out=$("$stage/bin/zumen-db" --version) || fail "the installed zumen-db does not run"
[[ $out == "zumen-db $version" ]] || fail "the installed zumen-db says '$out', not version $version"
echo "installed and valid: $stage"
