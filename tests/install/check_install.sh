#!/usr/bin/env bash
# Installs the build into a temporary root and checks what a desktop and a
# user see there, then builds the Debian package and has lintian check it
# where lintian is installed: usage: check_install.sh BUILD_DIR VERSION [lintian]
set -euo pipefail
build=$1 version=$2 package_check=${3:-}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root/tree cmake --install "$build" --prefix /usr >/dev/null
usr=$root/tree/usr

for program in "$usr"/bin/*; do
  name=$(basename "$program")
  [ "$("$program" --version)" = "$name $version" ]
  # The page's NAME section opens with the program's name.
  zcat "$usr/share/man/man1/$name.1.gz" | sed -n '/^\.SH NAME$/{n;p;q}' | grep -q "^${name} \\\\- "
  # Each program is completed by both shells.
  [ -f "$usr/share/bash-completion/completions/$name" ]
  [ -f "$usr/share/zsh/vendor-completions/_$name" ]
done
# Qt's own single-dash options reach Qt, not the help.
[ "$("$usr/bin/myzor" -stylesheet /dev/null --version)" = "myzor $version" ]
(cd / && "$usr/bin/myzor-info" "$usr"/share/doc/myzor/examples/*.rec >/dev/null)
desktop-file-validate "$usr"/share/applications/*.desktop
# Pedantic hints ("P:") are not failures; warnings and errors are.
appstreamcli validate --pedantic --no-net "$usr"/share/metainfo/*.metainfo.xml >"$root/appstream" ||
  { cat "$root/appstream"; exit 1; }
if grep -E '^[EW]:' "$root/appstream"; then exit 1; fi
grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$usr"/share/metainfo/*.metainfo.xml
update-mime-database "$usr/share/mime" 2>/dev/null
[ -f "$usr/share/mime/application/x-zor-replay.xml" ]

if [ "$package_check" = lintian ] && command -v lintian >/dev/null; then
  (cd "$build" && cpack -G DEB -B "$root/deb" >/dev/null)
  deb=$(echo "$root"/deb/myzor_"$version"_*.deb)
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ]
  # Every tag that is not an info or pedantic note fails, and so do the
  # notes on hardening and on sections a stripped binary need not keep.
  lintian -I --pedantic "$deb" 2>/dev/null | tee "$root/lintian"
  if grep -E '^[EWX]:|hardening-|binary-has-unneeded-section' "$root/lintian"; then exit 1; fi
fi
