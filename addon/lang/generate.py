#!/usr/bin/env python3
"""Writes the add-in's localised resources, one .rc file per language, from translations.py.

    python3 addon/lang/generate.py          # (re)write addon/lang/lang_<code>.rc and all.rc
    python3 addon/lang/generate.py --check  # fail when a file is stale or a translation is wrong

Each file holds the language's string table (English id + offset) and its two dialog
templates 307 and 333 (+ offset). Before writing, every translation is checked against the
English text: the same printf placeholders in the same order, the same number of "&" mnemonics,
the same "\\t" shortcut, the same number of line breaks and the same text after a zero
character (the pattern of a file dialog filter).
"""
import pathlib
import re
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
from translations import ENGLISH, LANGUAGES  # noqa: E402

# Strings whose text is that of another id in every language.
ALIASES = {308: 311, 309: 312}

PLACEHOLDER = re.compile(r"%[-+ #0]*\d*(?:\.\d+)?(?:hh|h|ll|l|I64|I32|I)?[diouxXeEfgGcsSp%]")


def signature(text):
    """What a translation must keep of the English text."""
    mnemonics = len(re.findall(r"&(?!&)", text.replace("&&", "")))
    shortcut = text.split("\t", 1)[1] if "\t" in text else None
    after_zero = text.split("\0", 1)[1] if "\0" in text else None
    return {
        "placeholders": PLACEHOLDER.findall(text),
        "mnemonics": mnemonics,
        "shortcut": shortcut,
        "line breaks": text.count("\n"),
        "after zero": after_zero,
    }


def check(code, texts):
    errors = []
    for key in ENGLISH:
        if key not in texts:
            errors.append(f"{code}: {key} missing")
            continue
        want, got = signature(ENGLISH[key]), signature(texts[key])
        for part in want:
            if want[part] != got[part]:
                errors.append(f"{code}: {key}: {part} {got[part]!r}, English has {want[part]!r}")
    for key in texts:
        if key not in ENGLISH:
            errors.append(f"{code}: {key} is not an English text")
    return errors


def rc_string(text):
    out = []
    for c in text:
        if c == "\\":
            out.append("\\\\")
        elif c == '"':
            out.append('""')
        elif c == "\n":
            out.append("\\n")
        elif c == "\t":
            out.append("\\t")
        elif c == "\0":
            out.append("\\0")
        else:
            out.append(c)
    return '"' + "".join(out) + '"'


def string_table(texts, offset):
    ids = sorted([k for k in texts if isinstance(k, int)] + list(ALIASES))
    lines = ["STRINGTABLE", "BEGIN"]
    for string_id in ids:
        text = texts[ALIASES.get(string_id, string_id)]
        lines.append(f"  {string_id + offset:<5} {rc_string(text)}")
    lines.append("END")
    return lines


def dialog_head(dialog_id, offset, size, style, caption, font, rtl):
    lines = [f"{dialog_id + offset} DIALOGEX 0, 0, {size[0]}, {size[1]}", f"STYLE {style}"]
    if rtl:
        lines.append("EXSTYLE WS_EX_LAYOUTRTL")
    lines += [f"CAPTION {rc_string(caption)}", f'FONT {font[0]}, "{font[1]}", 400, 0, 0x1']
    return lines


def how_to_save_dialog(t, offset, font, rtl):
    s = lambda key: rc_string(t["dlg307." + key])  # noqa: E731
    radio, check_box = '"Button", BS_AUTORADIOBUTTON', '"Button", BS_AUTOCHECKBOX'
    return dialog_head(307, offset, (320, 127),
                       "DS_SETFONT | DS_FIXEDSYS | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU",
                       t["dlg307.caption"], font, rtl) + [
        "BEGIN",
        '  LTEXT         "", IDC_MESSAGE, 7, 7, 306, 36',
        f"  CONTROL       {s('206')}, IDC_SAVE_NEW_DOCUMENT, {radio} | WS_GROUP | WS_TABSTOP, 14, 48, 292, 10",
        f"  CONTROL       {s('203')}, IDC_RELATE, {check_box} | WS_TABSTOP, 26, 60, 280, 10",
        f"  CONTROL       {s('207')}, IDC_SAVE_NEW_VERSION, {radio}, 14, 74, 292, 10",
        f"  CONTROL       {s('204')}, IDC_SAVE_LOCAL, {radio}, 14, 88, 292, 10",
        f"  DEFPUSHBUTTON {s('ok')}, IDOK, 209, 106, 50, 14, WS_GROUP",
        f"  PUSHBUTTON    {s('cancel')}, IDCANCEL, 263, 106, 50, 14",
        "END",
    ]


def merge_sort_dialog(t, offset, font, rtl):
    s = lambda key: rc_string(t["dlg333." + key])  # noqa: E731
    radio, check_box = '"Button", BS_AUTORADIOBUTTON', '"Button", BS_AUTOCHECKBOX'
    list_style = "LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP"
    return dialog_head(333, offset, (350, 270),
                       "DS_SETFONT | DS_FIXEDSYS | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME",
                       t["dlg333.caption"], font, rtl) + [
        "BEGIN",
        f"  LTEXT         {s('210')}, IDC_QUESTION, 7, 7, 336, 10",
        f"  CONTROL       {s('218')}, IDC_SINGLE, {radio} | WS_GROUP | WS_TABSTOP, 14, 20, 322, 10",
        f"  CONTROL       {s('217')}, IDC_MERGE, {radio}, 14, 32, 322, 10",
        f"  LTEXT         {s('212')}, IDC_ORDER_HINT, 7, 48, 280, 10",
        f"  PUSHBUTTON    {s('214')}, IDC_UP, 293, 60, 50, 14, WS_GROUP",
        f"  PUSHBUTTON    {s('215')}, IDC_DOWN, 293, 78, 50, 14",
        f'  CONTROL       "", IDC_FILE_LIST, "SysListView32", {list_style}, 7, 60, 280, 116',
        f"  GROUPBOX      {s('group')}, -1, 7, 182, 336, 62",
        f"  CONTROL       {s('250')}, IDC_MERGE_SAVE_NEW_DOCUMENT, {radio} | WS_GROUP | WS_TABSTOP, 16, 196, 318, 10",
        f"  CONTROL       {s('252')}, IDC_MERGE_SAVE_NEW_VERSION, {radio}, 16, 226, 318, 10",
        f"  CONTROL       {s('251')}, IDC_MERGE_RELATE, {check_box} | WS_GROUP | WS_TABSTOP, 28, 211, 306, 10",
        f"  DEFPUSHBUTTON {s('ok')}, IDOK, 239, 250, 50, 14, WS_GROUP",
        f"  PUSHBUTTON    {s('cancel')}, IDCANCEL, 293, 250, 50, 14",
        "END",
    ]


def rc_file(code, name, offset, language, font, rtl, texts):
    lines = [
        f"// {name} resources of the add-in (ids: English + {offset}).",
        "// Generated by addon/lang/generate.py from addon/lang/translations.py: edit those, not this.",
        "#pragma code_page(65001)",
        "#include <windows.h>",
        "#include <commctrl.h>",
        '#include "convutils/resource.h"',
        "",
        f"LANGUAGE 0x{language & 0x3FF:02X}, 0x{language >> 10:02X}  // language id 0x{language:04X}",
        "",
    ]
    lines += string_table(texts, offset) + [""]
    lines += how_to_save_dialog(texts, offset, font, rtl) + [""]
    lines += merge_sort_dialog(texts, offset, font, rtl)
    return "\n".join(lines) + "\n"


def main():
    check_only = "--check" in sys.argv[1:]
    errors = []
    offsets = [entry[2] for entry in LANGUAGES]
    if len(set(offsets)) != len(offsets) or len(LANGUAGES) != 21:
        errors.append("21 languages with distinct offsets expected")
    for code, name, offset, language, font, rtl, texts in LANGUAGES:
        errors += check(code, texts)
        path = HERE / f"lang_{code}.rc"
        content = rc_file(code, name, offset, language, font, rtl, texts)
        if check_only:
            if not path.exists() or path.read_text(encoding="utf-8") != content:
                errors.append(f"{path.name} is not what generate.py writes: run it")
        elif not errors:
            path.write_text(content, encoding="utf-8")
    index = HERE / "all.rc"
    index_content = "".join(
        ["// Every language's resources (generated by generate.py).\n"]
        + [f'#include "lang/lang_{entry[0]}.rc"\n' for entry in LANGUAGES])
    if check_only:
        if not index.exists() or index.read_text(encoding="utf-8") != index_content:
            errors.append(f"{index.name} is not what generate.py writes: run it")
    elif not errors:
        index.write_text(index_content, encoding="utf-8")
    for error in errors:
        print(error, file=sys.stderr)
    if not errors:
        print(f"{len(LANGUAGES)} languages {'checked' if check_only else 'written'}")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
