// The local working copy of one DMS document: where it lies (a temporary file, the client's
// portable folder, or the user's temporary folder under the document's name), how it gets
// there (checked out, or copied, read-only or not), the files beside it that the editor needs,
// and the release of everything this run made for it unless it is handed on.
#pragma once
#include <windows.h>

#include <string>

#include "convutils/temp_files.h"
#include "outside/dms.h"

namespace vpdf {

enum class CopyPlace {
  kTemporary,   // a new file for the document in TEMP_FOLDER_PATH or the user's temporary
                // folder, with its type's extension (MakeDocumentTempPath)
  kPortable,    // its path in the client's portable folder (DocCreate)
  kTempFolder,  // a new file in the user's temporary folder under the document's copy name
};

enum class CopyAccess {
  kCheckOut,  // checked out to the path (CheckOutForEditing)
  kReadOnly,  // a copy (GetCopy) marked read-only
  kCopy,      // a copy (GetCopy)
};

struct CopyMode {
  CopyPlace place;
  CopyAccess access;
};

class WorkingCopy {
 public:
  WorkingCopy() = default;
  WorkingCopy(WorkingCopy&& other) noexcept;
  WorkingCopy& operator=(WorkingCopy&&) = delete;
  WorkingCopy(const WorkingCopy&) = delete;
  WorkingCopy& operator=(const WorkingCopy&) = delete;
  // Releases what is not handed on: the check-out while the document is still checked out,
  // then the companion files and the copy this run made.
  ~WorkingCopy();

  // Locate, then check out or fetch as `mode` says. Answers the failure of the step that
  // failed; Path() is empty when no path could be built.
  HRESULT Make(const dms::Document& document, CopyMode mode);

  // The path at `place`, and the file when the place makes one (owned). Fails with the error
  // of reading the document, or when no path can be built: Path() is then empty. kTempFolder
  // raises ComError when the document's name, extension or numbers cannot be read.
  HRESULT Locate(const dms::Document& document, CopyPlace place);
  // The copy is a file that is there already (somebody's check-out file): what Locate made goes.
  void UseExisting(const std::wstring& path);
  // Checks the document out to Path(); a check-out made here is released unless handed on.
  HRESULT CheckOut();
  // Checks `document` out to `path`, a file of the caller's (not deleted here).
  HRESULT CheckOutTo(const dms::Document& document, const std::wstring& path);
  // Fetches the document's content into Path() (the place's empty file makes room first),
  // read-only when asked. A file that was not there before is owned.
  HRESULT Fetch(bool readOnly);

  // The link file beside a temporary copy (its name with the extension "crx") tells the
  // editor where to check the document in. One that is already there is kept: it belongs to
  // an earlier open of the same copy. A link file made here is owned.
  void WriteLinkFile(const std::string& text);
  // The profile and ".mhc" files beside a portable copy (WriteDocumentProfile, WriteMhcFile).
  void WriteProfileFiles();

  // The copy itself stays whatever happens next.
  void KeepFile() { m_file.Release(); }
  // Somebody else (the editor, the client, a helper) has the copy, its check-out and its
  // companions now.
  void Keep();

  const std::wstring& Path() const { return m_path; }

 private:
  dms::Document m_document;
  std::wstring m_path;
  OwnedFile m_file;  // the copy, when this run made it
  OwnedFile m_link;  // the link file, when this run made it
  bool m_checkedOut = false;
};

// Checks `document` out to `path` the way the add-in always does: mode 1, due back four hours
// from now, no comment, option 2, the product's name as the application.
HRESULT CheckOutForEditing(const dms::Document& document, const std::wstring& path);

// The application extension of the document's type; "pdf" when it cannot be read or is empty.
std::wstring TypeExtension(const dms::Document& document);

}  // namespace vpdf
