#!/bin/sh
# `clienthost createpdf single local` twice (the host given as $1, in the build's prefix): each
# document's PDF is saved under one name, so the second run meets the system's "replace?"
# question for all four; the host answers Yes and the run writes a new file.
result=createpdf-result.pdf status=0
host=$1
run() { timeout 120 /usr/lib/wine/wine64 "$host" createpdf single local 2>/dev/null | tr -d '\r' >$1 || { cat $1; echo "$1: the run failed"; exit 1; }; }
run first.out && touch -d 2001-01-01 $result && run second.out
questions=$(grep -c 'File already exists. Do you want to replace it? -> Yes$' second.out)
[ "$questions" = 4 ] || { cat second.out; echo "replace questions answered: $questions, not 4"; status=1; }
[ "$(stat -c %Y $result)" -gt "$(date -d 2001-01-02 +%s)" ] || { echo "$result was not written anew"; status=1; }
rm -f first.out second.out $result
exit $status
