#!/usr/bin/env bash
# The add-in as an installation has it: the client host in the client's folder runs every
# command while its current folder holds libraries named like the product's three and the
# prefix holds a C:\Program.exe. Nothing planted may load or run (each leaves "<path>.ran"
# when it does), and every command has its usual effects: its result, its helpers started
# (the usage helper among them) and its log records written.
# The product's libraries missing or lacking an entry: no log without the log library, the
# configuration's defaults without its library, and without a usable merge plug-in the user is
# told which file is missing where, nothing is stored or left in the temporary folder, and one
# error record says so.
# Usage: installed_layout_test.sh <client host> <planted folder> <product folder>  (WINEPREFIX set)
set -u
host=$1 planted=$2 product=$3
drive=$WINEPREFIX/drive_c
here="$drive/users/Public/Documents/Planted folder" here_win='C:\users\Public\Documents\Planted folder'
status=0
fail() { echo "FAIL: $*"; status=1; }

rm -rf "$here" && mkdir -p "$here" || exit 1
for name in traceDiag.dll prodcfg_x64.dll PdfJoinPlugin_x64.api; do cp "$planted/planted.dll" "$here/$name"; done
cp "$planted/Program.exe" "$drive/Program.exe"
library=
# A library set aside goes back, however the test ends.
trap '[ -n "$library" ] && [ -e "$here/aside" ] && rm -f "$product/$library" && mv "$here/aside" "$product/$library"
      rm -rf "$here" "$drive/Program.exe" "$drive/Program.exe.ran"' EXIT
export VPDF_TRACE_LOG="$here_win\\trace.log"

# verb | a line of what changed that shows the command's result
while IFS='|' read -r verb result; do
  out=$(cd "$here" && timeout 120 /usr/lib/wine/wine64 "$host" $verb </dev/null 2>/dev/null | tr -d '\r')
  code=$?
  [ $code = 0 ] || fail "$verb: the client host ended with $code"
  grep -q -E "^  $result" <<<"$out" || fail "$verb: no \"$result\" among what changed:"$'\n'"$out"
  grep -q -E '^  run usagestats\.exe ' <<<"$out" || fail "$verb: the usage helper did not run"
  records=$(grep -c -a '|' "$here/trace.log" 2>/dev/null)
  [ "${records:-0}" -gt 0 ] || fail "$verb: no log record was written"
  rm -f "$here/trace.log"
done <<'ROWS'
createpdf merge dms 3 1 2 4|stored 9001 v1 "Contract draft" pdf, 5 pages
createpdf single local|run printpdfagent\.exe /p "%TEMP%\\Meeting notes\.txt"
newpdf file|stored 9001 v1 "content1001" pdf, 1 pages
newpdf scan|stored 9001 v1 "" pdf, 1 pages
sendpdf|run mailpdfagent\.exe /mail /files
openinpro|run varnelpdf\.exe ".*1005_1\.pdf"
openincnv|run vpdfassist\.exe "%TEMP%\\ss_#\.txt" /tempfile
ROWS

ran=$(cd "$drive" && find . -name '*.ran' | sort)
[ -z "$ran" ] || fail "planted code ran: $ran"

# library | what takes its place (nothing, or another library) | "told" (the message above, and
# nothing stored or left in the temporary folder) or a line of what changed | the one message
# the user reads with that change, if any | error records | other records written. Without the
# configuration library the print agent's folder is unknown: only the XPS document is converted,
# and the user is told that the other three were left out.
merge() { (cd "$here" && timeout 120 /usr/lib/wine/wine64 "$host" createpdf merge dms 3 1 2 4 </dev/null 2>/dev/null | tr -d '\r'); }
told='  Ostrel Varnel PDF: The PDF files cannot be merged: the file PdfJoinPlugin_x64.api was not found in the folder %PRODUCT%\\\. Nothing was saved\. -> OK'
while IFS='|' read -r library substitute expected said errors others; do
  mv "$product/$library" "$here/aside" || exit 1
  [ -n "$substitute" ] && cp "$product/$substitute" "$product/$library"
  out=$(merge)
  rm -f "$product/$library"; mv "$here/aside" "$product/$library"
  row="$library${substitute:+ as $substitute}"
  case $expected in told) want="$told\$" unwanted='^  (stored|temp \+)';; *) want="  $expected" unwanted='^  (temp \+)';; esac
  grep -q -E "^$want" <<<"$out" || fail "$row: no \"$want\":"$'\n'"$out"
  grep -q -E "$unwanted" <<<"$out" && fail "$row: $(grep -E "$unwanted" <<<"$out" | head -1)"
  if [ -n "$said" ]; then
    [ "$(grep -c -E '^  Ostrel Varnel PDF:' <<<"$out")" = 1 ] && grep -q -F "  Ostrel Varnel PDF: $said -> OK" <<<"$out" ||
      fail "$row: not the one message \"$said\":"$'\n'"$out"
  elif [ "$expected" != told ]; then
    grep -q -E '^  Ostrel Varnel PDF:' <<<"$out" && fail "$row: $(grep -E '^  Ostrel Varnel PDF:' <<<"$out" | head -1)"
  fi
  [ "$(cat "$here/trace.log" 2>/dev/null | grep -a -c '^2|')" = "$errors" ] || fail "$row: error records: $(grep -a '^2|' "$here/trace.log" 2>/dev/null)"
  if [ "$others" = none ]; then [ ! -s "$here/trace.log" ] || fail "$row: a log was written"
  else grep -q -a '^0|' "$here/trace.log" || fail "$row: no log record"; fi
  rm -f "$here/trace.log"
done <<'ROWS'
traceDiag.dll||stored 9001 v1 "Contract draft" pdf, 5 pages||0|none
prodcfg_x64.dll||stored 9001 v1 "Floor plan" pdf, 2 pages|3 of 4 documents could not be converted and were left out.|3|some
PdfJoinPlugin_x64.api||told||1|some
PdfJoinPlugin_x64.api|traceDiag.dll|told||1|some
ROWS
[ $status = 0 ] && echo "7 commands run as installed; nothing planted ran; missing libraries as expected"
exit $status
