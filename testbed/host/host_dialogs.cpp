// `clienthost dialogs`: one of the add-in's dialogs with sample documents, for a person to look
// at or for scripts/screenshots.sh to photograph. The templates and strings come from
// VPDFIManageAddon.dll beside this program (loaded as a resource module); nothing needs to be
// registered.
//
//   clienthost dialogs merge   [--lang OFFSET] [--extended] [--size WIDTHxHEIGHT] [--merge]
//   clienthost dialogs save    [--lang OFFSET] [--extended]
//   clienthost dialogs message [--lang OFFSET] [--language LANGID]
//   clienthost dialogs progress [--lang OFFSET] [--language LANGID]   (Create PDF, document 3 of 30)
//   common options:    [--ready FILE] [--close-when FILE]
//
// --size stores a window size for the merge dialog first (as a user's earlier resize would);
// --merge stores the merge choice. --language sets the product UI language that the message
// box reads (the testbed configuration library's kind-0 value). --ready writes the dialog's
// window rectangle "x y width height" to FILE once the dialog is on screen; --close-when
// closes the dialog (as Cancel, or No / OK in the message box) once FILE exists. The result
// and the order chosen are printed.
#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "convutils/resource.h"
#include "testbed/host/host.h"
#include "ui/how_to_save_dlg.h"
#include "ui/merge_sort_dlg.h"
#include "ui/message_box.h"
#include "ui/progress_window.h"

namespace {

constexpr wchar_t kSubkey[] = L"iManage Work";
constexpr wchar_t kSettingsKey[] = L"Software\\Ostrel\\PDF\\V1\\iManage Work";

std::wstring g_readyFile, g_closeFile;
bool g_readyWritten = false;

HWND VisibleDialog() {
  struct Search {
    HWND found = nullptr;
  } search;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM lParam) -> BOOL {
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if ((wcscmp(name, L"#32770") == 0 || wcscmp(name, vpdf::kProgressWindowClass) == 0) &&
            IsWindowVisible(window)) {
          reinterpret_cast<Search*>(lParam)->found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void CALLBACK Watch(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = VisibleDialog();
  if (!dialog) return;
  if (!g_readyFile.empty() && !g_readyWritten) {
    RECT rect{};
    GetWindowRect(dialog, &rect);
    if (FILE* file = _wfopen(g_readyFile.c_str(), L"w")) {
      fprintf(file, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
              rect.bottom - rect.top);
      fclose(file);
    }
    g_readyWritten = true;
  }
  if (!g_closeFile.empty() && GetFileAttributesW(g_closeFile.c_str()) != INVALID_FILE_ATTRIBUTES) {
    for (int id : {IDCANCEL, IDNO, IDOK}) {
      if (HWND button = GetDlgItem(dialog, id)) {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
        break;
      }
    }
  }
}

void StoreDword(const wchar_t* key, const wchar_t* name, DWORD value) {
  RegSetKeyValueW(HKEY_CURRENT_USER, key, name, REG_DWORD, &value, sizeof value);
}

// String `id` with its "%s" placeholders filled in from `a` and `b`, in that order.
std::wstring Format(HINSTANCE resources, UINT id, const wchar_t* a, const wchar_t* b) {
  wchar_t format[1024] = {};
  LoadStringW(resources, id, format, 1024);
  std::wstring text = format;
  for (const wchar_t* value : {a, b}) {
    std::size_t at = text.find(L"%s");
    if (!value || at == std::wstring::npos) break;
    text.replace(at, 2, value);
  }
  return text;
}

vpdf::doc_description_list SampleDocs() {
  const wchar_t* rows[][3] = {
      {L"Annual report 2025", L"100231", L"4"},
      {L"Board minutes March", L"100245", L"1"},
      {L"Supplier contract (draft)", L"100388", L"7"},
      {L"Budget overview Q3", L"100402", L"2"},
      {L"Letter to M\u00fcller & S\u00f6hne", L"100417", L"1"},
  };
  vpdf::doc_description_list docs;
  for (auto& row : rows)
    docs.push_back(std::make_shared<vpdf::doc_description>(L"n/a", row[0], L"DOCX", row[1],
                                                           row[2], L""));
  return docs;
}

int Usage() {
  fwprintf(stderr,
           L"usage: clienthost dialogs merge|save|message|progress [--lang OFFSET] [--extended]"
           L" [--size WxH] [--merge] [--language LANGID] [--ready FILE] [--close-when FILE]\n");
  return 2;
}

}  // namespace

namespace host {

int ShowDialog(int argc, wchar_t** argv) {
  if (argc < 3) return Usage();
  std::wstring verb = argv[2];
  int lang = 0;
  bool extended = false, merge = false;
  int width = 0, height = 0;
  int language = 0;
  for (int i = 3; i < argc; ++i) {
    std::wstring arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == L"--lang" && hasValue)
      lang = _wtoi(argv[++i]);
    else if (arg == L"--extended")
      extended = true;
    else if (arg == L"--merge")
      merge = true;
    else if (arg == L"--size" && hasValue && swscanf(argv[++i], L"%dx%d", &width, &height) == 2)
      continue;
    else if (arg == L"--language" && hasValue)
      language = _wtoi(argv[++i]);
    else if (arg == L"--ready" && hasValue)
      g_readyFile = argv[++i];
    else if (arg == L"--close-when" && hasValue)
      g_closeFile = argv[++i];
    else
      return Usage();
  }

  const std::wstring path = testbed::AddinPath();
  HINSTANCE resources = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!resources) {
    fwprintf(stderr, L"cannot load %ls as a resource module\n", path.c_str());
    return 1;
  }
  SetTimer(nullptr, 0, 200, Watch);

  if (verb == L"merge") {
    if (width > 0 && height > 0) StoreDword(kSettingsKey, L"merge_dialog_size", MAKELONG(width, height));
    StoreDword(kSettingsKey, L"do_merge", merge ? 1 : 0);
    auto docs = SampleDocs();
    vpdf::MergeSortDlg dialog(kSubkey, L"merge_dialog_size", extended, docs, lang, nullptr,
                              resources);
    INT_PTR result = dialog.DoModal();
    Print(L"result %d, merge %ls\n", static_cast<int>(result),
            dialog.merge_documents() ? L"yes" : L"no");
    for (const auto& record : dialog.output()) Print(L"  %ls\n", record->name.c_str());
    return 0;
  }
  if (verb == L"save") {
    std::wstring message =
        Format(resources, IDS_SAVE_QUESTION + lang, L"Annual report 2025.docx",
               L"Annual report 2025.pdf");
    vpdf::HowToSaveDlg dialog(kSubkey, message, extended, lang, nullptr, resources);
    INT_PTR result = dialog.DoModal();
    Print(L"result %d, decision %d, relate %ls\n", static_cast<int>(result), dialog.decision(),
            dialog.relate() ? L"yes" : L"no");
    return 0;
  }
  if (verb == L"message") {
    if (language)
      StoreDword(L"Software\\VarnelTestbed\\Config", L"UILanguage0", static_cast<DWORD>(language));
    std::wstring text = Format(resources, IDS_ALREADY_CHECKED + lang, L"jsmith", nullptr);
    int result = vpdf::VPDFMessageBox(nullptr, text.c_str(), nullptr, MB_YESNO | MB_ICONQUESTION);
    Print(L"result %d\n", result);
    return 0;
  }
  if (verb == L"progress") {
    if (language)
      StoreDword(L"Software\\VarnelTestbed\\Config", L"UILanguage0", static_cast<DWORD>(language));
    vpdf::ProgressWindow progress(IDS_CREATEPDF_MENU + static_cast<UINT>(lang), 30, lang, nullptr,
                                  resources);
    progress.Document(3, L"Budget 2026");
    progress.Step(vpdf::ProgressStep::kConverting);
    MSG message;
    while (!progress.WasCancelled() && GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Print(L"result %ls\n", progress.WasCancelled() ? L"cancelled" : L"closed");
    return 0;
  }
  return Usage();
}

}  // namespace host
