#!/usr/bin/env bash
# `cmake --install` of a built tree into a temporary DESTDIR lays out exactly the files a
# package carries (no test, benchmark or fuzz program), the manual pages gzipped without a
# name or time stamp, and every place that names the version names the one of the build.
#   install.sh BUILD-FOLDER SOURCE-FOLDER
set -euo pipefail
build=$1
source=$2
failed=0
fail() {
  echo "$*"
  failed=1
}

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
usr=$root/usr

# The version and build number the build was configured with.
header=$build/generated/QuillmereVersion.h
version=$(sed -n 's/^#define QM_VERSION "\(.*\)"$/\1/p' "$header")
build_number=$(sed -n 's/^#define QM_BUILD_NUMBER "\(.*\)"$/\1/p' "$header")
[ -n "$version" ] && [ -n "$build_number" ] || fail "$header names no version"

expected=(
  bin/quillmere-cli
  share/bash-completion/completions/quillmere-cli
  share/doc/quillmere/copyright
  share/man/man1/quillmere-cli.1.gz
  share/zsh/vendor-completions/_quillmere-cli
)
for page in "$source"/docs/help/*; do expected+=("share/doc/quillmere/help/${page##*/}"); done
gui=no
if [ -x "$build/quillmere" ]; then
  gui=yes
  expected+=(
    bin/quillmere
    share/applications/quillmere.desktop
    share/icons/hicolor/scalable/apps/quillmere.svg
    share/man/man1/quillmere.1.gz
    share/metainfo/quillmere.metainfo.xml
  )
fi
wanted=$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)
got=$(cd "$usr" && find . -type f -o -type l | sed 's#^\./##' | LC_ALL=C sort)
if [ "$got" != "$wanted" ]; then
  fail "installed files differ from the expected ones (< expected, > installed):"
  diff <(echo "$wanted") <(echo "$got") | grep '^[<>]' || true
fi
[ -d "$root/usr" ] && [ "$(ls "$root")" = usr ] || fail "files were installed outside the prefix: $(ls "$root")"

# Manual pages: gzip -9n leaves the name out (flag byte 0) and the time stamp zero, so the
# package's bytes do not depend on when it was built; they unpack to the pages of the tree.
for packed in "$usr"/share/man/man1/*.gz; do
  page=${packed##*/}
  [ "$(od -An -tu1 -j3 -N5 "$packed" | tr -s ' ')" = " 0 0 0 0 0" ] ||
    fail "$page carries a name or a time stamp"
  gzip -dc "$packed" | cmp -s - "$source/docs/man/${page%.gz}" || fail "$page is not docs/man/${page%.gz}"
done

# The one version: the installed programs, the AppStream release and the About help page.
[ "$("$usr/bin/quillmere-cli" --version)" = "quillmere-cli $version" ] ||
  fail "quillmere-cli --version says '$("$usr/bin/quillmere-cli" --version)', not $version"
if [ $gui = yes ]; then
  said=$(QT_QPA_PLATFORM=offscreen "$usr/bin/quillmere" --version 2>/dev/null)
  [ "$said" = "Quillmere $version" ] || fail "quillmere --version says '$said', not $version"
  grep -q "<release version=\"$version\" date=\"[0-9-]*\"/>" "$usr/share/metainfo/quillmere.metainfo.xml" ||
    fail "the AppStream description has no release $version"
fi
grep -q "<b>Quillmere v$version build $build_number</b>" "$source/docs/help/about.html" ||
  fail "docs/help/about.html does not show Quillmere v$version build $build_number"
exit $failed
