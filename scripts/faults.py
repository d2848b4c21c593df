#!/usr/bin/env python3
"""Small faults a user, an administrator or the DMS would notice, applied one at a time to the
add-in's code.

First the unchanged suite is built and run whole: when it fails, nothing else is tried. Then
for each fault: apply it to the source tree, build what the tests that should see it need, run
those tests, restore the file. A fault is caught when the build succeeds and a test fails;
when none of its own tests fails, the whole suite is built and run before it counts as not
caught. What a faulted run leaves in the prefix's temporary folders and on C:\\ is removed
before the next fault. Prints one line a fault with the tests that caught it, the count per kind and in all.

    python3 scripts/faults.py [--tree DIR] [--build DIR] [--no-baseline] [fault-id ...]
    python3 scripts/faults.py --check       # only whether every fault still applies
"""
import argparse
import collections
import os
import pathlib
import shutil
import stat
import subprocess
import sys
import time

CREATE, SEND, OPEN, IMPORT = "create_pdf_tests", "send_pdf_email_tests", "open_tests", "import_document_tests"

# Kinds: a value a happy-path row pins, a failure path, an argument the DMS or a helper receives,
# a language, a time, an administrator's setting.
# id, kind, what would be noticed, file, the text as it stands, the text with the fault, the tests
# that should see it.
FAULTS = [
    ("merge-order", "value", "merged pages after the first come in reverse order",
     "commands/createpdf/execute.cpp",
     "step = join->DoMerge2(handle, pdfs[i].c_str()",
     "step = join->DoMerge2(handle, pdfs[pdfs.size() - i].c_str()", [CREATE]),
    ("mail-batch", "value", "one mail more than the agent takes per message (31 instead of 30)",
     "convutils/conv_utils.cpp",
     "kMaxFilesPerMail = 30;", "kMaxFilesPerMail = 31;", [SEND]),
    ("mail-history", "value", "no history entry on a document sent by e-mail",
     "commands/mail/send_pdf.cpp",
     "converted[i].document.AddHistory(kHistorySent, kApplicationName, comment.Str());",
     "(void)comment;", [SEND]),
    ("merge-temp-left", "value", "the converted PDFs of a merge stay in the temporary folder",
     "commands/createpdf/execute.cpp",
     "state.pdfFiles.push_back(std::move(c.pdf));", "c.pdf.Release();", [CREATE]),
    ("print-view-flag", "value", "the print agent shows the PDF when told not to, and the other way round",
     "convutils/conv_utils.cpp",
     "(viewResult ? L\"/viewpdf\" : L\"/noviewpdf\")",
     "(viewResult ? L\"/noviewpdf\" : L\"/viewpdf\")", [SEND]),
    ("link-file", "value", "the editor's link file has a wrong separator after the document number",
     "commands/open/open_in_pro.cpp",
     "std::to_string(number.value) + \"@@@@@\"",
     "std::to_string(number.value) + \"@@@@\"", [OPEN]),
    ("newpdf-refresh", "value", "the client's view is not refreshed after a new PDF from a file",
     "commands/newpdf/new_pdf_from_file.cpp",
     "SetContextValue(L\"iManExt.Refresh\", VT_BOOL, &refresh);", "(void)refresh;", ["new_pdf_tests"]),
    ("setting-type", "value", "numeric settings are written as REG_BINARY instead of REG_DWORD",
     "convutils/settings.cpp",
     "RegSetValueExW(key.Get(), m_valueName, 0, REG_DWORD,",
     "RegSetValueExW(key.Get(), m_valueName, 0, REG_BINARY,", ["settings_tests"]),
    ("language-offset", "value", "a German product shows French texts",
     "convutils/language.cpp",
     "case 0x0407: return kGerman;", "case 0x0407: return kFrench;", ["identity_tests"]),
    ("createpdf-on-pdf", "value", "Create PDF is offered for documents that are PDFs already",
     "commands/createpdf/selection.cpp",
     "return !SameTextNoCase(extension, L\"PDF\") && !SameTextNoCase(extension, L\"MSG\");",
     "return !SameTextNoCase(extension, L\"MSG\");", ["availability_tests"]),
    ("register-openinpro", "value", "the editor command is missing from the client's document context menu",
     "addon/open_commands.cpp",
     "Modify(site, L\"-\", L\"-,RPDFIManAddon.OpenInPro_CM\", false);", "", ["registration_tests"]),
    ("cnv-list-delete", "value", "the conversion tool is told to keep the copies it was handed",
     "commands/open/conversion_tool.cpp",
     "WriteList(list, L\"\\nDelete=1\\n\")", "WriteList(list, L\"\\nDelete=0\\n\")", [OPEN]),
    ("accelerator", "value", "Create PDF's menu accelerator is P instead of C",
     "commands/command_identity.cpp",
     "L\"RPDFIManAddon.CreatePDF\", kListDescription, 0, L'C',",
     "L\"RPDFIManAddon.CreatePDF\", kListDescription, 0, L'P',", ["identity_tests"]),

    # Failure paths.
    ("checkout-kept", "failure", "a failed new version leaves the target document checked out",
     "dms/working_copy.cpp",
     "if (still.Ok() && still.value) m_document.UnlockDocument();", "(void)still;", [CREATE, OPEN]),
    ("checkin-failed-kept", "failure", "a check-in that fails for good leaves the document checked out",
     "commands/createpdf/save_result.cpp",
     "checkedOut.UnlockDocument();\n      kLog.Trace(\"NewVersionCheckIn() return DML_FAIL\");",
     "kLog.Trace(\"NewVersionCheckIn() return DML_FAIL\");", [CREATE]),
    ("checkin-no-retry", "failure", "a failed check-in is not tried again through the client's dialog",
     "commands/createpdf/save_result.cpp",
     "SetShowProfileForCheckin(true);", "SetShowProfileForCheckin(false);", [CREATE]),
    ("merge-refused-goes-on", "failure", "a merge the plug-in refused is merged and stored all the same",
     "commands/createpdf/execute.cpp",
     "kLog.Trace(\"InitPDFAttach() %d\", result);\n  if (result != 0) return result;",
     "kLog.Trace(\"InitPDFAttach() %d\", result);", [CREATE]),
    ("uncopied-printed", "failure", "a document that could not be copied out is handed to the print agent",
     "commands/createpdf/execute.cpp",
     "kLog.Warning(\"pSelectedDoc->GetCopy() failed\");\n    c.copy.Delete();\n    return c;",
     "kLog.Warning(\"pSelectedDoc->GetCopy() failed\");\n    c.copy.Delete();", [CREATE]),
    ("empty-print-taken", "failure", "a print agent that wrote no PDF counts as a conversion",
     "convutils/conv_utils.cpp",
     "kLog.Error(\"Print failed\");\n      } else if (IsPdfOutput(outputPath)) {",
     "kLog.Error(\"Print failed\");\n      } else if (outputPath) {", [SEND, CREATE]),
    ("cancel-agent-runs", "failure", "Cancel leaves the print agent of the run running",
     "convutils/conv_utils.cpp",
     "TerminateProcess(process.Get(), ERROR_CANCELLED);", "", [SEND, CREATE]),
    ("progress-stale", "value", "the progress window keeps showing the document before once a change waited for its timer",
     "ui/progress_window.cpp",
     "if (wParam == kRefreshTimer) {\n          self->Repaint();",
     "if (wParam == kRefreshTimer) {\n          (void)self;", [CREATE]),
    ("convtool-rest-untold", "failure", "an element that is no document leaves the rest unopened without a word",
     "commands/open/conversion_tool.cpp",
     "outcome.Failed(IDS_REASON_UNEXPECTED, static_cast<int>(upper - i + 1));",
     "(void)upper;", [OPEN]),
    ("bounds-untold", "failure", "a selection whose bounds cannot be read ends Create PDF without a word",
     "commands/createpdf/execute.cpp",
     "if (BoundsUnreadable(fault)) outcome.Failed(IDS_REASON_UNEXPECTED);", "(void)fault;", [CREATE]),
    ("failed-print-mailed", "failure", "a document whose conversion failed is mailed and marked as sent",
     "commands/mail/send_pdf.cpp",
     "if (!progress.Cancelled()) outcome.LeftOut();\n          continue;",
     "if (!progress.Cancelled()) outcome.LeftOut();", [SEND]),
    ("cancel-mails", "failure", "Send PDF mails what it converted before Cancel",
     "commands/mail/send_pdf.cpp",
     "result = S_OK;\n        return;  // the PDFs go with their list", "result = S_OK;", [SEND]),
    ("mail-unstarted-sent", "failure", "documents are marked as sent when the mail agent did not start",
     "convutils/conv_utils.cpp",
     "if (!process) {\n        kLog.Error(\"ShellExecuteEx returned false\");\n      } else if (WaitPumpingMessages",
     "if (process && WaitPumpingMessages", [SEND]),
    ("mail-wait-sent", "failure", "documents are marked as sent when the wait for the mail agent failed",
     "convutils/conv_utils.cpp",
     "} else if (WaitPumpingMessages(process.Get()) != WAIT_OBJECT_0) {",
     "} else if (WaitPumpingMessages(process.Get()) == WAIT_OBJECT_0 + 99) {", [SEND]),
    ("editor-failed-kept", "failure", "an editor that did not start leaves the document checked out",
     "commands/open/open_in_pro.cpp",
     "if (!LaunchPDFPro(copy.Path())) {", "if (!LaunchPDFPro(copy.Path())) {\n    copy.Keep();", [OPEN]),
    ("uncopied-asked", "failure", "the read-only question comes for a document that could not be copied",
     "commands/open/open_in_pro.cpp",
     "if (FAILED(copied)) return copied;", "(void)copied;", [OPEN]),
    ("import-checkin-failed", "failure", "a new document whose check-in failed is related and the view refreshed",
     "commands/import_document.cpp",
     "kLog.Error(\"ImportNewDocument() CheckIn failed, hr: 0x%08X\", static_cast<unsigned>(hr));\n      return hr;",
     "kLog.Error(\"ImportNewDocument() CheckIn failed, hr: 0x%08X\", static_cast<unsigned>(hr));", [IMPORT]),

    # What the DMS or a helper receives.
    ("sent-activity", "argument", "the history entry of a mailed document has activity 12, not 11",
     "commands/mail/send_pdf.cpp",
     "constexpr LONG kHistorySent = 11;", "constexpr LONG kHistorySent = 12;", [SEND]),
    ("created-activity", "argument", "the history entries of a new related document have activity 10, not 9",
     "commands/import_document.h",
     "kHistoryActivity = 9;", "kHistoryActivity = 10;", [CREATE, IMPORT]),
    ("xps-options", "argument", "the image library is given other conversion options for an XPS to mail",
     "commands/mail/send_pdf.cpp",
     "pdf.Path().c_str(), 15, 0, 0);", "pdf.Path().c_str(), 14, 0, 0);", [SEND]),
    ("print-mail-switch", "argument", "the print agent is told to mail where it should print, and back",
     "convutils/conv_utils.cpp",
     "(mailSwitch ? L\"/m\" : L\"/p\")", "(mailSwitch ? L\"/p\" : L\"/m\")", [SEND]),
    ("mail-files-switch", "argument", "the mail agent is given its files behind a switch it does not know",
     "convutils/conv_utils.cpp",
     "L\" /mail /files \"", "L\" /mail /file \"", [SEND]),
    ("checkout-replace", "argument", "the editor's check-out does not replace the local file",
     "dms/working_copy.cpp",
     "kReplaceExisting = 1;", "kReplaceExisting = 0;", [OPEN]),
    ("checkin-disposition", "argument", "a new version checked in directly replaces the original version",
     "commands/createpdf/save_result.cpp",
     "direct.CheckInEx(pdfPath, 0, 0,", "direct.CheckInEx(pdfPath, 2, 0,", [CREATE]),
    ("import-disposition", "argument", "a silently imported PDF is checked in as a new version of itself",
     "commands/import_document.cpp",
     "created.CheckInEx(path, 3, 0,", "created.CheckInEx(path, 0, 0,", [IMPORT, CREATE]),
    ("import-kept-out", "argument", "a new document made through the profile dialog stays checked out",
     "commands/import_document.cpp",
     "L\"IManExt.Import.KeepCheckedOut\", Variant::Bool(false)",
     "L\"IManExt.Import.KeepCheckedOut\", Variant::Bool(true)", [IMPORT]),
    ("import-folder", "argument", "a new document is not filed in the folder of its source",
     "commands/createpdf/save_result.cpp",
     "if (count.value <= 0) return {};", "if (count.value <= 1) return {};", [IMPORT, CREATE]),
    ("copy-format", "argument", "the DMS is asked for a copy in another than the native format",
     "outside/dms.cpp",
     "args.push_back(Variant::Long(0));\n  return Call(member::kGetCopy",
     "args.push_back(Variant::Long(1));\n  return Call(member::kGetCopy", [OPEN]),

    # Languages.
    ("history-new-language", "language", "the new document's history is English for a German user",
     "commands/createpdf/save_result.cpp",
     "ResString(IDS_HISTORY_NEW + m_langOffset)", "ResString(IDS_HISTORY_NEW)", [CREATE]),
    ("history-source-language", "language", "the sources' history is English for a German user",
     "commands/createpdf/save_result.cpp",
     "ResString(IDS_HISTORY_SOURCE + m_langOffset)", "ResString(IDS_HISTORY_SOURCE)", [CREATE]),
    ("save-question-language", "language", "the save question follows the product's language",
     "commands/createpdf/save_result.cpp",
     "ResString(IDS_SAVE_QUESTION_MERGED + g_questionLanguageOffset)",
     "ResString(IDS_SAVE_QUESTION_MERGED + m_langOffset)", [CREATE]),
    ("progress-title-language", "language", "Create PDF's progress window is titled in English for a German user",
     "commands/createpdf/execute.cpp",
     "ProgressWindow progress(IDS_CREATEPDF_MENU + m_langOffset,",
     "ProgressWindow progress(IDS_CREATEPDF_MENU,", [CREATE]),
    ("readonly-language", "language", "the editor's read-only question is English for a German user",
     "commands/open/open_in_pro.cpp",
     "LoadResString(IDS_ALREADY_CHECKED + m_langOffset)", "LoadResString(IDS_ALREADY_CHECKED)", [OPEN]),
    ("sent-language", "language", "the history of a mailed document is English for a German user",
     "commands/mail/send_pdf.cpp",
     "LoadResString(IDS_HISTORY_SENT + m_langOffset)", "LoadResString(IDS_HISTORY_SENT)", [SEND]),

    # Time.
    ("due-hours", "time", "a check-out for editing is due after three hours instead of four",
     "dms/working_copy.cpp",
     "kDueIn = 1.0 / 6;", "kDueIn = 1.0 / 8;", [OPEN, CREATE]),
    ("due-utc", "time", "a check-out's due time is counted from UTC instead of the local clock",
     "dms/working_copy.cpp",
     "GetLocalTime(&now);", "GetSystemTime(&now);", [CREATE]),
    ("edit-start-local", "time", "the profile file's edit start is the local time, not UTC",
     "dms/document_profile.cpp",
     "LocalFileTimeToFileTime(&localFile, &utcFile)", "(utcFile = localFile, true)", ["dms_services_tests"]),
    ("zone-daylight", "time", "the profile file's time-zone span ignores daylight saving time",
     "dms/document_profile.cpp",
     "bias = tzi.DaylightBias;", "bias = tzi.StandardBias;", ["dms_services_tests"]),

    # Administrator settings.
    ("use-temp-for-open", "setting", "USE_TEMP_FOR_OPEN=1 does not open documents from the temporary folder",
     "dms/client_options.cpp",
     "L\"USE_TEMP_FOR_OPEN\", 0) > 0;", "L\"USE_TEMP_FOR_OPEN\", 0) > 1;", [OPEN]),
    ("temp-folder-path", "setting", "a configured TEMP_FOLDER_PATH is not used for the run's copies",
     "convutils/temp_files.cpp",
     "read_string(L\"WorkSite\", L\"TEMP_FOLDER_PATH\", L\"\")",
     "read_string(L\"WorkSite\", L\"TEMP_FOLDER\", L\"\")", [SEND]),
]

MINIMUM = {"failure": 10, "argument": 6, "language": 4, "time": 2, "setting": 2}


def run(cmd, cwd, log):
    with open(log, "a") as out:
        out.write(f"$ {' '.join(cmd)}\n")
        out.flush()
        return subprocess.run(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT).returncode


def failed_tests(build):
    """The tests of ctest's last run that failed."""
    listing = build / "Testing" / "Temporary" / "LastTestsFailed.log"
    if not listing.exists():
        return []
    return [line.split(":", 1)[1].strip() for line in listing.read_text().splitlines() if ":" in line]


def temp_entries(build):
    """What is in the build's Wine prefix where runs make files: C:\\ (the client's default
    portable folder) and the temporary folders."""
    drive = build / "wineprefix" / "drive_c"
    return set(drive.glob("*")) | set(drive.glob("users/*/Temp/*"))


def remove_new(build, kept):
    """Removes what a faulted run left there (read-only files too): the next fault's tests would
    fail on it whatever that fault does."""
    def writable(func, path, _):
        os.chmod(path, stat.S_IWRITE | stat.S_IREAD)
        func(path)
    for entry in temp_entries(build) - kept:
        if entry.is_dir():
            shutil.rmtree(entry, onerror=writable)
        else:
            entry.chmod(stat.S_IWRITE | stat.S_IREAD)
            entry.unlink()


def suite(build, tree, log, tests=None):
    """Builds what `tests` need (everything without them), runs them; None when the build failed,
    else the tests that failed."""
    targets = ["--target", "VPDFIManageAddon", *tests] if tests else []
    if run(["cmake", "--build", str(build), "-j2", *targets], tree, log) != 0:
        return None
    listing = build / "Testing" / "Temporary" / "LastTestsFailed.log"
    listing.unlink(missing_ok=True)
    chosen = ["-R", "^(" + "|".join(tests) + ")$"] if tests else []
    run(["ctest", "-j1", "--output-on-failure", *chosen], build, log)
    return failed_tests(build)


def main():
    top = pathlib.Path(__file__).resolve().parent.parent
    parser = argparse.ArgumentParser()
    parser.add_argument("--tree", default=str(top))
    parser.add_argument("--build", default=None)
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--no-baseline", action="store_true", help="skip the unchanged suite's run")
    parser.add_argument("ids", nargs="*")
    args = parser.parse_args()
    tree = pathlib.Path(args.tree)
    build = pathlib.Path(args.build) if args.build else tree / "build"
    chosen = [f for f in FAULTS if not args.ids or f[0] in args.ids]

    kinds = collections.Counter(f[1] for f in FAULTS)
    short = [f"{kind} {kinds[kind]} < {least}" for kind, least in MINIMUM.items() if kinds[kind] < least]
    missing = [f[0] for f in chosen if (tree / f[3]).read_text().count(f[4]) != 1]
    if missing:
        print("no longer applies (the text is not there once):", " ".join(missing))
    if short:
        print("too few faults of a kind:", ", ".join(short))
    if args.check:
        return 1 if missing or short else 0

    log = build / "faults.log"
    log.write_text("")
    if not args.no_baseline:
        started = time.time()
        failed = suite(build, tree, log)
        if failed is None or failed:
            print("the unchanged suite fails:", "build" if failed is None else " ".join(failed))
            return 1
        print(f"{'unchanged suite':24} passes       {time.time() - started:5.0f} s", flush=True)

    kept = temp_entries(build)
    caught = collections.Counter()
    tried = collections.Counter()
    for fid, kind, what, rel, old, new, tests in chosen:
        if fid in missing:
            continue
        path = tree / rel
        original = path.read_text()
        path.write_text(original.replace(old, new, 1))
        started = time.time()
        try:
            failed = suite(build, tree, log, tests)
            if failed == []:  # none of its own tests saw it: the whole suite has the last word
                remove_new(build, kept)
                failed = suite(build, tree, log)
        finally:
            path.write_text(original)
            remove_new(build, kept)
        verdict = "BUILD FAILED" if failed is None else "caught" if failed else "NOT CAUGHT"
        tried[kind] += 1
        caught[kind] += verdict == "caught"
        by = " ".join(failed or [])
        print(f"{fid:24} {verdict:12} {time.time() - started:5.0f} s  {kind:8} {what}"
              + (f"  [{by}]" if by else ""), flush=True)
    run(["cmake", "--build", str(build), "-j2"], tree, log)
    for kind in tried:
        print(f"{kind:9} caught {caught[kind]} of {tried[kind]}")
    total, all_tried = sum(caught.values()), sum(tried.values())
    print(f"caught {total} of {all_tried} faults")
    return 0 if total == all_tried and not missing else 1


if __name__ == "__main__":
    sys.exit(main())
