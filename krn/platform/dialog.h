// Modeless child dialogs with drop-down lists, as a property page uses them.
// On Windows these are real dialogs made from a module's dialog resource. The
// native build keeps an in-memory dialog with the same behaviour (lists, item
// data, selection, visibility, position), so that page logic runs and is tested
// without a window system; it has no resources, so templates have no size there.
#pragma once

#include "krn/platform/win_types.h"

#include <cstdint>
#include <string>

namespace cvplat {

// What a dialog receives. The pointer given at creation is stored with the
// window and called for the messages below until the window is destroyed.
class DialogEvents {
 public:
  // WM_INITDIALOG: the window exists and its controls can be filled.
  virtual void OnInitDialog(HWND dialog) = 0;
  // WM_DESTROY.
  virtual void OnDestroy() = 0;
  // WM_HELP for a control.
  virtual void OnHelp(int controlId) = 0;
  // WM_COMMAND from a control; true when the page handled it.
  virtual bool OnCommand(int controlId, int notification) = 0;

 protected:
  ~DialogEvents() = default;
};

constexpr int kSelectionChange = 1;  // CBN_SELCHANGE

// Creates dialog `templateId` of `resources` as a hidden modeless child of
// `parent`; `events` may be null (a dialog made only to be measured). Null when
// the window cannot be made.
HWND CreateChildDialog(HMODULE resources, int templateId, HWND parent, DialogEvents* events);
void DestroyDialog(HWND dialog);
HWND DesktopWindow();

// WS_EX_CONTROLPARENT on or off.
void SetControlParentStyle(HWND dialog, bool on);
bool HasControlParentStyle(HWND dialog);
// SW_SHOW / SW_SHOWNORMAL / SW_HIDE, then the window is invalidated (background
// erased).
void ShowDialog(HWND dialog, int command);
bool IsDialogVisible(HWND dialog);
// Moves the window to the rectangle (parent coordinates) and repaints it.
void MoveDialog(HWND dialog, const RECT& rect);
RECT DialogRect(HWND dialog);
// The window size of a dialog template; false when it cannot be measured
// (always natively, where modules have no dialog resources).
bool MeasureDialogTemplate(HMODULE resources, int templateId, SIZE* size);

// Drop-down lists of a dialog, addressed by control id.
void ClearList(HWND dialog, int controlId);
// Appends an item with its data; returns its index, -1 on failure.
int AddListItem(HWND dialog, int controlId, const char* text, uint32_t data);
void SelectListItem(HWND dialog, int controlId, int index);
// The selected index, -1 when nothing is selected.
int SelectedListItem(HWND dialog, int controlId);
int ListItemCount(HWND dialog, int controlId);
uint32_t ListItemData(HWND dialog, int controlId, int index);
std::string ListItemText(HWND dialog, int controlId, int index);

// Sends WM_COMMAND with a notification from a control, as the dialog receives
// it when the user changes a list.
void SendControlNotification(HWND dialog, int controlId, int notification);

// Shows a help context as a pop-up from a help file (WinHelpA with
// HELP_CONTEXTPOPUP); nothing natively.
void ShowHelpPopup(HWND window, const std::string& helpFile, uint32_t context);

}  // namespace cvplat
