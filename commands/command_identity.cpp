#include "commands/command_identity.h"

#include <iterator>

#include "convutils/resource.h"
#include "convutils/resource_library.h"

namespace vpdf {
namespace {

constexpr LogSource kCreatePdfLog("PDFConverter\\VPDFIManageAddon\\CreatePDF");
constexpr LogSource kNewPdfLog("PDFConverter\\VPDFIManageAddon\\CreateNewPDF");
constexpr LogSource kSendPdfLog("PDFConverter\\VPDFIManageAddon\\SendPDFEMail");
constexpr LogSource kOpenLog("PDFConverter\\VPDFIManageAddon\\OpenPDF");

constexpr wchar_t kListDescription[] = L"List the documents which are selected.";
constexpr Placement kMenu = Placement::kMenu;
constexpr Placement kContext = Placement::kContextMenu;

// The New PDF commands name their class once, in the language record.
constexpr IdentityRecords NewPdfRecords(const char* language) {
  return {nullptr, language, "put_Name : %S m_langOffset : %d ", "bstrMenuText : %S  ",
          "put_HelpText : %S  ", nullptr, nullptr, nullptr, nullptr, nullptr};
}

// The description of the editor and the conversion tool is a string that no language holds:
// the property stays empty. The Send PDF and editor pairs share one name.
constexpr CommandRow kCommandTable[] = {
    {CommandFamily::kCreatePDF, kMenu, L"RPDFIManAddon.CreatePDF", kListDescription, 0, L'C',
     false, IDS_CREATEPDF_MENU, IDS_CREATEPDF_HELP, 14560, 14570, 12761, 14111, 12761,
     &kCreatePdfLog,
     {"CCreatePDF::CCreatePDF()", "CCreatePDF::DetectUILanguage %d", "CCreatePDF::put_Name %S",
      "CCreatePDF::put_MenuText %S", "CCreatePDF::put_HelpText %S", "CCreatePDF::put_Bitmap ",
      "CCreatePDF::put_LargeBitmap ", "CCreatePDF::put_SmallIcon ", "CCreatePDF::put_LargeIcon ",
      nullptr}},
    {CommandFamily::kCreatePDF, kContext, L"RPDFIManAddon.CreatePDF_CM", kListDescription, 0,
     L'C', false, IDS_CREATEPDF_MENU, IDS_CREATEPDF_HELP, 14560, 14570, 14111, 14111, 14111,
     &kCreatePdfLog,
     {"CCreatePDF_CM::CCreatePDF_CM()", "CCreatePDF_CM::DetectUILanguage %d",
      "CCreatePDF_CM::put_Name %S", "CCreatePDF_CM::put_MenuText %S",
      "CCreatePDF_CM::put_HelpText %S", "CCreatePDF_CM::put_Bitmap ",
      "CCreatePDF_CM::put_LargeBitmap ", "CCreatePDF_CM::put_SmallIcon ",
      "CCreatePDF_CM::put_LargeIcon ", nullptr}},
    {CommandFamily::kNewPdfFromFile, kMenu, L"RPDFIManAddon.CreateNewPDFFile", kListDescription,
     0, L'F', false, IDS_NEWPDF_FILE_MENU, IDS_NEWPDF_FILE_HELP, 14560, 14570, 0, 0, 0,
     &kNewPdfLog,
     NewPdfRecords("CCreateNewPDFFromFile::CCreateNewPDFFromFile m_langOffset : %d")},
    {CommandFamily::kNewPdfFromFile, kContext, L"RPDFIManAddon.CreateNewPDFFile_CM",
     kListDescription, 0, L'F', false, IDS_NEWPDF_FILE_MENU, IDS_NEWPDF_FILE_HELP, 14560, 14570,
     0, 0, 0, &kNewPdfLog,
     NewPdfRecords("CCreateNewPDFFromFile_CM::CCreateNewPDFFromFile_CM m_langOffset : %d")},
    {CommandFamily::kNewPdfFromScanner, kMenu, L"RPDFIManAddon.CreateNewPDFScan",
     kListDescription, 0, L'A', false, IDS_NEWPDF_SCAN_MENU, IDS_NEWPDF_SCAN_HELP, 14580, 14590,
     0, 0, 0, &kNewPdfLog,
     NewPdfRecords("CCreateNewPDFFromScanner::CCreateNewPDFFromScanner m_langOffset : %d")},
    {CommandFamily::kNewPdfFromScanner, kContext, L"RPDFIManAddon.CreateNewPDFScan_CM",
     kListDescription, 0, L'A', false, IDS_NEWPDF_SCAN_MENU, IDS_NEWPDF_SCAN_HELP, 14580, 14590,
     0, 0, 0, &kNewPdfLog,
     NewPdfRecords("CCreateNewPDFFromScanner_CM::CCreateNewPDFFromScanner_CM m_langOffset : %d")},
    {CommandFamily::kSendPDFEMail, kMenu, L"RPDFIManAddon.SendPDFEMail", kListDescription, 0,
     L'S', false, IDS_SENDPDFEMAIL_MENU, IDS_SENDPDFEMAIL_HELP, 14620, 14630, 0, 0, 0,
     &kSendPdfLog,
     {"CSendPDFEMail::CSendPDFEMail()", "CSendPDFEMail::DetectUILanguage %d",
      "CSendPDFEMail::put_Name %S", "CSendPDFEMail::put_MenuText %S",
      "CSendPDFEMail::put_HelpText %S", "CSendPDFEMail::put_Bitmap ", nullptr, nullptr, nullptr,
      nullptr}},
    {CommandFamily::kSendPDFEMail, kContext, L"RPDFIManAddon.SendPDFEMail", kListDescription, 0,
     L'S', false, IDS_SENDPDFEMAIL_MENU, IDS_SENDPDFEMAIL_HELP, 14620, 14630, 0, 0, 0,
     &kSendPdfLog,
     {"CSendPDFEMail_CM::CSendPDFEMail_CM()", "CSendPDFEMail_CM::DetectUILanguage %d",
      "CSendPDFEMail_CM::put_Name %S", "CSendPDFEMail_CM::put_MenuText %S",
      "CSendPDFEMail_CM::put_HelpText %S", "CSendPDFEMail_CM::put_Bitmap ", nullptr, nullptr,
      nullptr, nullptr}},
    {CommandFamily::kOpenInPro, kMenu, L"RPDFIManAddon.OpenInPro", nullptr,
     IDS_OPENINPRO_DESCRIPTION, L'P', true, IDS_OPENINPRO_MENU, IDS_OPENINPRO_HELP, 14640, 14650,
     0, 0, 0, &kOpenLog,
     {"COpenInPro::COpenInPro()", "COpenInPro::DetectUILanguage %d", "COpenInPro::put_Name %S",
      "COpenInPro::put_MenuText %S", "COpenInPro::put_HelpText %S", "COpenInPro::put_Bitmap ",
      nullptr, nullptr, nullptr, "COpenInPro SUCCESS key.Open"}},
    {CommandFamily::kOpenInPro, kContext, L"RPDFIManAddon.OpenInPro", nullptr,
     IDS_OPENINPRO_DESCRIPTION, L'P', true, IDS_OPENINPRO_MENU, IDS_OPENINPRO_HELP, 14640, 14650,
     0, 0, 0, &kOpenLog,
     {"COpenInPro_CM::COpenInPro_CM()", "COpenInPro_CM::DetectUILanguage %d",
      "COpenInPro_CM::put_Name %S", "COpenInPro_CM::put_MenuText %S",
      "COpenInPro_CM::put_HelpText %S", "COpenInPro_CM::put_Bitmap ", nullptr, nullptr, nullptr,
      "COpenInPro_CM SUCCESS key.Open"}},
    {CommandFamily::kOpenInCnv, kMenu, L"RPDFIManAddon.OpenInCnv", nullptr,
     IDS_OPENINCNV_DESCRIPTION, L'W', false, IDS_OPENINCNV_MENU, IDS_OPENINCNV_HELP, 14600, 14610,
     0, 0, 0, &kOpenLog, {}},
    {CommandFamily::kOpenInCnv, kContext, L"RPDFIManAddon.OpenInCnv_CM", nullptr,
     IDS_OPENINCNV_DESCRIPTION, L'W', false, IDS_OPENINCNV_MENU, IDS_OPENINCNV_HELP, 14600, 14610,
     0, 0, 0, &kOpenLog, {}},
};

// Writes `text` (when there is one) with `args`; the line is this file's.
template <class... Args>
void Record(const CommandRow& row, const char* text, Args... args) {
  if (text) row.log->Trace(text, args...);
}

}  // namespace

const CommandRow& CommandRowOf(CommandFamily family, Placement placement) {
  for (const CommandRow& row : kCommandTable)
    if (row.family == family && row.placement == placement) return row;
  return kCommandTable[0];  // every family has both placements
}

int ICommandImpl::TakeIdentity(CommandFamily family, Placement placement) {
  const CommandRow& row = CommandRowOf(family, placement);
  const IdentityRecords& records = row.records;
  Record(row, records.entered);
  const CommandEnvironment& environment = Environment();
  const bool menu = placement == Placement::kMenu;
  const int langOffset = environment.langOffset;
  Record(row, records.language, langOffset);

  Bstr name(row.name);
  put_Name(name.Get());
  Record(row, records.name, name.c_str(), langOffset);
  Bstr description = row.description ? Bstr(row.description)
                                     : Bstr::Adopt(LoadResString(row.descriptionId + langOffset));
  put_DescriptionText(description.Get());
  // The menu variant's accelerator and image depend on the client's version.
  const bool ribbon = menu && environment.ribbon;
  if (!ribbon) put_Accelerator(AcceleratorFor(row.accelerator));
  if (!row.kindFromProductKey) put_CommandKind(1);
  put_Status(kDisabled);

  Bstr menuText = Bstr::Adopt(LoadResString(row.menuId + langOffset));
  put_MenuText(menuText.Get());
  Record(row, records.menuText, menuText.c_str());
  Bstr helpText = Bstr::Adopt(LoadResString(row.helpId + langOffset));
  put_HelpText(helpText.Get());
  Record(row, records.helpText, helpText.c_str());

  // The classic image in the mail client's host and in a classic client (UseClassicImages);
  // the context-menu variant always has the classic image, scaled.
  const int bitmapId =
      !menu || environment.outlookHost || !ribbon ? row.classicBitmap : row.ribbonBitmap;
  put_Bitmap(*m_images.Keep(CopyOfCachedImage(bitmapId, !menu || ribbon, false)).Get());
  Record(row, records.bitmap);

  if (row.largeBitmap) {
    put_LargeBitmap(*m_images.Keep(CopyOfCachedImage(row.largeBitmap, true, true)).Get());
    Record(row, records.largeBitmap);
    put_SmallIcon(*m_images.Keep(CopyOfCachedImage(row.smallIcon, true, true)).Get());
    Record(row, records.smallIcon);
    put_LargeIcon(*m_images.Keep(CopyOfCachedImage(row.largeIcon, true, true)).Get());
    Record(row, records.largeIcon);
  }

  // The editor's kind tells whether the product is installed on this machine.
  if (row.kindFromProductKey) {
    if (environment.productKey) Record(row, records.productKey);
    put_CommandKind(environment.productKey ? 1 : 0);
  }
  return langOffset;
}

}  // namespace vpdf
