// Resizable dialog base: controls that follow the dialog's edges when it is
// resized (CTRL_ALIGN anchors), a minimum size equal to the initial size, and a window size
// remembered per user under HKCU\Software\Ostrel\PDF\V1\<subkey>.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "convutils/settings.h"
#include "ui/modal_dialog.h"

namespace vpdf {

// The product's per-user settings key of the dialogs: this followed by the owner's subkey.
inline const std::wstring kDialogSettingsBase = std::wstring(kProductKey) + L"\\";

// Anchor flags (one byte): the horizontal part is flags & 0x70, the vertical part flags & 0x07.
enum : BYTE {
  ALIGN_LEFT = 0x10,           // left and right keep their distance from the left edge
  ALIGN_RIGHT = 0x40,          // left and right keep their distance from the right edge
  ALIGN_STRETCH_X = 0x50,      // left fixed, right keeps its distance from the right edge
  ALIGN_TOP = 0x01,            // top and bottom keep their distance from the top edge
  ALIGN_BOTTOM = 0x04,         // top and bottom keep their distance from the bottom edge
  ALIGN_STRETCH_Y = 0x05,      // top fixed, bottom keeps its distance from the bottom edge
  ALIGN_HORIZONTAL_MASK = 0x70,
  ALIGN_VERTICAL_MASK = 0x07,
};

// One anchored control. The four values are client pixels: an edge anchored to the right
// (bottom) holds its distance from that edge and percentage 100, any other edge its coordinate
// and percentage 0.
struct CTRL_ALIGN {
  using Callback = std::function<void(HWND control, const RECT& rect)>;
  int id = 0;
  int left = 0, top = 0, right = 0, bottom = 0;
  int leftPercent = 0, topPercent = 0, rightPercent = 0, bottomPercent = 0;
  Callback callback;  // called with the control and its new rectangle after every move
};

class resizable_dialog : public modal_dialog {
 public:
  // A resizable dialog whose window size is kept under value `sizeValueName` of
  // HKCU\Software\Ostrel\PDF\V1\<subkey>. `initialSize` is used when no size is stored; 0 x 0
  // leaves the template's size.
  resizable_dialog(UINT templateId, std::wstring subkey, std::wstring sizeValueName, HWND parent,
                   SIZE initialSize, HINSTANCE resources = nullptr);
  // A plain dialog: no anchors, no minimum size, no stored size.
  resizable_dialog(UINT templateId, HWND parent, HINSTANCE resources = nullptr);
  ~resizable_dialog() override;

  bool IsResizable() const { return m_resizable; }
  // The window size at initialisation, which is also the smallest the user can make it.
  SIZE MinimumSize() const { return m_minimum; }
  // The window size after the last resize (frame included).
  SIZE CurrentSize() const { return SIZE{m_width, m_height}; }
  // Skips the minimum and maximum handling.
  void SetNoMinimum(bool noMinimum) { m_noMinimum = noMinimum; }
  const std::vector<std::shared_ptr<CTRL_ALIGN>>& Anchors() const { return m_anchors; }

 protected:
  BOOL OnInitDialog() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

  // Anchors control `id` by `flags` (ALIGN_...), taking its present rectangle. Ignored when
  // the dialog is not resizable or has no such control.
  void AddAnchor(int id, BYTE flags, CTRL_ALIGN::Callback callback = {});
  // Called by the owner at the end of its initialisation: sets the window to the stored size
  // (without moving it) when both its width and height are non-zero.
  void RestoreSize();
  // Resizes control `id` in place by the given number of pixels.
  void GrowControl(int id, int dx, int dy);

  // New client width and height.
  virtual void OnSize(UINT type, int cx, int cy);
  // True when it filled in the limits.
  virtual bool OnGetMinMaxInfo(MINMAXINFO* info);

 private:
  bool m_resizable;
  SIZE m_minimum{};
  std::vector<std::shared_ptr<CTRL_ALIGN>> m_anchors;
  bool m_noMinimum = false;
  bool m_sizeRestored = false;
  LONG m_width = 0;
  LONG m_height = 0;
  SIZE m_initialSize{};
  std::function<DWORD()> m_loadSize;
  std::function<void(DWORD)> m_saveSize;
  // The stored size while RestoreSize applies it: the screen does not limit it then.
  SIZE m_applying{};
};

}  // namespace vpdf
