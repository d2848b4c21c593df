// Where a command of the add-in runs on the testbed: the product pointed at the testbed's
// install folder, usage events on by policy, every registry value of the run put back
// afterwards, the helpers' journal and failure controls, a working folder (%WORK%) for the
// documents' contents, the DMS documents and the client's context items, and what changed
// (Changes). The tests' command fixture and the client host's sample world are made of it.
//
//   harness::CommandWorld world(L"createpdf");
//   tb::Document* memo = world.Doc(L"Memo", L"txt");
//   world.Select(context, L"SelectedNRTDocuments", {memo});
//   ... Update, Execute with a harness::Answerer ...
//   std::wstring effects = world.Effects();   // Changes::Render after the helpers finished
#pragma once
#include <windows.h>

#include <string>
#include <system_error>
#include <vector>

#include "IManExt.h"
#include "testbed/agents/journal.h"
#include "testbed/dms/tbdms.h"
#include "testbed/harness/changes.h"
#include "testbed/registry/registry_sandbox.h"

namespace harness {

inline constexpr wchar_t kRunProductKey[] = L"Software\\Ostrel\\PDF\\V1";
inline constexpr wchar_t kRunProductKey32[] = L"Software\\Wow6432Node\\Ostrel\\PDF\\V1";
inline constexpr wchar_t kRunConfigKey[] = L"Software\\VarnelTestbed\\Config";
inline constexpr wchar_t kRunPolicyKey[] = L"Software\\Policies\\Ostrel\\VarnelPDF 5.1\\Preferences";

// The keys a run writes that do not exist yet (removed again afterwards).
tbreg::KeyList MissingRunKeys();

// The running processes with this executable name that this process started.
std::vector<DWORD> ChildProcesses(const wchar_t* exeName);
// Waits (up to 15 s in all) until they are gone; false when one still runs then.
bool WaitForChildren(const wchar_t* exeName);

std::string ReadBytes(const std::wstring& path);
void WriteText(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
// The quoted pieces of a command line, in order.
std::vector<std::wstring> QuotedParts(const std::wstring& line);

// Context items, as the client fills them.
HRESULT AddItem(IContextItems* items, const wchar_t* name, VARIANT& value);  // clears `value`
// An object item (VT_DISPATCH or VT_UNKNOWN), the item holding its own reference.
HRESULT AddItem(IContextItems* items, const wchar_t* name, IDispatch* object, VARTYPE type = VT_DISPATCH);
HRESULT Select(IContextItems* items, const wchar_t* name, const std::vector<IDispatch*>& objects);
// An item of the selection's type whose array cannot be read.
HRESULT SelectUnreadable(IContextItems* items, const wchar_t* name);
// The value of context item `name` as the add-in left it; VT_EMPTY when there is none.
VARIANT ContextItem(IContextItems* items, const wchar_t* name);
// Whether the command asked the client to refresh its view.
bool Refreshed(IContextItems* items);

class CommandWorld {
 public:
  struct Options {
    std::wstring user = L"jdoe", sessionId = L"DMSSRV", database = L"ACTIVE";
  };
  // `workName`: the working folder's name in %TEMP% (made by CreateWork, removed at the end).
  explicit CommandWorld(const std::wstring& workName);
  CommandWorld(const std::wstring& workName, Options options);
  ~CommandWorld();
  CommandWorld(const CommandWorld&) = delete;
  CommandWorld& operator=(const CommandWorld&) = delete;

  // The product's UI language for every component kind (the configuration stand-in).
  void SetUILanguage(DWORD language);
  // The working folder made new (what an earlier, killed run left goes first), and removed:
  // a file the command still holds open there is an error.
  bool CreateWork();
  std::error_code RemoveWork();
  // A path in the working folder.
  std::wstring Work(const std::wstring& name) const { return work + L"\\" + name; }

  tb::Session* Session();
  tb::Database* Database();
  // A document whose content is a new file in the working folder (number 0: the next one
  // from 1001); watched by `changes`, released with the world.
  tb::Document* Doc(const std::wstring& name, const std::wstring& extension,
                    const std::string& content = "content\r\n", long number = 0,
                    const std::wstring& typeName = L"");
  tb::Document* Keep(tb::Document* document);
  tb::AutoObject* Keep(tb::AutoObject* object);
  // Releases every object the world holds (before a check of the live objects).
  void Release();

  // A new case in the same world: the journal, the helpers' failure controls and the client's
  // command scripts and runs cleared; now is the new "before" of Effects.
  void Reset();
  // Waits for the helpers that the add-in does not wait for: a line "still running <helper>"
  // for each one still running after the wait.
  std::wstring Settle() const;
  // What changed since the world was made (or changes.Restart()), once the helpers are done
  // (after the lines of Settle when they are not).
  std::wstring Effects() const;

  // Declared first: removed last, after the values inside them are put back.
  tbreg::Sandbox newKeys{MissingRunKeys(), true};
  tbreg::Value installPath{HKEY_LOCAL_MACHINE, kRunProductKey, L"InstallPath"};
  tbreg::Value installPath32{HKEY_LOCAL_MACHINE, kRunProductKey32, L"InstallPath", KEY_WOW64_32KEY};
  tbreg::Value configPath{HKEY_CURRENT_USER, kRunConfigKey, L"InstallPath"};
  tbreg::Value collectData{HKEY_LOCAL_MACHINE, kRunPolicyKey, L"CollectData"};
  tbreg::Value collectDataUser{HKEY_CURRENT_USER, kRunPolicyKey, L"CollectData"};
  tbreg::Value analyticsMachine{HKEY_LOCAL_MACHINE, kRunProductKey, L"AnalyticsEnabled"};
  tbreg::Value analyticsUser{HKEY_CURRENT_USER, kRunProductKey, L"AnalyticsEnabled"};
  tbreg::Value uiLanguage[3] = {{HKEY_CURRENT_USER, kRunConfigKey, L"UILanguage0"},
                                {HKEY_CURRENT_USER, kRunConfigKey, L"UILanguage1"},
                                {HKEY_CURRENT_USER, kRunConfigKey, L"UILanguage2"}};
  testbed::ScopedAgentControls controls;
  testbed::AgentJournal journal;
  std::wstring work;
  Changes changes{&journal};

 private:
  Options m_options;
  tb::Session* m_session = nullptr;
  tb::Database* m_database = nullptr;
  std::vector<IDispatch*> m_owned;
};

}  // namespace harness
