#!/usr/bin/env bash
# The places InstallerCheck.sh expects on Windows, composed as Git for Windows' bash composes
# them: under stand-ins for its uname and cygpath, whose -w gives a bare drive letter a backslash.
set -euo pipefail
stand_in=$(mktemp -d)
trap 'rm -rf "$stand_in"' EXIT
printf '#!/bin/sh\necho MINGW64_NT-10.0-20348\n' >"$stand_in/uname"
cat >"$stand_in/cygpath" <<'END'
#!/bin/sh
case $2 in
?:) printf '%s\\\n' "$2" ;;
*) printf '%s\n' "$2" | tr / '\\' ;;
esac
END
chmod +x "$stand_in/uname" "$stand_in/cygpath"
actual=$(PATH="$stand_in:$PATH" APPDATA='C:\Users\runneradmin\AppData\Roaming' WINDIR='C:\Windows' SYSTEMDRIVE='C:' \
    bash "$(dirname "$0")/InstallerCheck.sh" --places)
expected='C:\Users\runneradmin\AppData\Roaming\Microsoft\Windows\Start Menu\Programs
C:\Windows
C:\OrbelData'
if [ "$actual" != "$expected" ]; then
    diff -u <(printf '%s\n' "$expected") <(printf '%s\n' "$actual")
    exit 1
fi
echo "The places on Windows: as the check names them"
