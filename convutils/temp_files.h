// Names for the local files that the commands work on: a numbered working folder with a
// cleaned-up document name inside it, the local path of one DMS document, and a unique name
// in the user's temporary folder with a PDF or XPS extension. Nothing here creates the file
// that it names; the caller writes it and deletes it again.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

#include "outside/dms.h"

namespace vpdf {

class CTemporaryFile {
 public:
  // `path` is a buffer of MAX_PATH characters. On entry it holds a base folder or is empty;
  // the base is that folder when `useGivenFolder` is set and it is a writable folder, else
  // the user's temporary folder. A new working folder base + folderPrefix + "001" (the next
  // number of a process-wide counter that no existing folder has) is created, and on return
  // `path` holds working folder + "\" + fileName without the characters *?:"/\|<> ("1" when
  // nothing is left), cut to 254 characters keeping its extension. The file is not created.
  // When no working folder could be made, `path` is empty and the result false; when the
  // temporary folder is unknown, `path` is left as it is and the result false.
  static bool CreateWithFolder(wchar_t* path, const wchar_t* fileName, const wchar_t* folderPrefix,
                               bool useGivenFolder);
};

// The local path for a copy of `document`: its name without \/:*?"<>| ("dml" when nothing is
// left), a point and `extension` lower-cased (the document's own extension when `extension`
// is null). With "TEMP_FOLDER_PATH" of section "WorkSite" in the DMS profile ini naming an
// existing folder, the file goes into a new working folder "iman<number>" inside it (see
// CreateWithFolder); otherwise into the user's temporary folder, with "001", "002", ... put
// before the point when the name is taken. The file is not created. Fails with the error of
// reading the document, or when no working folder could be made; `path` is then empty.
HRESULT MakeDocumentTempPath(const dms::Document& document, std::wstring& path,
                             const wchar_t* extension = nullptr);

// A new path ...\ss_XXXX<ext> in the user's temporary folder, lower-case except the
// extension, written to `out` (`capacity` characters). The extension is taken from the last
// point of `input` when it is ".pdf", ".xps" or ".oxps" in any case (and keeps that case),
// is ".pdf" for any other extension or an empty or null input, and is none when `input` has
// no point. No file of that name exists on success: the caller creates it. False when the
// temporary folder is unknown, the result does not fit, or 10 tries found no free name.
bool MakeTempFileNameWithExt(const wchar_t* input, wchar_t* out, std::size_t capacity);

}  // namespace vpdf
