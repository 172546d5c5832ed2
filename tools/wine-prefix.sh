#!/usr/bin/env bash
# Creates the build folder's Wine prefix once: the zh_CN.UTF-8 locale (code
# page 936; en_US.UTF-8 and zh_TW.UTF-8 beside it, code pages 1252 and 950,
# for the tests of other systems), an unmanaged X11 driver (no window
# manager on Xvfb), a CJK font for the dialog font, and a browser stand-in
# that records opened URLs.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
mkdir -p "$LOCPATH"
# Made also for a prefix that is already there.
for l in zh_CN en_US zh_TW; do
  [ -d "$LOCPATH/$l.UTF-8" ] || localedef -i $l -f UTF-8 "$LOCPATH/$l.UTF-8" 2>/dev/null || [ -d "$LOCPATH/$l.UTF-8" ]
done
stamp="$WINEPREFIX/.lumora-ready"
[ -f "$stamp" ] && exit 0
mkdir -p "$HOME" "$TMPDIR" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
rm -rf "$WINEPREFIX"
"$WINE" wineboot -i >/dev/null 2>&1
"$WINESERVER" -w

recorder="$LUMORA_BUILD/wine/browser-recorder.sh"
cat >"$recorder" <<'REC'
#!/bin/sh
# Stands in for a web browser: appends the URL it was asked to open.
printf '%s\n' "$1" >> "${LUMORA_BROWSER_LOG:-/dev/null}"
REC
chmod +x "$recorder"

reg="$TMPDIR/lumora.reg"
/usr/bin/python3 - "$reg" "$recorder" <<'PY'
import sys
path, recorder = sys.argv[1], sys.argv[2]
text = "\r\n".join([
    "Windows Registry Editor Version 5.00", "",
    r"[HKEY_CURRENT_USER\Software\Wine\X11 Driver]", '"Managed"="N"', "",
    r"[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]",
    '"宋体"="WenQuanYi Zen Hei"', '"SimSun"="WenQuanYi Zen Hei"', "",
    r"[HKEY_CURRENT_USER\Software\Wine\WineDbg]", '"ShowCrashDialog"=dword:00000000', "",
    r"[HKEY_CURRENT_USER\Software\Wine\WineBrowser]",
    '"Browsers"="%s"' % recorder.replace("\\", "\\\\"), "", ""])
open(path, "wb").write(b"\xff\xfe" + text.encode("utf-16-le"))
PY
"$WINE" regedit /S "$(winepath_w() { "$WINE" winepath -w "$1" 2>/dev/null; }; winepath_w "$reg")" >/dev/null 2>&1
"$WINESERVER" -w
touch "$stamp"
