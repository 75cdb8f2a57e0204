#!/bin/sh
# Lists the resources of an executable with windres and checks that the installer's set is there:
# the five "_TarvoResc" entries in language 2052, the icon group and both manifests.
set -eu
exe=$1
listing=$(x86_64-w64-mingw32-windres -i "$exe" -O rc)
fail=0
expect() {
  if ! printf '%s\n' "$listing" | grep -Eq "$1"; then
    echo "missing in $exe: $2"
    fail=1
  fi
}
for id in 111 113 114 115 116; do
  # each entry is preceded by its language line when the language changes; all five are 2052 (4, 2)
  expect "^$id \"_TARVORESC\"" "_TarvoResc $id"
done
langs=$(printf '%s\n' "$listing" | awk '/^LANGUAGE/{l=$0} /^[0-9]+ "_TARVORESC"$/{print l}' | sort -u)
if [ "$langs" != "LANGUAGE 4, 2" ]; then
  echo "_TarvoResc entries not all in language 2052: $langs"
  fail=1
fi
expect '^2 14 /\* RT_GROUP_ICON \*/' "icon group 2"
manifest_langs=$(printf '%s\n' "$listing" | awk '/^LANGUAGE/{l=$0} /^1 24 \/\* RT_MANIFEST/{print l}' | sort | tr '\n' ';')
if [ "$manifest_langs" != "LANGUAGE 4, 2;LANGUAGE 9, 1;" ]; then
  echo "manifests: expected languages 2052 and 1033, got $manifest_langs"
  fail=1
fi
[ $fail -eq 0 ] && echo "resources of $exe are complete"
exit $fail
