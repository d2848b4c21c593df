#!/usr/bin/env python3
"""Small faults a user would notice, applied one at a time to the add-in's code.

For each fault: apply it to the source tree, build, run the suite, restore the file.
A fault is caught when the build succeeds and the suite fails. Prints one line a fault
and the count at the end.

    python3 scripts/faults.py [--tree DIR] [--build DIR] [fault-id ...]
    python3 scripts/faults.py --check       # only whether every fault still applies
"""
import argparse
import pathlib
import subprocess
import sys
import time

# id, what a user would notice, file, the text as it stands, the text with the fault.
FAULTS = [
    ("merge-order", "merged pages after the first come in reverse order",
     "commands/createpdf/execute.cpp",
     "step = join->DoMerge2(handle, pdfs[i].c_str()",
     "step = join->DoMerge2(handle, pdfs[pdfs.size() - i].c_str()"),
    ("mail-batch", "one mail more than the agent takes per message (31 instead of 30)",
     "convutils/conv_utils.cpp",
     "kMaxFilesPerMail = 30;", "kMaxFilesPerMail = 31;"),
    ("mail-history", "no history entry on a document sent by e-mail",
     "commands/mail/send_pdf.cpp",
     "converted[i].document.AddHistory(kHistorySent, kApplicationName, comment.Str());",
     "(void)comment;"),
    ("merge-temp-left", "the converted PDFs of a merge stay in the temporary folder",
     "commands/createpdf/execute.cpp",
     "state.pdfFiles.push_back(std::move(c.pdf));", "c.pdf.Release();"),
    ("print-view-flag", "the print agent shows the PDF when told not to, and the other way round",
     "convutils/conv_utils.cpp",
     "(viewResult ? L\"/viewpdf\" : L\"/noviewpdf\")",
     "(viewResult ? L\"/noviewpdf\" : L\"/viewpdf\")"),
    ("link-file", "the editor's link file has a wrong separator after the document number",
     "commands/open/open_in_pro.cpp",
     "std::to_string(number.value) + \"@@@@@\"",
     "std::to_string(number.value) + \"@@@@\""),
    ("newpdf-refresh", "the client's view is not refreshed after a new PDF from a file",
     "commands/newpdf/new_pdf_from_file.cpp",
     "SetContextValue(L\"iManExt.Refresh\", VT_BOOL, &refresh);", "(void)refresh;"),
    ("setting-type", "numeric settings are written as REG_BINARY instead of REG_DWORD",
     "convutils/settings.cpp",
     "RegSetValueExW(key.Get(), m_valueName, 0, REG_DWORD,",
     "RegSetValueExW(key.Get(), m_valueName, 0, REG_BINARY,"),
    ("language-offset", "a German product shows French texts",
     "convutils/language.cpp",
     "case 0x0407: return kGerman;", "case 0x0407: return kFrench;"),
    ("createpdf-on-pdf", "Create PDF is offered for documents that are PDFs already",
     "commands/createpdf/selection.cpp",
     "return !SameTextNoCase(extension, L\"PDF\") && !SameTextNoCase(extension, L\"MSG\");",
     "return !SameTextNoCase(extension, L\"MSG\");"),
    ("checkout-kept", "a failed new version leaves the target document checked out",
     "commands/createpdf/save_result.cpp",
     "if (!done) checkedOut.UnlockDocument();", ""),
    ("register-openinpro", "the editor command is missing from the client's document context menu",
     "addon/open_commands.cpp",
     "Modify(site, L\"-\", L\"-,RPDFIManAddon.OpenInPro_CM\", false);", ""),
    ("cnv-list-delete", "the conversion tool is told to keep the copies it was handed",
     "commands/open/conversion_tool.cpp",
     "WriteList(list, L\"\\nDelete=1\\n\");", "WriteList(list, L\"\\nDelete=0\\n\");"),
    ("accelerator", "Create PDF's menu accelerator is P instead of C",
     "commands/command_identity.cpp",
     "L\"RPDFIManAddon.CreatePDF\", kListDescription, 0, L'C',",
     "L\"RPDFIManAddon.CreatePDF\", kListDescription, 0, L'P',"),
]


def run(cmd, cwd, log):
    with open(log, "a") as out:
        return subprocess.run(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT).returncode


def main():
    top = pathlib.Path(__file__).resolve().parent.parent
    parser = argparse.ArgumentParser()
    parser.add_argument("--tree", default=str(top))
    parser.add_argument("--build", default=None)
    parser.add_argument("--check", action="store_true")
    parser.add_argument("ids", nargs="*")
    args = parser.parse_args()
    tree = pathlib.Path(args.tree)
    build = pathlib.Path(args.build) if args.build else tree / "build"
    chosen = [f for f in FAULTS if not args.ids or f[0] in args.ids]

    missing = [f[0] for f in chosen if (tree / f[2]).read_text().count(f[3]) != 1]
    if missing:
        print("no longer applies (the text is not there once):", " ".join(missing))
    if args.check:
        return 1 if missing else 0

    log = build / "faults.log"
    log.write_text("")
    caught = 0
    tried = 0
    for fid, what, rel, old, new in chosen:
        if fid in missing:
            continue
        path = tree / rel
        original = path.read_text()
        path.write_text(original.replace(old, new, 1))
        started = time.time()
        try:
            if run(["cmake", "--build", str(build), "-j2"], tree, log) != 0:
                verdict = "BUILD FAILED"
            else:
                failed = run(["ctest", "--stop-on-failure", "-j1"], build, log) != 0
                verdict = "caught" if failed else "NOT CAUGHT"
        finally:
            path.write_text(original)
        tried += 1
        caught += verdict == "caught"
        print(f"{fid:20} {verdict:12} {time.time() - started:5.0f} s  {what}", flush=True)
    run(["cmake", "--build", str(build), "-j2"], tree, log)
    print(f"caught {caught} of {tried} faults")
    return 0 if caught == tried and not missing else 1


if __name__ == "__main__":
    sys.exit(main())
