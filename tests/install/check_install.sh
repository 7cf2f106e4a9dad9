#!/usr/bin/env bash
# Checks what a user gets: the installed tree (install) or the Debian package (package).
#   check_install.sh install|package BUILD_DIR APP_ID VERSION WITH_APP ICON_SIZE...
# install: `cmake --install` into a temporary DESTDIR holds every file, the desktop file,
#   AppStream metadata and MIME package pass their validators, both manual pages render
#   without a warning and name every command and option that kavrel-cli's help lists, the
#   shell completion offers them, and the installed programs run.
# package: the .deb that CPack makes holds the same files and names its dependencies.
set -uo pipefail
mode=$1 build=$2 id=$3 version=$4 with_app=$5
shift 5
icon_sizes=("$@")

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# Runs a check; on failure prints what it printed.
check() {
  local what=$1 output
  shift
  if ! output=$("$@" 2>&1); then fail "$what"$'\n'"$output"; fi
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Every file of the installed tree, relative to the prefix.
expected=(bin/kavrel-cli share/man/man1/kavrel-cli.1.gz
  share/bash-completion/completions/kavrel-cli share/zsh/vendor-completions/_kavrel-cli)
if [ "$with_app" = ON ]; then
  expected+=(bin/kavrel share/man/man1/kavrel.1.gz "share/applications/$id.desktop"
    "share/metainfo/$id.metainfo.xml" "share/mime/packages/$id.xml"
    "share/icons/hicolor/scalable/apps/$id.svg")
  for size in "${icon_sizes[@]}"; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png")
  done
fi

if [ "$mode" = package ]; then
  # CPack's own staging and output stay in the temporary folder.
  check "cpack makes the package" cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp"
  deb=("$tmp"/kavrel_"$version"_*.deb)
  [ -f "${deb[0]}" ] || { fail "no kavrel_${version}_*.deb"; exit 1; }
  listing=$(dpkg-deb -c "${deb[0]}" | awk '{print $NF}')
  for file in "${expected[@]}"; do
    grep -qx "./usr/$file" <<<"$listing" || fail "the package lacks /usr/$file"
  done
  info=$(dpkg-deb -f "${deb[0]}" Package Version Depends)
  grep -qx "Package: kavrel" <<<"$info" || fail "package name: $info"
  grep -qx "Version: $version" <<<"$info" || fail "package version: $info"
  # The package names alone, without their versions.
  depends=$(sed -n 's/^Depends: //p' <<<"$info" | tr ',' '\n' | sed 's/^ *//; s/ .*//')
  needed=(libc6 libstdc++6)
  [ "$with_app" = ON ] && needed+=(libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 qt6-qpa-plugins)
  for package in "${needed[@]}"; do
    grep -qxF "$package" <<<"$depends" || fail "Depends lacks $package: $(echo $depends)"
  done
  echo "$(( ${#expected[@]} + ${#needed[@]} )) checks, $failures failed"
  [ "$failures" = 0 ]
  exit
fi

# ---- The installed tree ----
check "cmake --install" env DESTDIR="$tmp" cmake --install "$build" --prefix /usr
root=$tmp/usr
for file in "${expected[@]}"; do
  [ -s "$root/$file" ] || fail "not installed: $file"
done

cli=$root/bin/kavrel-cli
[ "$("$cli" --version 2>&1)" = "kavrel-cli $version" ] || fail "kavrel-cli --version: $("$cli" --version 2>&1)"

if [ "$with_app" = ON ]; then
  # Both print without a display.
  [ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/bin/kavrel" --version 2>&1)" = "HD DVD Kavrel $version" ] ||
    fail "kavrel --version: $(env -u DISPLAY "$root/bin/kavrel" --version 2>&1)"
  env -u DISPLAY -u WAYLAND_DISPLAY "$root/bin/kavrel" --help 2>&1 | grep -q -- '--version' ||
    fail "kavrel --help lists no options"

  check "desktop-file-validate" desktop-file-validate "$root/share/applications/$id.desktop"
  grep -qx 'Exec=kavrel %f' "$root/share/applications/$id.desktop" || fail "desktop Exec line"
  check "appstreamcli validate" appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml"
  newest=$(grep -om1 '<release version="[^"]*"' "$root/share/metainfo/$id.metainfo.xml")
  [ "$newest" = "<release version=\"$version\"" ] || fail "the newest AppStream release is not $version: $newest"

  # The MIME package compiles, and its types are the ones the desktop file opens.
  mkdir -p "$tmp/mime/packages"
  cp "$root/share/mime/packages/$id.xml" "$tmp/mime/packages/"
  check "update-mime-database" update-mime-database "$tmp/mime"
  for type in $(sed -n 's/^MimeType=//p' "$root/share/applications/$id.desktop" | tr ';' ' '); do
    grep -q ":$type:" "$tmp/mime/globs2" || fail "the MIME package has no glob for $type"
  done

  for size in "${icon_sizes[@]}"; do
    file "$root/share/icons/hicolor/${size}x${size}/apps/$id.png" | grep -q "PNG image data, $size x $size" ||
      fail "icon ${size}x${size} is not a $size-pixel PNG"
  done
fi

# Manual pages render without a warning.
pages=(kavrel-cli)
[ "$with_app" = ON ] && pages+=(kavrel)
for page in "${pages[@]}"; do
  warnings=$(MANWIDTH=80 man --warnings -l "$root/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page warns:"$'\n'"$warnings"
done

# Every command and option of kavrel-cli's help is in its manual page and its completion.
manual=$(LC_ALL=C MANWIDTH=200 man -l "$root/share/man/man1/kavrel-cli.1.gz" 2>/dev/null | col -b)
complete() {  # prints the bash completion of the words given (the last is being typed)
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _kavrel_cli
           printf "%s\n" "${COMPREPLY[@]}"' _ "$root/share/bash-completion/completions/kavrel-cli" "$@"
}
commands=$("$cli" --help | sed -n 's/^  \([a-z][a-z0-9-]*\)  .*/\1/p')
[ -n "$commands" ] || fail "no commands found in kavrel-cli --help"
[ "$(complete "$cli" '')" = "$commands" ] || fail "completion of the commands: $(complete "$cli" '')"
for command in $commands; do
  grep -qE "^ +$command( |$)" <<<"$manual" || fail "the manual page (dist/kavrel-cli.1.in) has no command $command"
  offered=$(complete "$cli" "$command" --)
  for option in $("$cli" "$command" --help | grep -oE '(^|[ ,])--[a-z][a-z0-9-]*' | sed 's/^[ ,]*//' | sort -u); do
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$manual" || fail "the manual page (dist/kavrel-cli.1.in) lacks $command $option"
    grep -qx -- "$option" <<<"$offered" || fail "the completion lacks $command $option"
  done
done
[ "$(complete "$cli" demux -s a1)" = "$(printf 'a1\na10\na11\na12\na13\na14\na15')" ] ||
  fail "completion of a stream list: $(complete "$cli" demux -s a1)"
mkdir -p "$tmp/files/HVDVD_TS" && touch "$tmp/files/FEATURE_1.EVO" "$tmp/files/notes.txt" "$tmp/files/VPLST000.XPL"
[ "$(cd "$tmp/files" && complete "$cli" read '' | sort | tr '\n' ' ')" = "FEATURE_1.EVO HVDVD_TS " ] ||
  fail "completion of an input: $(cd "$tmp/files" && complete "$cli" read '')"
[ "$(cd "$tmp/files" && complete "$cli" xpl V)" = "VPLST000.XPL" ] || fail "completion of a playlist"
if command -v zsh >/dev/null; then
  check "zsh reads its completion" zsh -n "$root/share/zsh/vendor-completions/_kavrel-cli"
fi

echo "${#expected[@]} files, $failures failed"
[ "$failures" = 0 ]
