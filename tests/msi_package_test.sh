#!/usr/bin/env bash
# The installer package under Wine's msiexec, in a prefix of its own (<build>/msi-test, a copy
# of <build>/wineprefix-clean) with the testbed's client object model, a DeskSite 8 client and
# the product's PDF editor: an install into the folder the administrator names registers what
# regsvr32 registers (the client's menus, the CLSIDs), an upgrade leaves one installation in
# that folder, and the uninstall leaves HKLM\Software (with HKCR's machine part) as it was.
# Usage: msi_package_test.sh <source-dir> <build-dir>
set -euo pipefail
src=$1 build=$(cd "$2" && pwd)
work=$build/msi-test
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
server=/usr/lib/wine/wineserver64
product=$WINEPREFIX/drive_c/Program\ Files/Ostrel/PDF
folder=$WINEPREFIX/drive_c/Apps/Ostrel\ PDF target='C:\Apps\Ostrel PDF\'
status=0 runs=0
# What the build installed in its own prefix: the add-in in the product's folder, the client's
# object model in the client's.
addin="$build/wineprefix/drive_c/Program Files/Ostrel/PDF/VPDFIManageAddon.dll"
client_src="$build/wineprefix/drive_c/Program Files/iManage Client"

# Everything Wine starts writes to a log: a daemon of the prefix must not hold ctest's pipes.
wine() { /usr/lib/wine/wine64 "$@" </dev/null >>"$work/wine.log" 2>&1; }
trap '"$server" -k >/dev/null 2>&1 || true' EXIT
fail() { echo "FAIL: $*"; status=1; }
winepath() { echo "Z:${1//\//\\}"; }

# The keys below HKLM\Software as the stopped server saved them, one block a key without times;
# with --own, without Windows Installer's own store and the package's record of its folder,
# which regsvr32 does not write. `diff <before> <after>` names each key gone, new or changed,
# but for the Customize\Integration key that the module's unregistration keeps (empty) and
# the empty keys msiexec keeps of its store.
registry_py=$(cat <<'PY'
import re, sys
STORE = re.compile(r'^\[?Software\\\\(Classes\\\\Installer|Microsoft\\\\Windows\\\\CurrentVersion'
                   r'\\\\(Installer|Uninstall(\]|$|\\\\\{))|Ostrel\\\\PDF\\\\VPDFIManageAddon)', re.I)
def read(path, own=False):
    keys = {}
    for block in open(path, encoding='utf-8', errors='replace').read().split('\n\n'):
        lines = [l for l in block.strip().split('\n') if l and not l.startswith('#time=')]
        if lines and lines[0].startswith('['):
            key = lines[0][1:lines[0].rindex(']')]
            if key.lower().startswith('software\\\\') and not (own and STORE.match(key)):
                keys[key] = lines[1:]
    return keys
if sys.argv[1] == 'products':  # the package's entries among the uninstall entries
    for key, values in read(sys.argv[2]).items():
        d = dict(v.split('=', 1) for v in values if '=' in v)
        if 'Uninstall\\\\{' in key and d.get('"DisplayName"', '').startswith('"Varnel PDF add-in'):
            print(d['"DisplayName"'].strip('"'), d.get('"DisplayVersion"', '').strip('"'))
elif sys.argv[1] == 'snapshot':
    for key, values in read(sys.argv[2], '--own' in sys.argv).items():
        print('\n'.join(['[' + key + ']'] + values))
else:
    before, after = read(sys.argv[2]), read(sys.argv[3])
    problems = ['gone: ' + k for k in before.keys() - after.keys()]
    problems += ['new: ' + k + ' ' + ' '.join(after[k]) for k in after.keys() - before.keys()
                 if after[k] or not (k.endswith('\\\\Customize\\\\Integration') or STORE.match(k))]
    problems += ['changed: ' + k for k in before.keys() & after.keys() if before[k] != after[k]]
    print('\n'.join(sorted(problems)[:40]))
    sys.exit(1 if problems else 0)
PY
)
snapshot() {  # snapshot <name> [--own]: stopping the server saves the registry
  "$server" -k >/dev/null 2>&1 || true
  "$server" -w
  cp "$WINEPREFIX/system.reg" "$work/$1.reg"
  python3 -c "$registry_py" snapshot "$work/$1.reg" "${@:2}" > "$work/$1.txt"
}
msiexec() {  # its exit code must be 0
  local code=0 log=$work/msiexec-$((++runs)).log
  wine msiexec "$@" /qn /l*v "$(winepath "$log")" || code=$?
  [ "$code" -eq 0 ] || fail "msiexec $* returned $code (log: $log)"
}

rm -rf "$work" && mkdir -p "$work"
cp -a "$build/wineprefix-clean" "$WINEPREFIX"
# The package as the resource's version says, and the same module as a higher version.
bash "$src/scripts/msi.sh" "$build" "" "$work/first.msi" >/dev/null
version=$(msiinfo export "$work/first.msi" Property | awk '$1 == "ProductVersion" { print $2 }')
higher_version=$((${version%%.*} + 1)).0.0
bash "$src/scripts/msi.sh" "$build" "$higher_version" "$work/higher.msi" >/dev/null
# The add-in's module is the package's one file: nothing of the testbed goes with it.
files=$(msiinfo export "$work/first.msi" File | tail -n +4 | cut -f3)
[ "$files" = VPDFIManageAddon.dll ] || fail "the package's files are: $(echo $files)"

(cd "$client_src" && wine regsvr32 /s tbdms.dll) || fail "registering the testbed's client failed"
mkdir -p "$product/bin" && echo x > "$product/bin/varnelpdf.exe"
menus='"Commands"="IManExt.OpenCmd,-,IManExt.PrintCmd"'
cat > "$work/client.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\InterWoven]
"DeskSite Version"="9.1"
[HKEY_LOCAL_MACHINE\Software\InterWoven\WorkSite\8.0\Common]
"InstallRoot"="C:\\\\Program Files\\\\Interwoven\\\\WorkSite\\\\"
[HKEY_LOCAL_MACHINE\Software\InterWoven\WorkSite\8.0\DeskSite\Commands\Menus\Document]
$menus
[HKEY_LOCAL_MACHINE\Software\InterWoven\WorkSite\8.0\MailSite\Commands\Document]
$menus
[HKEY_LOCAL_MACHINE\Software\InterWoven\WorkSite\8.0\FileSite\Commands\Document]
$menus
[HKEY_LOCAL_MACHINE\Software\Ostrel\PDF\V1]
"InstallPath"="C:\\\\Program Files\\\\Ostrel\\\\PDF\\\\"
[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Ostrel\PDF\V1]
"InstallPath"="C:\\\\Program Files\\\\Ostrel\\\\PDF\\\\"
REG
wine regedit /s "$(winepath "$work/client.reg")" || fail "importing the client's keys failed"
snapshot before

msiexec /i "$(winepath "$work/first.msi")" "INSTALLFOLDER=$target"
cmp -s "$addin" "$folder/VPDFIManageAddon.dll" ||
  fail "the installed VPDFIManageAddon.dll is not the built one"
snapshot installed --own
[ "$(grep -c '^"Commands"="IManExt.OpenCmd,-,.*RPDFIManAddon.OpenInPro_CM' "$work/installed.txt")" = 3 ] ||
  fail "the client's three document menus did not get the editor's command"

# A higher version replaces the installed one, in its folder; the administrator sees one entry.
msiexec /i "$(winepath "$work/higher.msi")"
[ -e "$folder/VPDFIManageAddon.dll" ] || fail "the upgrade did not install into the first one's folder"
snapshot upgraded
products=$(python3 -c "$registry_py" products "$work/upgraded.reg")
[ "$products" = "Varnel PDF add-in for iManage $higher_version" ] ||
  fail "after the upgrade the installations are: $(echo "$products" | tr '\n' ';')"

msiexec /x "$(winepath "$work/higher.msi")"
[ ! -e "$folder/VPDFIManageAddon.dll" ] || fail "the uninstall left VPDFIManageAddon.dll"
snapshot removed
python3 -c "$registry_py" diff "$work/before.reg" "$work/removed.reg" ||
  fail "the uninstall did not restore HKLM\\Software (above)"

# The same module registered by hand with regsvr32 writes what the package wrote.
mkdir -p "$folder" && cp "$addin" "$folder/"
(cd "$folder" && wine regsvr32 /s VPDFIManageAddon.dll) || fail "regsvr32 failed"
snapshot regsvr32 --own
cmp -s "$work/installed.txt" "$work/regsvr32.txt" ||
  { fail "the package's registration differs from regsvr32's"; diff "$work/installed.txt" "$work/regsvr32.txt" | head -40; }

[ "$status" -eq 0 ] || exit "$status"
"$server" -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"  # kept for a look only when something failed
echo "package installed, upgraded and removed as expected"
