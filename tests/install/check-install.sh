#!/bin/sh
# A staged `cmake --install` (DESTDIR, as a package build does it) puts every
# file where the desktop, man and the shells look for it.
# Usage: check-install.sh BUILD-FOLDER [FILE...]   (FILEs: further paths under /usr)
set -eu
build=$1
shift
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null

status=0
check() {  # check PATH [TEXT]: the file exists and, when TEXT is given, holds it
  if [ ! -f "$stage/usr/$1" ]; then
    echo "not installed: /usr/$1"; status=1
  elif [ $# -gt 1 ] && ! grep -qF -- "$2" "$stage/usr/$1"; then
    echo "/usr/$1 lacks: $2"; status=1
  fi
}
check bin/tessaline
check share/xsessions/tessaline.desktop "Exec=tessaline"
check share/applications/org.tessaline.Tessaline.desktop "MimeType=x-scheme-handler/tessaline;"
check share/man/man1/tessaline.1 "focusRight"
check share/bash-completion/completions/tessaline "focusRight"
check share/zsh/vendor-completions/_tessaline "focusRight"
check share/fish/vendor_completions.d/tessaline.fish "focusRight"
for extra in "$@"; do check "$extra"; done
[ -x "$stage/usr/bin/tessaline" ] || { echo "/usr/bin/tessaline is not executable"; status=1; }
# The installed executable finds its manager program (which then finds no display).
if "$stage/usr/bin/tessaline" --display :65000 2>&1 | grep -q "isn't installed"; then
  echo "/usr/bin/tessaline doesn't find its window manager program"; status=1
fi
# Session entries carry DesktopNames, which display managers read and the
# validator doesn't know; the URL handler's entry is an ordinary one.
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$stage"/usr/share/applications/*.desktop || status=1
fi
exit $status
