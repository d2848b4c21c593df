#!/bin/bash
# Lists includes that reach a folder of the add-in at the same level or above the including
# file's own; exits 1 when there is any. Order from the bottom:
#   outside -> convutils -> dms, ui -> commands -> addon
cd "$(dirname "$0")/.." || exit 2
level() {
    case "$1" in
        outside) echo 0 ;; convutils) echo 1 ;; dms|ui) echo 2 ;; commands) echo 3 ;; addon) echo 4 ;;
        *) echo -1 ;;
    esac
}
found=0
while IFS=: read -r file line text; do
    from=${file%%/*}
    to=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^">]*)[">].*/\1/' <<<"$text")
    to=${to%%/*}
    [ "$(level "$to")" -lt 0 ] || [ "$from" = "$to" ] && continue
    if [ "$(level "$to")" -ge "$(level "$from")" ]; then
        echo "$file:$line: $from -> $to: $(sed -E 's/^[[:space:]]+//' <<<"$text")"
        found=1
    fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<](outside|convutils|dms|ui|commands|addon)/' \
             outside convutils dms ui commands addon)
exit $found
