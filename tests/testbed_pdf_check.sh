#!/usr/bin/env bash
# Runs testbed_pdf_tests under Wine, then checks on the Linux side every PDF sample it
# kept (the PDF library, rasterpdf64.dll, the merge plug-in):
# `qpdf --check` must accept it, pdfinfo must count the expected pages and pdftotext
# must find the expected text. Usage: testbed_pdf_check.sh <testbed_pdf_tests.exe> [gtest args]
set -uo pipefail
exe=$1; shift
samples=$(dirname "$exe")/testbed-pdf-samples
rm -rf "$samples" && mkdir -p "$samples"
export VPDF_PDF_SAMPLES="Z:$(realpath "$samples" | tr / '\\')"
/usr/lib/wine/wine64 "$exe" "$@"
status=$?
count=0
for expect in "$samples"/*.expect; do
  [ -e "$expect" ] || continue
  pdf=${expect%.expect}.pdf
  name=$(basename "$pdf")
  count=$((count + 1))
  if ! out=$(qpdf --check "$pdf" 2>&1); then
    echo "FAIL $name: qpdf --check"; echo "$out"; status=1; continue
  fi
  if grep -qi "warning" <<<"$out"; then
    echo "FAIL $name: qpdf warns"; echo "$out"; status=1
  fi
  want=$(head -n 1 "$expect")
  pages=$(pdfinfo "$pdf" 2>&1 | awk '/^Pages:/ {print $2}')
  if [ "$pages" != "$want" ]; then
    echo "FAIL $name: pdfinfo counts '$pages' pages, expected $want"; status=1
  fi
  text=$(pdftotext -enc UTF-8 "$pdf" - 2>&1)
  while IFS= read -r line; do
    if ! grep -qF -- "$line" <<<"$text"; then
      echo "FAIL $name: pdftotext does not show '$line'"; status=1
    fi
  done < <(tail -n +2 "$expect")
  echo "checked $name: $pages pages"
done
if [ "$count" -lt 3 ]; then
  echo "FAIL: only $count PDF samples were kept"; status=1
fi
exit $status
