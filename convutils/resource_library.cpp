#include "convutils/resource_library.h"

#include <objidl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gdiplus.h>

#include <cstring>
#include <map>
#include <string>
#include <tuple>

#include "convutils/comutil.h"
#include "convutils/log.h"
#include "convutils/settings.h"
#include "outside/companions.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\ConvUtils\\ConvUtils");

constexpr wchar_t kGenericSkin[] = L"UIRES64_GEN.DLL";
constexpr wchar_t kSkinPolicyKey[] = L"Software\\Policies\\Ostrel\\VarnelPDF 5.1\\OPTIONS";
constexpr int kDefaultSkinType = 3;

// The process-wide caches. Plain values: only the UI thread calls.
HMODULE g_skinLibrary = nullptr;
int g_screenScale = 0;
// Loaded images by id, scale choice and kind (PNG or bitmap).
std::map<std::tuple<int, bool, bool>, GdiObject<HBITMAP>> g_images;

// Folder names end with a backslash; empty when unknown.
std::wstring InstallFolder() {
  wchar_t path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (!GetProductInstallPath(path, size, 1) || !path[0]) return {};
  std::wstring folder(path);
  if (folder.back() != L'\\') folder += L'\\';
  return folder;
}

std::wstring HostExecutableFolder() {
  wchar_t path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::wstring folder(path, length);
  size_t slash = folder.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

HMODULE LoadSkinFile(const std::wstring& folder, const wchar_t* file) {
  if (folder.empty()) return nullptr;
  std::wstring path = folder + file;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

// A DWORD that exists and can be read.
bool ReadPolicyDword(HKEY root, DWORD& value) {
  DWORD bytes = sizeof value;
  return RegGetValueW(root, kSkinPolicyKey, L"SkinType", RRF_RT_REG_DWORD, nullptr, &value,
                      &bytes) == ERROR_SUCCESS;
}

int ReadSkinTypeFromIni() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
    return -1;
  if (!PathAppendW(path, L"\\Ostrel\\PDF\\VarnelPDF\\Preferences\\") ||
      !PathAppendW(path, L"Productconfig.ini"))
    return -1;
  return static_cast<int>(GetPrivateProfileIntW(L"ROzozArar", L"SKINTYPE", -1, path));
}

CRITICAL_SECTION& GdiplusSection() {
  static CRITICAL_SECTION section = [] {
    CRITICAL_SECTION s;
    InitializeCriticalSection(&s);
    return s;
  }();
  return section;
}
int g_gdiplusUsers = 0;
ULONG_PTR g_gdiplusToken = 0;

// Copy of a resource in a movable global block, as a stream that frees the block on release.
IStream* StreamOnResource(HMODULE module, int id, const wchar_t* type) {
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (!found) return nullptr;
  DWORD size = SizeofResource(module, found);
  HGLOBAL resource = LoadResource(module, found);
  const void* data = resource ? LockResource(resource) : nullptr;
  if (!data || size == 0) return nullptr;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!block) return nullptr;
  void* target = GlobalLock(block);
  if (!target) {
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(target, data, size);
  GlobalUnlock(block);
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {
    GlobalFree(block);
    return nullptr;
  }
  return stream;
}

// CMFCToolBarImages::PreMultiplyAlpha: each colour channel times alpha / 255.
void PreMultiplyAlpha(BYTE* pixels, size_t count) {
  for (size_t i = 0; i < count; ++i, pixels += 4) {
    const unsigned alpha = pixels[3];
    pixels[0] = static_cast<BYTE>(pixels[0] * alpha / 255);
    pixels[1] = static_cast<BYTE>(pixels[1] * alpha / 255);
    pixels[2] = static_cast<BYTE>(pixels[2] * alpha / 255);
  }
}

HBITMAP DecodePng(IStream* stream) {
  using namespace Gdiplus;
  GpBitmap* image = nullptr;
  if (DllExports::GdipCreateBitmapFromStream(stream, &image) != Ok || !image) return nullptr;
  HBITMAP result = nullptr;
  UINT width = 0, height = 0;
  PixelFormat format = 0;
  DllExports::GdipGetImageWidth(image, &width);
  DllExports::GdipGetImageHeight(image, &height);
  DllExports::GdipGetImagePixelFormat(image, &format);
  if (width > 0 && height > 0) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib && bits) {
      GpRect rect(0, 0, static_cast<INT>(width), static_cast<INT>(height));
      BitmapData data = {};
      data.Width = width;
      data.Height = height;
      data.Stride = static_cast<INT>(width * 4);
      data.PixelFormat = PixelFormat32bppARGB;
      data.Scan0 = bits;
      // Decode straight into the DIB's pixels (32 bits per pixel, alpha not premultiplied).
      if (DllExports::GdipBitmapLockBits(image, &rect, ImageLockModeRead | ImageLockModeUserInputBuf,
                                         PixelFormat32bppARGB, &data) == Ok) {
        DllExports::GdipBitmapUnlockBits(image, &data);
        GdiFlush();
        if (IsAlphaPixelFormat(format))
          PreMultiplyAlpha(static_cast<BYTE*>(bits), static_cast<size_t>(width) * height);
        result = dib;
        dib = nullptr;
      }
    }
    if (dib) DeleteObject(dib);
  }
  DllExports::GdipDisposeImage(image);
  return result;
}

}  // namespace

GdiplusUser::GdiplusUser() {
  EnterCriticalSection(&GdiplusSection());
  Gdiplus::GdiplusStartupInput input;
  if (g_gdiplusUsers > 0 ||
      Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr) == Gdiplus::Ok) {
    ++g_gdiplusUsers;
    m_started = true;
  }
  LeaveCriticalSection(&GdiplusSection());
}

GdiplusUser::~GdiplusUser() {
  if (!m_started) return;
  EnterCriticalSection(&GdiplusSection());
  if (--g_gdiplusUsers == 0) Gdiplus::GdiplusShutdown(g_gdiplusToken);
  LeaveCriticalSection(&GdiplusSection());
}

int GetProductUILanguage(int kind) { return outside::ConfigUILanguage(kind); }

const wchar_t* SkinLibraryFileName(int skinType) {
  switch (skinType) {
    case 1: return L"UIRES64_GEN_GRAY.DLL";
    case 2: return L"UIRES64_GEN_LIGHTGRAY.DLL";
    case 3: return L"UIRES64_GEN_BLUE.DLL";
    default: return kGenericSkin;
  }
}

int ReadSkinType() {
  int deciding = -1;
  DWORD policy = 0;
  if (ReadPolicyDword(HKEY_LOCAL_MACHINE, policy) || ReadPolicyDword(HKEY_CURRENT_USER, policy)) {
    deciding = static_cast<int>(policy);
  } else {
    CConvRegKey preference(HKEY_CURRENT_USER, kSkinPreferenceKey, L"SkinType", -1);
    deciding = static_cast<int>(preference.ReadNumber());
    if (deciding == -1) deciding = ReadSkinTypeFromIni();
    if (deciding == -1) return kDefaultSkinType;
  }
  return deciding == 0 ? kDefaultSkinType : deciding;
}

HMODULE GetSkinResourceLibrary() {
  if (g_skinLibrary) return g_skinLibrary;
  const std::wstring installFolder = InstallFolder();
  const std::wstring hostFolder = HostExecutableFolder();
  const std::wstring& folder = installFolder.empty() ? hostFolder : installFolder;
  HMODULE library = LoadSkinFile(folder, SkinLibraryFileName(ReadSkinType()));
  if (!library) library = LoadSkinFile(installFolder, kGenericSkin);
  if (!library) library = LoadSkinFile(hostFolder, kGenericSkin);
  g_skinLibrary = library;
  return library;
}

int ScreenScaleForDpi(int dpi) {
  if (dpi >= 192) return 200;
  if (dpi < 144) return 100;
  return 150;
}

int GetScreenScale() {
  if (g_screenScale) return g_screenScale;
  int dpi = 96;
  if (HDC screen = GetDC(nullptr)) {
    dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
  }
  g_screenScale = ScreenScaleForDpi(dpi);
  return g_screenScale;
}

int ScaledResourceId(int id, int scale) {
  if (scale == 150) return id + 1;
  if (scale == 200) return id + 2;
  return id;
}

HBITMAP LoadBITMAPFromIconDLL(int id, bool scaled) {
  if (id < 1) return nullptr;
  const int wanted = scaled ? ScaledResourceId(id, GetScreenScale()) : id;
  HMODULE library = GetSkinResourceLibrary();
  SetLastError(ERROR_SUCCESS);
  HBITMAP bitmap = library ? static_cast<HBITMAP>(LoadImageW(library, MAKEINTRESOURCEW(wanted),
                                                             IMAGE_BITMAP, 0, 0,
                                                             LR_CREATEDIBSECTION))
                           : nullptr;
  DWORD error = GetLastError();
  if (bitmap && error == ERROR_SUCCESS) return bitmap;
  if (!library && error == ERROR_SUCCESS) error = ERROR_MOD_NOT_FOUND;
  kLog.Error("ERROR: %d LoadBITMAPFromIconDLL nID=%d ", static_cast<int>(error), wanted);
  if (bitmap || !scaled) return bitmap;
  // The variant for this scale is missing: stretch the base bitmap.
  HBITMAP base = library ? static_cast<HBITMAP>(LoadImageW(library, MAKEINTRESOURCEW(id),
                                                           IMAGE_BITMAP, 0, 0,
                                                           LR_CREATEDIBSECTION))
                         : nullptr;
  return ScaleBitmap(base);
}

HBITMAP LoadPNGFromIconDLL(int id, HMODULE module, bool scaled) {
  if (id < 1) return nullptr;
  const int wanted = scaled ? ScaledResourceId(id, GetScreenScale()) : id;
  if (!module) module = GetSkinResourceLibrary();
  if (!module) return nullptr;
  IStream* stream = StreamOnResource(module, wanted, L"PNG");
  if (!stream) return nullptr;
  HBITMAP result = nullptr;
  {
    GdiplusUser gdiplus;
    if (gdiplus.Started()) result = DecodePng(stream);
  }
  stream->Release();
  return result;
}

HBITMAP CopyOfCachedImage(int id, bool scaled, bool png) {
  auto& cached = g_images[{id, scaled, png}];
  if (!cached.Get())
    cached = GdiObject<HBITMAP>(png ? LoadPNGFromIconDLL(id, scaled)
                                    : LoadBITMAPFromIconDLL(id, scaled));
  if (!cached.Get()) return nullptr;
  // A section stays a section: the images keep their colour depth and alpha.
  DIBSECTION section = {};
  const bool dib = GetObjectW(cached.Get(), sizeof section, &section) == sizeof section;
  return static_cast<HBITMAP>(
      CopyImage(cached.Get(), IMAGE_BITMAP, 0, 0, dib ? LR_CREATEDIBSECTION : 0));
}

HBITMAP ScaleBitmap(HBITMAP bitmap) {
  if (!bitmap) return nullptr;
  BITMAP info = {};
  if (!GetObjectW(bitmap, sizeof info, &info)) return nullptr;
  const int scale = GetScreenScale();
  const int width = info.bmWidth * scale / 100;
  const int height = info.bmHeight * scale / 100;
  HDC screen = GetDC(nullptr);
  HDC source = CreateCompatibleDC(screen);
  HDC target = CreateCompatibleDC(screen);
  HBITMAP scaledBitmap = CreateCompatibleBitmap(screen, width, height);
  if (source && target && scaledBitmap) {
    HGDIOBJ oldSource = SelectObject(source, bitmap);
    HGDIOBJ oldTarget = SelectObject(target, scaledBitmap);
    StretchBlt(target, 0, 0, width, height, source, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    SelectObject(source, oldSource);
    SelectObject(target, oldTarget);
  }
  if (target) DeleteDC(target);
  if (source) DeleteDC(source);
  if (screen) ReleaseDC(nullptr, screen);
  DeleteObject(bitmap);
  return scaledBitmap;
}

void ResetResourceLibraryCachesForTesting() {
  if (g_skinLibrary) FreeLibrary(g_skinLibrary);
  g_skinLibrary = nullptr;
  g_screenScale = 0;
  g_images.clear();
}

}  // namespace vpdf
