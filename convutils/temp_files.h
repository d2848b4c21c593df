// Names for the local files that the commands work on: a numbered working folder with a
// cleaned-up document name inside it, the local path of one DMS document, and a unique name
// in the user's temporary folder with a PDF or XPS extension. Nothing here creates the file
// that it names; the caller writes it and deletes it again.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "outside/dms.h"

namespace vpdf {

// Every name the add-in makes from DMS data (a document's name, extension, database or user)
// goes through this before it becomes part of a local path: the characters \/:*?"<>| and
// control characters become '_', so do trailing points and spaces; a reserved device name (CON,
// PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9, LPT1-9, with any extension) gets a '_' in front. The
// result is one file name that stays in the folder it is put into; empty stays empty.
std::wstring SafeFileName(std::wstring_view name);

// A document's name as the user reads it in a file name (the title of a new document, the save
// question, the name offered for a local save): the characters \/:*?"<>| and control characters
// removed, "dml" when nothing is left. Never a path: the numbering and '_' stay on disk.
std::wstring ShownFileName(std::wstring_view name);

// `stem` cut so that folder + stem + tail fits in `maxPath` characters (254 for the files of a
// run) and stem + tail in one file name (255), never in the middle of a character outside the
// Basic Multilingual Plane; empty when not even one character of the stem fits.
std::wstring FitStem(std::size_t folderLength, const std::wstring& stem, const std::wstring& tail,
                     std::size_t maxPath = 254);

// A file that this run created. Its owner deletes it when it goes, unless it was handed on:
// clean-up touches nothing that the add-in did not make.
class OwnedFile {
 public:
  OwnedFile() = default;
  explicit OwnedFile(std::wstring path) : m_path(std::move(path)) {}
  OwnedFile(OwnedFile&& other) noexcept : m_path(other.Release()) {}
  OwnedFile& operator=(OwnedFile&& other) noexcept;
  OwnedFile(const OwnedFile&) = delete;
  OwnedFile& operator=(const OwnedFile&) = delete;
  ~OwnedFile() { Delete(); }

  const std::wstring& Path() const { return m_path; }
  bool Empty() const { return m_path.empty(); }
  // Deletes the file now (read-only or not), and the working folder of CreateWithFolder that
  // held it when nothing else is left there.
  void Delete();
  // Deletes the empty file that holds the name but keeps the name, for a writer that does not
  // replace files (the client's GetCopy); the writer's file is owned in its place.
  void MakeRoom() {
    if (!m_path.empty()) DeleteFileW(m_path.c_str());
  }
  // Someone else (a helper, the editor, the user) has the file now.
  std::wstring Release();

 private:
  std::wstring m_path;
};

// Deletes a file of this run as OwnedFile::Delete does; nothing when `path` is empty.
void DeleteRunFile(const std::wstring& path);

// Creates a new, empty file folder + stem + extension, or with "001", "002", ... after the stem
// ("1000", ...) when that name is taken: never a file that was there before, and never out of
// names. `folder` ends with a backslash; stem and extension are safe names (the stem is cut to
// fit, see FitStem). Gives up at the first failure other than a taken name: the result is then
// empty.
OwnedFile CreateNewFile(const std::wstring& folder, const std::wstring& stem,
                        const std::wstring& extension);

// A new file named like `path` with `extension` in place of its own, numbered when taken.
OwnedFile CreateNewFileBeside(const std::wstring& path, const std::wstring& extension);

// Folder (with its backslash), stem and extension (with its point) of a path; the point of the
// extension is looked for in the file name only.
void SplitPath(const std::wstring& path, std::wstring& folder, std::wstring& stem,
               std::wstring& extension);

class CTemporaryFile {
 public:
  // `path` is a buffer of MAX_PATH characters. On entry it holds a base folder or is empty;
  // the base is that folder when `useGivenFolder` is set and it is a writable folder, else
  // the user's temporary folder. A new working folder base + folderPrefix + "001" (the next
  // number of a process-wide counter that no existing folder has) is created, and on return
  // `path` holds working folder + "\" + SafeFileName(fileName) ("1" when empty), its stem cut
  // to 254 characters in all keeping the extension. The file is not created.
  // The working folder goes with the last file an OwnedFile deletes in it.
  // When no working folder could be made, `path` is empty and the result false; when the
  // temporary folder is unknown, `path` is left as it is and the result false.
  static bool CreateWithFolder(wchar_t* path, const wchar_t* fileName, const wchar_t* folderPrefix,
                               bool useGivenFolder);
};

// A new local file for a copy of `document`: its safe name ("dml" when empty), a point and
// `extension` lower-cased and made safe (the document's own extension when `extension` is
// null). With "TEMP_FOLDER_PATH" of section "WorkSite" in the DMS profile ini naming an
// existing folder, the file goes into a new working folder "iman<number>" inside it (see
// CreateWithFolder); otherwise into the user's temporary folder. Made by CreateNewFile, so
// "001", "002", ... go before the point when the name is taken. Fails with the error of
// reading the document, or when no file could be made; `file` is then empty.
HRESULT MakeDocumentTempPath(const dms::Document& document, OwnedFile& file,
                             const wchar_t* extension = nullptr);
// The same name, only found free, for a writer that makes the file itself and never replaces
// one (the client's GetCopy): no empty file to make and delete again. The working folder is
// made as above; `path` is empty on failure.
HRESULT FindDocumentTempPath(const dms::Document& document, std::wstring& path,
                             const wchar_t* extension = nullptr);

// A new path ...\ss_XXXX<ext> in the user's temporary folder, lower-case except the
// extension, written to `out` (`capacity` characters). The extension is taken from the last
// point of `input` when it is ".pdf", ".xps" or ".oxps" in any case (and keeps that case),
// is ".pdf" for any other extension or an empty or null input, and is none when `input` has
// no point. No file of that name exists on success: the caller creates it. False when the
// temporary folder is unknown, the result does not fit, or 10 tries found no free name.
bool MakeTempFileNameWithExt(const wchar_t* input, wchar_t* out, std::size_t capacity);

}  // namespace vpdf
