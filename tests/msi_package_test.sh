#!/usr/bin/env bash
# The installer package under Wine's msiexec, in a prefix of its own (<build>/msi-test, a copy
# of <build>/wineprefix-clean) laid out as a client machine: the product (its helpers and
# companion libraries, its InstallPath) in C:\Program Files\Ostrel\PDF\, the DMS client (the
# client host with the testbed's object model, a DeskSite 8 client's keys) in a folder of its
# own. Without the product the package refuses and changes nothing. Into the folder the
# administrator names it registers what regsvr32 registers, a repair keeps that, an upgrade
# stays there and a lower version refuses; without a folder it goes beside the product, and
# Create PDF stores its PDF in the DMS through the client host. Every uninstall leaves
# HKLM\Software (with HKCR's machine part) and the product's and the client's files as they were.
# Usage: msi_package_test.sh <source-dir> <build-dir>
set -euo pipefail
src=$1 build=$(cd "$2" && pwd)
# What the build installed in its own prefix: the product's folder (with the add-in, which
# scripts/msi.sh packs) and the client's.
product_src="$build/wineprefix/drive_c/Program Files/Ostrel/PDF"
client_src="$build/wineprefix/drive_c/Program Files/iManage Client"
addin=$product_src/VPDFIManageAddon.dll
work=$build/msi-test
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
server=/usr/lib/wine/wineserver64
programs=$WINEPREFIX/drive_c/Program\ Files
product=$programs/Ostrel/PDF client=$programs/iManage\ Client
folder=$WINEPREFIX/drive_c/Apps/Ostrel\ PDF target='C:\Apps\Ostrel PDF\'
elsewhere=$WINEPREFIX/drive_c/Apps/Varnel\ PDF
status=0 runs=0

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
# msiexec [refused] <arguments>: its exit code must be 0, with refused must not be.
msiexec() {
  local code=0 expect=0 log=$work/msiexec-$((++runs)).log
  [ "$1" != refused ] || { expect=1; shift; }
  wine msiexec "$@" /qn /l*v "$(winepath "$log")" || code=$?
  [ "$(( code != 0 ))" -eq "$expect" ] || fail "msiexec $* returned $code (log: $log)"
}
tree() { (cd "$1" && { find . -type d; find . -type f -exec sha256sum {} +; } | sort); }
regedit() {  # regedit <<<lines: imported as a REGEDIT4 file
  { printf 'REGEDIT4\n\n'; cat; } > "$work/import.reg"
  wine regedit /s "$(winepath "$work/import.reg")" || fail "importing into the registry failed"
}
same() {  # same <what> <before> <after>
  cmp -s "$2" "$3" || { fail "$1"; diff "$2" "$3" | head -40 || true; }
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

# The client, with its object model registered from its folder.
mkdir -p "$client" && cp "$client_src"/{clienthost.exe,tbdms.dll} "$client/"
(cd "$client" && wine regsvr32 /s tbdms.dll) || fail "registering the testbed's client failed"

# Without the product the package refuses and changes nothing.
snapshot bare
tree "$programs" > "$work/bare-files.txt"
msiexec refused /i "$first"
snapshot refused
same "the refused install changed HKLM\\Software" "$work/bare.txt" "$work/refused.txt"
tree "$programs" > "$work/refused-files.txt"
same "the refused install changed Program Files" "$work/bare-files.txt" "$work/refused-files.txt"
# The product's folder is what its InstallPath in the 64-bit view says; once the product is
# gone the add-in still uninstalls.
regedit <<'REG'
[HKEY_LOCAL_MACHINE\Software\Ostrel\PDF\V1]
"InstallPath"="C:\\Apps\\Varnel PDF\\"
REG
msiexec /i "$first"
[ -e "$elsewhere/VPDFIManageAddon.dll" ] || fail "the add-in did not go into the product's folder $elsewhere"
regedit <<<'[-HKEY_LOCAL_MACHINE\Software\Ostrel\PDF\V1]'
msiexec /x "$first"
[ ! -e "$elsewhere/VPDFIManageAddon.dll" ] || fail "without the product the uninstall left VPDFIManageAddon.dll"

# The product, and the client's and the product's keys.
mkdir -p "$product" && cp -a "$product_src/." "$product/" && rm "$product/VPDFIManageAddon.dll"
menus='"Commands"="IManExt.OpenCmd,-,IManExt.PrintCmd"'
regedit <<REG
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
snapshot before
tree "$product" > "$work/product-files.txt"
tree "$client" > "$work/client-files.txt"
left_as_before() {  # left_as_before <after what>
  snapshot "$1"
  python3 -c "$registry_py" diff "$work/before.reg" "$work/$1.reg" ||
    fail "$1: HKLM\\Software is not as before (above)"
  tree "$product" > "$work/$1-product-files.txt"
  same "$1: the product's files are not as before" "$work/product-files.txt" "$work/$1-product-files.txt"
  tree "$client" > "$work/$1-client-files.txt"
  same "$1: the client's files are not as before" "$work/client-files.txt" "$work/$1-client-files.txt"
}

# Into the administrator's folder: there only, registered as regsvr32 registers (below).
msiexec /i "$first" "INSTALLFOLDER=$target"
cmp -s "$addin" "$folder/VPDFIManageAddon.dll" || fail "the installed VPDFIManageAddon.dll is not the built one"
[ ! -e "$product/VPDFIManageAddon.dll" ] || fail "the install into $target put the add-in beside the product"
snapshot installed --own
[ "$(grep -c '^"Commands"="IManExt.OpenCmd,-,.*RPDFIManAddon.OpenInPro_CM' "$work/installed.txt")" = 3 ] ||
  fail "the client's three document menus did not get the editor's command"
# The repair adds the same source folder again to msiexec's own source list: --own leaves it out.
msiexec /i "$first" REINSTALL=ALL REINSTALLMODE=vomus
snapshot repaired --own
same "a repair changed the registration" "$work/installed.txt" "$work/repaired.txt"

# A higher version replaces the installed one, in its folder; the administrator sees one entry.
msiexec /i "$higher"
[ -e "$folder/VPDFIManageAddon.dll" ] || fail "the upgrade did not install into the first one's folder"
[ ! -e "$product/VPDFIManageAddon.dll" ] || fail "the upgrade went beside the product"
# The lower version refuses to replace it.
msiexec refused /i "$first"
snapshot upgraded
products=$(python3 -c "$registry_py" products "$work/upgraded.reg")
[ "$products" = "Varnel PDF add-in for iManage $higher_version" ] ||
  fail "after the upgrade and the lower version the installations are: $(echo "$products" | tr '\n' ';')"
msiexec /x "$higher"
[ ! -e "$folder/VPDFIManageAddon.dll" ] || fail "the uninstall left VPDFIManageAddon.dll"
left_as_before removed-upgrade

# Without a folder the add-in goes beside the product, and the client's Create PDF, run from
# the client's folder, stores its merged PDF in the DMS.
msiexec /i "$first"
cmp -s "$addin" "$product/VPDFIManageAddon.dll" || fail "the add-in was not installed beside the product"
code=0
(cd "$client" && /usr/lib/wine/wine64 clienthost.exe createpdf merge dms 3 1 2 4 </dev/null \
  >"$work/createpdf.txt" 2>&1) || code=$?
grep -q '^ *stored .* pdf, ' "$work/createpdf.txt" && [ "$code" -eq 0 ] &&
  qpdf --check "$client/createpdf-result.pdf" >/dev/null 2>&1 ||
  { fail "Create PDF beside the product stored no PDF in the DMS (exit $code):"; sed -n '/^Changed:/,$p' "$work/createpdf.txt"; }
# The run's own: the exported PDF and the stand-in DMS's store beside tbdms.dll.
rm -rf "$client/createpdf-result.pdf" "$client/tbdms-store"
msiexec /x "$first"
[ ! -e "$product/VPDFIManageAddon.dll" ] || fail "the uninstall left VPDFIManageAddon.dll beside the product"
left_as_before removed

# The same module registered by hand with regsvr32 writes what the package wrote.
mkdir -p "$folder" && cp "$addin" "$folder/"
(cd "$folder" && wine regsvr32 /s VPDFIManageAddon.dll) || fail "regsvr32 failed"
snapshot regsvr32 --own
same "the package's registration differs from regsvr32's" "$work/installed.txt" "$work/regsvr32.txt"

[ "$status" -eq 0 ] || exit "$status"
"$server" -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"  # kept for a look only when something failed
echo "package refused without the product, installed, repaired, upgraded, used and removed as expected"
