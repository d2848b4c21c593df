#!/usr/bin/env bash
# Writes the installer package of a built add-in:
#   msi.sh <build-dir> [<version>] [<output>]
# The version defaults to the module's version resource (first three fields: msiexec compares
# no more); the output to <build-dir>/VPDFIManageAddon-<version>.msi. Prints the package's path.
# wixl writes no SelfReg table, so the self-registration is added with msitools' msibuild.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
dll="$build/wineprefix/drive_c/Program Files/Ostrel/PDF/VPDFIManageAddon.dll"  # as the build installed it
[ -f "$dll" ] || { echo "no $dll: build first" >&2; exit 1; }
# The file version (four fields) from the module's VS_FIXEDFILEINFO.
file_version=$(python3 - "$dll" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
at = data.find(struct.pack('<I', 0xFEEF04BD))
if at < 0:
    sys.exit('no version resource in ' + sys.argv[1])
ms, ls = struct.unpack_from('<II', data, at + 8)
print(f'{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}')
PY
)
version=${2:-${file_version%.*}}
out=${3:-$build/VPDFIManageAddon-$version.msi}

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$dll" "$stage/"
cd "$stage"
# wixl looks for sources relative to the working folder.
wixl -a x64 -D Version="$version" -D AddInDll=VPDFIManageAddon.dll -o package.msi \
  "$root/installer/VPDFIManageAddon.wxs"
# Unregistration before the file goes (RemoveFiles 3500), registration after it came
# (InstallFiles 4000): the module's own DllUnregisterServer and DllRegisterServer.
msiinfo export package.msi InstallExecuteSequence > InstallExecuteSequence.idt
printf 'SelfUnregModules\t\t2200\nSelfRegModules\t\t5500\n' >> InstallExecuteSequence.idt
printf 'File_\tCost\ns72\tI2\nSelfReg\tFile_\nVPDFIManageAddon.dll\t1\n' > SelfReg.idt
msibuild package.msi -i InstallExecuteSequence.idt
msibuild package.msi -i SelfReg.idt
# wixl leaves the file's version empty; msiexec's file versioning (repair, upgrade) needs it.
msiinfo export package.msi File |
  awk -F'\t' -v OFS='\t' -v v="$file_version" 'NR > 3 && $1 == "VPDFIManageAddon.dll" { $5 = v } 1' > File.idt
msibuild package.msi -i File.idt
mv package.msi "$out"
echo "$out"
