#!/usr/bin/env bash
# The installer package under Wine's msiexec, in a fresh prefix of its own (<build>/msi-test,
# a copy of the clean prefix that the build makes in <build>/wineprefix-clean), on a machine
# with the testbed's client object model, a DeskSite 8 client and the product's PDF editor:
# an install into a folder that the administrator names writes what regsvr32 writes, a repair
# leaves that state, an upgrade to a higher version leaves one installation in the same folder,
# and the uninstall removes the file and leaves the machine's registry (HKLM\Software, with
# HKCR's machine part and the client's command lists) as it was before.
# Usage: msi_package_test.sh <source-dir> <build-dir>
set -euo pipefail
src=$1 build=$(cd "$2" && pwd)
work=$build/msi-test
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
server=/usr/lib/wine/wineserver64
log=$work/wine.log
product=$WINEPREFIX/drive_c/Program\ Files/Ostrel/PDF
# Where the administrator installs the add-in; repair, upgrade and removal are not told again.
folder=$WINEPREFIX/drive_c/Apps/Ostrel\ PDF target='C:\Apps\Ostrel PDF\'
status=0 runs=0

# Everything Wine starts writes to the log: a daemon of the prefix must not hold ctest's pipes.
wine() { /usr/lib/wine/wine64 "$@" </dev/null >>"$log" 2>&1; }
trap '"$server" -k >/dev/null 2>&1 || true' EXIT
fail() { echo "FAIL: $*"; status=1; }

# The machine's registry below HKLM\Software, compared key by key.
#   snapshot <system.reg> [--own]: one block per key, without times, as the prefix's server saved
#     it (Wine saves the keys that have values and those without subkeys); with --own, without
#     Windows Installer's own store (products, components, uninstall entries) and the package's
#     record of its folder, which regsvr32 does not write.
#   uninstalled <before> <after>: the differences an uninstall may leave, else each other one.
registry_py=$(cat <<'PY'
import re, sys
STORE = re.compile(r'^\[?Software\\\\(Classes\\\\Installer|Microsoft\\\\Windows\\\\CurrentVersion'
                   r'\\\\(Installer|Uninstall(\]|$|\\\\\{))|Ostrel\\\\PDF\\\\VPDFIManageAddon)', re.I)
def read(path):
    keys, key = {}, None
    for line in open(path, encoding='utf-8', errors='replace').read().splitlines():
        if line.startswith('['):
            key = line
            keys[key] = []
        elif key:
            keys[key].append(line)
    return keys
if sys.argv[1] == 'snapshot':
    own = '--own' in sys.argv
    for block in open(sys.argv[2], encoding='utf-8', errors='replace').read().split('\n\n'):
        lines = [l for l in block.strip().split('\n') if l and not l.startswith('#time=')]
        if not lines or not lines[0].startswith('['):
            continue
        key = lines[0][1:lines[0].rindex(']')]
        if key.lower().startswith('software\\\\') and not (own and STORE.match(key)):
            print('\n'.join(['[' + key + ']'] + lines[1:]))
else:
    # Left by the module's own unregistration, not by the package: the client's
    # Customize\Integration key, which registration makes and unregistration keeps (empty).
    # msiexec keeps empty keys of its store.
    before, after = read(sys.argv[2]), read(sys.argv[3])
    problems = ['gone: ' + k for k in before.keys() - after.keys()]
    problems += ['new: ' + k + ' ' + ' '.join(after[k]) for k in after.keys() - before.keys()
                 if after[k] or not (k.endswith('\\\\Customize\\\\Integration]') or STORE.match(k))]
    problems += ['changed: ' + k for k in before.keys() & after.keys() if before[k] != after[k]]
    print('\n'.join(sorted(problems)[:40]))
    sys.exit(1 if problems else 0)
PY
)
snapshot() {
  # Between steps only the prefix's services run: stopping the server saves the registry.
  "$server" -k >/dev/null 2>&1 || true
  "$server" -w
  python3 -c "$registry_py" snapshot "$WINEPREFIX/system.reg" "$@"
}
same() {  # same <what> <expected-file> <actual-file>
  if ! cmp -s "$2" "$3"; then
    fail "$1"
    diff "$2" "$3" | head -n 40 || true
  fi
}
msiexec() {  # msiexec <args>: its exit code must be 0
  local code=0
  local log=$work/msiexec-$((++runs)).log
  wine msiexec "$@" /qn /l*v "$(winepath "$log")" || code=$?
  [ "$code" -eq 0 ] || fail "msiexec $* returned $code (log: $log)"
}
winepath() { echo "Z:${1//\//\\}"; }
products() {  # the package's installations in the uninstall entries, "name version" per line
  awk -F'"' 'function out() { if (n ~ /^Varnel PDF add-in/) print n, v; n = v = "" }
    /^\[/ { out(); u = index($0, "Uninstall\\\\{") > 0 }
    u && /^"DisplayName"=/ { n = $4 }
    u && /^"DisplayVersion"=/ { v = $4 }
    END { out() }' "$1"
}

rm -rf "$work" && mkdir -p "$work"
cp -a "$build/wineprefix-clean" "$WINEPREFIX"
# The package as the resource's version says, and the same module as a higher version.
bash "$src/scripts/msi.sh" "$build" "" "$work/first.msi" >/dev/null
version=$(msiinfo export "$work/first.msi" Property | awk '$1 == "ProductVersion" { print $2 }')
higher_version=$((${version%%.*} + 1)).0.0
bash "$src/scripts/msi.sh" "$build" "$higher_version" "$work/higher.msi" >/dev/null
first=$(winepath "$work/first.msi") higher=$(winepath "$work/higher.msi")
# The add-in's module is the package's one file: nothing of the testbed goes with it.
files=$(msiinfo export "$work/first.msi" File | tail -n +4 | cut -f3)
[ "$files" = VPDFIManageAddon.dll ] || fail "the package's files are: $(echo $files)"

# The machine: the testbed's object model, a DeskSite 8 client with its document menus, and
# the product's PDF editor in the product folder.
(cd "$build/bin" && wine regsvr32 /s tbdms.dll) || fail "registering the testbed's client failed"
mkdir -p "$product/bin" && echo x > "$product/bin/varnelpdf.exe"
cat > "$work/client.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\InterWoven]
"DeskSite Version"="9.1"

[HKEY_LOCAL_MACHINE\Software\InterWoven\WorkSite\8.0\Common]
"InstallRoot"="C:\\Program Files\\Interwoven\\WorkSite\\"

[HKEY_LOCAL_MACHINE\Software\InterWoven\WorkSite\8.0\DeskSite\Commands\Menus\Document]
"Commands"="IManExt.OpenCmd,-,IManExt.PrintCmd"

[HKEY_LOCAL_MACHINE\Software\InterWoven\WorkSite\8.0\MailSite\Commands\Document]
"Commands"="IManExt.OpenCmd,-,IManExt.PrintCmd"

[HKEY_LOCAL_MACHINE\Software\InterWoven\WorkSite\8.0\FileSite\Commands\Document]
"Commands"="IManExt.OpenCmd,-,IManExt.PrintCmd"

[HKEY_LOCAL_MACHINE\Software\Ostrel\PDF\V1]
"InstallPath"="C:\\Program Files\\Ostrel\\PDF\\"

[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Ostrel\PDF\V1]
"InstallPath"="C:\\Program Files\\Ostrel\\PDF\\"
REG
wine regedit /s "$(winepath "$work/client.reg")" || fail "importing the client's keys failed"
snapshot > "$work/before.txt"

# Install, then repair: the file is the built module, and the state stays.
msiexec /i "$first" "INSTALLFOLDER=$target"
cmp -s "$build/bin/VPDFIManageAddon.dll" "$folder/VPDFIManageAddon.dll" ||
  fail "the installed VPDFIManageAddon.dll is not the built one"
snapshot > "$work/installed.txt"
snapshot --own > "$work/installed-own.txt"
[ "$(grep -c '^"Commands"="IManExt.OpenCmd,-,.*RPDFIManAddon.OpenInPro_CM' "$work/installed.txt")" = 3 ] ||
  fail "the client's three document menus did not get the editor's command"
# The repair adds the same source folder again to msiexec's own source list: that is left out.
msiexec /i "$first" REINSTALL=ALL REINSTALLMODE=vomus
snapshot --own > "$work/repaired-own.txt"
same "a repair changed the registry" "$work/installed-own.txt" "$work/repaired-own.txt"

# A higher version replaces the installed one: one installation, the same entries.
msiexec /i "$higher"
[ -e "$folder/VPDFIManageAddon.dll" ] || fail "the upgrade did not install into the first one's folder"
snapshot > "$work/upgraded.txt"
snapshot --own > "$work/upgraded-own.txt"
[ "$(products "$work/upgraded.txt")" = "Varnel PDF add-in for iManage $higher_version" ] ||
  fail "after the upgrade the installations are: $(products "$work/upgraded.txt" | tr '\n' ';')"
same "the upgrade's registration differs from the first install's" \
  "$work/installed-own.txt" "$work/upgraded-own.txt"

# Uninstall: the file and every entry go, but for what the module's unregistration keeps.
msiexec /x "$higher"
[ ! -e "$folder/VPDFIManageAddon.dll" ] || fail "the uninstall left VPDFIManageAddon.dll"
snapshot > "$work/removed.txt"
python3 -c "$registry_py" uninstalled "$work/before.txt" "$work/removed.txt" ||
  fail "the uninstall did not restore HKLM\\Software (above)"

# The same module put there by hand and registered with regsvr32 writes what the package wrote.
mkdir -p "$folder" && cp "$build/bin/VPDFIManageAddon.dll" "$folder/"
(cd "$folder" && wine regsvr32 /s VPDFIManageAddon.dll) || fail "regsvr32 failed"
snapshot --own > "$work/regsvr32.txt"
same "the package's registration differs from regsvr32's" "$work/installed-own.txt" \
  "$work/regsvr32.txt"

[ "$status" -eq 0 ] || exit "$status"
# Kept for a look when something failed; a passed run leaves no second prefix behind.
"$server" -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
echo "package installed, repaired, upgraded and removed as expected"
