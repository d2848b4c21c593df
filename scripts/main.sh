#!/usr/bin/env bash
# Installs what is needed, builds, registers the add-in in the build's Wine prefix,
# and lets the client host run a command on sample documents.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
# Laid out as installed: the add-in beside the product's libraries, the client in its own folder.
programs="$PWD/build/wineprefix/drive_c/Program Files"
client="$programs/iManage Client" product="$programs/Ostrel/PDF"
bash scripts/register.sh "$PWD/build/wineprefix" "$client" "$product"
export WINEPREFIX=$PWD/build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The client is started from its own folder, as its shortcut does.
cd "$client"
/usr/lib/wine/wine64 clienthost.exe "$@"
# The same commands in German, as the product configuration can ask for them.
if [ $# -eq 0 ]; then
  /usr/lib/wine/wine64 clienthost.exe list 1031
fi
# Create PDF end to end: four samples merged in the order 3 1 2 4 and stored in the DMS as a new
# document related to them; the stored PDF is exported and checked here on the Linux side.
if [ $# -eq 0 ]; then
  /usr/lib/wine/wine64 clienthost.exe createpdf merge dms 3 1 2 4
  qpdf --check createpdf-result.pdf
  order=$(pdftotext createpdf-result.pdf - | tr -d '\f' | grep -E '\.(txt|xps)$' | uniq | tr '\n' '|')
  echo "Pages in order: $order"
  [ "$order" = "Contract draft.txt|Meeting notes.txt|Budget 2026.txt|Floor plan.xps|" ]
  # The further commands, each on its own samples.
  for verb in "newpdf file" "newpdf scan" sendpdf openinpro openincnv; do
    echo; /usr/lib/wine/wine64 clienthost.exe $verb
  done
fi
