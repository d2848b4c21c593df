#!/usr/bin/env bash
# The add-in as an installation has it: the client host in the client's folder runs every
# command while its current folder holds libraries named like the product's three and the
# prefix holds a C:\Program.exe. Nothing planted may load or run (each leaves "<path>.ran"
# when it does), and every command has its usual effects: its result, its helpers started
# (the usage helper among them) and its log records written.
# Usage: installed_layout_test.sh <client host> <planted folder>   (WINEPREFIX set)
set -u
host=$1 planted=$2
drive=$WINEPREFIX/drive_c
here="$drive/users/Public/Documents/Planted folder" here_win='C:\users\Public\Documents\Planted folder'
status=0
fail() { echo "FAIL: $*"; status=1; }

rm -rf "$here" && mkdir -p "$here" || exit 1
for name in traceDiag.dll prodcfg_x64.dll PdfJoinPlugin_x64.api; do cp "$planted/planted.dll" "$here/$name"; done
cp "$planted/Program.exe" "$drive/Program.exe"
trap 'rm -rf "$here" "$drive/Program.exe" "$drive/Program.exe.ran"' EXIT
export VPDF_TRACE_LOG="$here_win\\trace.log"

# verb | a line of what changed that shows the command's result
while IFS='|' read -r verb result; do
  out=$(cd "$here" && timeout 120 /usr/lib/wine/wine64 "$host" $verb 2>/dev/null | tr -d '\r')
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
[ $status = 0 ] && echo "7 commands run as installed; nothing planted ran"
exit $status
