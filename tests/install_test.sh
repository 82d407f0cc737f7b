#!/usr/bin/env bash
# Installs the built program into a scratch prefix and checks that it runs from there as a desktop
# program: it reaches its event loop on the installed resources (and fails once an installed
# interface definition is gone, so it is not falling back on the source tree), its desktop entry
# and AppStream metainfo pass their validators, its MIME type names project files, and a project
# handed over the way a file manager does it is opened.
# Arguments: the build folder. Needs a display (Xvfb).
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
for f in bin/vintrel share/vintrel/resources/main/Tools.ui share/vintrel/resources/help/guide.html \
         share/applications/example.vintrel.Vintrel.desktop share/metainfo/example.vintrel.Vintrel.metainfo.xml \
         share/mime/packages/vintrel.xml share/icons/hicolor/scalable/apps/vintrel.svg \
         share/icons/hicolor/48x48/apps/vintrel.png share/icons/hicolor/256x256/mimetypes/application-x-vintrel-project.png; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done

start() {   # runs the installed program up to its event loop; prints what it reports there
  (cd "$work" && env -u VINTREL_RESOURCES HOME="$work" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" \
     TMPDIR="$work" VINTREL_EXIT_AT_EVENT_LOOP=1 VINTREL_SCRIPTED_MODALS=1 "$prefix/bin/vintrel" 2>&1 >/dev/null) || true
}
start | grep -q '^event-loop-reached ' || fail "the installed program did not reach its event loop"
mv "$prefix/share/vintrel/resources/main/Tools.ui" "$work/Tools.ui"
! start | grep -q '^event-loop-reached ' || fail "the installed program ran without its installed Tools.ui"
mv "$work/Tools.ui" "$prefix/share/vintrel/resources/main/Tools.ui"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/example.vintrel.Vintrel.desktop" || fail "desktop entry"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/share/metainfo/example.vintrel.Vintrel.metainfo.xml" >"$work/as.log" 2>&1 \
    || { cat "$work/as.log"; fail "AppStream metainfo"; }
fi
if command -v update-mime-database >/dev/null && command -v xdg-mime >/dev/null; then
  export XDG_DATA_HOME="$work/mimehome" XDG_DATA_DIRS="$prefix/share:/usr/share"
  mkdir -p "$XDG_DATA_HOME/mime/packages"
  cp "$prefix/share/mime/packages/vintrel.xml" "$XDG_DATA_HOME/mime/packages/"
  update-mime-database "$XDG_DATA_HOME/mime"
  printf '\004\000\000\000' >"$work/sample.vntr"
  type="$(env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION xdg-mime query filetype "$work/sample.vntr")"
  [ "$type" = application/x-vintrel-project ] || fail "sample.vntr is of type '$type'"
  if command -v update-desktop-database >/dev/null; then
    update-desktop-database "$prefix/share/applications"
    app="$(env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION xdg-mime query default application/x-vintrel-project)"
    [ "$app" = example.vintrel.Vintrel.desktop ] || fail "project files open with '$app'"
  fi
fi
# A file manager opens a project through the desktop entry's command line: the installed program
# gets the file as its open-documents event and reads it (this sample names a theme that is not
# installed, which the program says, naming the file).
if command -v gio >/dev/null; then
  cp "$(dirname "$0")/fuzz/corpus/project/picture-and-text.vntr" "$work/Holiday.vntr"
  said="$(cd "$work" && env -u VINTREL_RESOURCES PATH="$prefix/bin:$PATH" HOME="$work" XDG_DATA_HOME="$work/data" \
          XDG_CONFIG_HOME="$work/config" TMPDIR="$work" VINTREL_EXIT_AT_EVENT_LOOP=1 VINTREL_SCRIPTED_MODALS=1 \
          gio launch "$prefix/share/applications/example.vintrel.Vintrel.desktop" "$work/Holiday.vntr" 2>&1)" || true
  grep -qF "referred in the Project \"$work/Holiday.vntr\"" <<<"$said" \
    || { echo "$said" | tail -5; fail "the project given through the desktop entry was not opened"; }
fi
echo "installed program, desktop entry, metainfo, MIME type and opening a project: ok"
