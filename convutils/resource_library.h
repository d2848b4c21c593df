// UI language and resource library: the product's UI language, the product's
// skin resource library and the command images taken from it in the size that fits the
// screen's DPI.
#pragma once
#include <windows.h>

namespace vpdf {

// The product's UI language for component `kind` (a Windows language id), -1 when unknown:
// CPDFConfig::get_instance().GetUILanguage(kind) of the product configuration library.
int GetProductUILanguage(int kind);

// Skin resource library file by skin type: 1 gray, 2 light gray, 3 blue, any other generic.
const wchar_t* SkinLibraryFileName(int skinType);

// The skin type that decides the library, starting from 3: the policy value SkinType under
// Software\Policies\Ostrel\VarnelPDF 5.1\OPTIONS (HKLM, then HKCU; the first that can be read
// decides), else HKCU\Software\Ostrel\PDF\Ostrel Varnel PDF\Preference SkinType unless -1,
// else SKINTYPE in section ROzozArar of Productconfig.ini under
// %ProgramData%\Ostrel\PDF\VarnelPDF\Preferences\ unless -1. A deciding 0 keeps 3.
// Read anew on every call.
int ReadSkinType();

// The skin resource library of the process: UIRES64_GEN*.DLL of ReadSkinType() in the
// product's install folder (GetProductInstallPath kind 1), else in the host executable's
// folder; when that cannot be loaded, UIRES64_GEN.DLL from the install folder, else from the
// host executable's folder. Loaded as a data file once per process: a handle once found is
// kept; none is not kept (the next call tries again).
HMODULE GetSkinResourceLibrary();

// 200 from 192 DPI on, 100 below 144, else 150.
int ScreenScaleForDpi(int dpi);
// The screen's scale (LOGPIXELSX of the screen): 100, 150 or 200, measured once per process.
int GetScreenScale();
// The resource id of the variant of `id` for a scale: + 1 at 150, + 2 at 200.
int ScaledResourceId(int id, int scale);

// Bitmap `id` of the skin library; with `scaled`, the variant for the screen scale, or, when
// that variant is missing, bitmap `id` stretched to the scale. None when `id` < 1 or nothing
// could be loaded (logged "ERROR: %d LoadBITMAPFromIconDLL nID=%d ", level 2). The caller owns
// the bitmap.
HBITMAP LoadBITMAPFromIconDLL(int id, bool scaled);

// The "PNG" resource `id` (with `scaled`: its variant for the screen scale, no fall-back) of
// `module`, or of the skin library when `module` is null, decoded with GDI+ into a 32-bit
// device-independent bitmap; an image with an alpha channel has its colours premultiplied by
// alpha. None on any failure. The caller owns the bitmap.
HBITMAP LoadPNGFromIconDLL(int id, HMODULE module, bool scaled);
inline HBITMAP LoadPNGFromIconDLL(int id, bool scaled) {
  return LoadPNGFromIconDLL(id, nullptr, scaled);
}

// GDI+ started for as long as this lives: one start-up shared by all current users in the
// process (counted, under a critical section); the last user shuts GDI+ down. Each
// LoadPNGFromIconDLL is such a user; a caller that decodes several images in a row may hold
// one around them so that GDI+ starts once.
class GdiplusUser {
 public:
  GdiplusUser();
  ~GdiplusUser();
  GdiplusUser(const GdiplusUser&) = delete;
  GdiplusUser& operator=(const GdiplusUser&) = delete;
  bool Started() const { return m_started; }

 private:
  bool m_started = false;
};

// A copy of bitmap `id` (LoadBITMAPFromIconDLL) or, with `png`, of PNG `id`
// (LoadPNGFromIconDLL), the image being loaded once per process for each id and scale choice;
// a failed load is tried again next time. The caller owns the copy.
HBITMAP CopyOfCachedImage(int id, bool scaled, bool png);

// A new bitmap, `bitmap` stretched (StretchBlt, SRCCOPY) to the screen scale (width and height
// times the scale / 100, truncated); `bitmap` is deleted. None for none.
HBITMAP ScaleBitmap(HBITMAP bitmap);

// Tests only: forget the cached skin library (freeing it), the cached screen scale and images.
void ResetResourceLibraryCachesForTesting();

}  // namespace vpdf
