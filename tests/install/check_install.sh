#!/usr/bin/env bash
# Installs the build into a temporary root and checks what a desktop and a
# user see there: usage: check_install.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
usr=$root/usr

[ "$("$usr/bin/myzor-info" --version)" = "myzor-info $version" ]
(cd / && "$usr/bin/myzor-info" "$usr"/share/doc/myzor/examples/*.rec >/dev/null)
desktop-file-validate "$usr"/share/applications/*.desktop
appstreamcli validate --no-net "$usr"/share/metainfo/*.metainfo.xml >/dev/null
update-mime-database "$usr/share/mime" 2>/dev/null
[ -f "$usr/share/mime/application/x-zor-replay.xml" ]

for program in "$usr"/bin/*; do
  name=$(basename "$program")
  # The page's NAME section opens with the program's name.
  sed -n '/^\.SH NAME$/{n;p;q}' "$usr/share/man/man1/$name.1" | grep -q "^${name} \\\\- "
done
