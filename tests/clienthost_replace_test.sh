#!/bin/sh
# `clienthost createpdf single local` twice (from build/bin, in the build's prefix): each
# document's PDF is saved under one name, so every save after the first one of the first run
# meets the system's "replace?" question. The host answers Yes and the run succeeds: the
# second run answers it four times and writes a new file.
result=createpdf-result.pdf
run() { timeout 120 /usr/lib/wine/wine64 clienthost.exe createpdf single local 2>/dev/null | tr -d '\r'; }
run >first.out || { cat first.out; echo "the first run failed"; exit 1; }
touch -d 2001-01-01 $result
run >second.out || { cat second.out; echo "the second run failed"; exit 1; }
questions=$(grep -c 'File already exists. Do you want to replace it? -> Yes$' second.out)
status=0
[ "$questions" = 4 ] || { cat second.out; echo "replace questions answered: $questions, not 4"; status=1; }
[ "$(stat -c %Y $result)" -gt "$(date -d 2001-01-02 +%s)" ] || { echo "$result was not written anew"; status=1; }
rm -f first.out second.out $result
exit $status
