// ICommandImpl: the client's ICommand interface for every command of the add-in.
// It stores the properties the client reads and writes, gives the dual-interface
// dispatch from the client's IManExt type library, and reads and writes context items.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <memory>

#include "IManExt.h"
#include "commands/identity.h"
#include "commands/selected_items.h"
#include "convutils/comutil.h"
#include "outside/context_items.h"

namespace vpdf {

// Which entry a command object stands for: the menu and toolbar variant, or the
// context-menu variant (the "_CM" classes).
enum class Placement { kMenu, kContextMenu };

// The command a class belongs to; with its placement it picks the class's row of the command
// table (commands/command_identity.h).
enum class CommandFamily {
  kCreatePDF,
  kNewPdfFromFile,
  kNewPdfFromScanner,
  kSendPDFEMail,
  kOpenInPro,
  kOpenInCnv
};

inline constexpr GUID LIBID_IManExt = {
    0x7583B91A, 0x3857, 0x11D2, {0xAC, 0xDF, 0x00, 0xA0, 0xC9, 0x70, 0xF4, 0x9D}};
inline constexpr IID IID_ICommand2 = {
    0x62B13AF2, 0x8354, 0x11D3, {0x80, 0x9A, 0x00, 0xC0, 0x4F, 0x79, 0x0E, 0x87}};
inline constexpr IID IID_ICommand3 = {
    0x152C3FB0, 0x2D42, 0x4F06, {0x9A, 0x17, 0x21, 0xAD, 0x98, 0xF7, 0x79, 0x80}};

enum CommandStatus : LONG { kEnabled = 0, kDisabled = 1 };
inline constexpr LONG kStatusMask = 0x3120B;
inline constexpr LONG kMaxCommandKind = 8;

class ICommandImpl : public ICommand, public ISupportErrorInfo {
 public:
  ICommandImpl();
  ICommandImpl(const ICommandImpl&) = delete;
  ICommandImpl& operator=(const ICommandImpl&) = delete;
  virtual ~ICommandImpl();

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

  // ICommand
  STDMETHODIMP get_Name(BSTR* value) override;
  STDMETHODIMP put_Name(BSTR value) override;
  STDMETHODIMP get_DescriptionText(BSTR* value) override;
  STDMETHODIMP put_DescriptionText(BSTR value) override;
  STDMETHODIMP get_CommandKind(LONG* value) override;
  STDMETHODIMP put_CommandKind(LONG value) override;
  STDMETHODIMP get_Status(LONG* value) override;
  STDMETHODIMP put_Status(LONG value) override;
  STDMETHODIMP get_Tag(LONG* value) override;
  STDMETHODIMP put_Tag(LONG value) override;
  STDMETHODIMP get_MenuText(BSTR* value) override;
  STDMETHODIMP put_MenuText(BSTR value) override;
  STDMETHODIMP get_Bitmap(VARIANT* value) override;
  STDMETHODIMP put_Bitmap(VARIANT value) override;
  STDMETHODIMP get_Accelerator(LONG* value) override;
  STDMETHODIMP put_Accelerator(LONG value) override;
  STDMETHODIMP get_HelpText(BSTR* value) override;
  STDMETHODIMP put_HelpText(BSTR value) override;
  STDMETHODIMP get_AuxText(BSTR* value) override;
  STDMETHODIMP put_AuxText(BSTR value) override;
  STDMETHODIMP get_AuxValue(LONG* value) override;
  STDMETHODIMP put_AuxValue(LONG value) override;
  STDMETHODIMP get_Context(IContextItems** value) override;
  STDMETHODIMP get_SubCommands(ICommands** value) override;
  STDMETHODIMP putref_SubCommands(ICommands* value) override;
  STDMETHODIMP Initialize(IContextItems* value) override;
  // The client's calls: each command's OnUpdate and OnExecute, and nothing they throw.
  STDMETHODIMP Update() final;
  STDMETHODIMP Execute() final;
  STDMETHODIMP get_LargeBitmap(VARIANT* value) override;
  STDMETHODIMP put_LargeBitmap(VARIANT value) override;
  STDMETHODIMP get_AuxText2(BSTR* value) override;
  STDMETHODIMP put_AuxText2(BSTR value) override;
  STDMETHODIMP get_SmallIcon(VARIANT* value) override;
  STDMETHODIMP put_SmallIcon(VARIANT value) override;
  STDMETHODIMP get_LargeIcon(VARIANT* value) override;
  STDMETHODIMP put_LargeIcon(VARIANT value) override;
  STDMETHODIMP get_AuxFlag(short* value) override;
  STDMETHODIMP put_AuxFlag(short value) override;

  // ISupportErrorInfo
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

 protected:
  // Recomputes the status from the context; the base changes nothing.
  virtual HRESULT OnUpdate() { return S_OK; }
  // The command's work; the base does nothing.
  virtual HRESULT OnExecute() { return S_OK; }

  // Reads context item `name` and hands its value to the caller, who then owns
  // any string, interface or array in it. `value` points at storage of the
  // expected type (a VARIANT for VT_VARIANT and the array types).
  HRESULT GetContextValue(const wchar_t* name, VARTYPE expectedType, void* value);
  // Writes `value`, read as `type`, under `name`; the collection keeps its own copy.
  HRESULT SetContextValue(const wchar_t* name, VARTYPE type, const void* value);

  IContextItems* ContextItems() const { return m_context.Get(); }
  // GetContextValue as a reader for the helpers that take one.
  ContextReader ContextRead();

  // The language and client kind this command was made for (SharedCommandEnvironment), kept
  // while the command lives.
  const CommandEnvironment& Environment();

  // Puts the row of `family` at `placement` on this object (name, description, accelerator,
  // kind, status, texts of the UI language, images) and returns the language offset.
  int TakeIdentity(CommandFamily family, Placement placement);

  // The selection and its bounds: "SelectedNRTDocuments", else "SelectedIManObjects", and
  // the latter also when the former holds an empty array. S_FALSE when no selection or its
  // bounds can be read; the failure when the read after an empty array fails. `fault`, when
  // given, says which step failed.
  HRESULT ReadSelection(Variant& selection, LONG& lower, LONG& upper,
                        SelectionFault* fault = nullptr);
  // The status for that selection: enabled when `accept` takes the type extension of every
  // element (SelectionStatus). False when ReadSelection gives S_FALSE: the status stays.
  bool SelectionStatusOf(bool (*accept)(const std::wstring& extension), LONG& status);

 private:
  ULONG m_refs = 0;
  LONG m_accelerator = 0;
  Variant m_bitmap;
  ComPtr<IContextItems> m_context;
  Bstr m_auxText;
  LONG m_auxValue = 0;
  Bstr m_helpText;
  Bstr m_menuText;
  Bstr m_name;
  LONG m_tag = 0;
  LONG m_status = kDisabled;
  Bstr m_descriptionText;
  LONG m_commandKind = 0;
  ComPtr<ICommands> m_subCommands;
  Variant m_largeBitmap;
  Bstr m_auxText2;
  Variant m_smallIcon;
  Variant m_largeIcon;
  short m_auxFlag = 0;
  std::shared_ptr<const CommandEnvironment> m_environment;
  CommandImages m_images;  // the images handed to the client
};

// The creatable class of a command at one placement: `C<X>` and `C<X>_CM` add nothing else.
template <class Command, Placement kPlacement>
class PlacedCommand final : public Command {
 public:
  PlacedCommand() : Command(kPlacement) {}
};

}  // namespace vpdf

namespace vpdf {

// Forgets the client library's type information (at detach).
void ReleaseCommandTypeInfo();

}  // namespace vpdf
