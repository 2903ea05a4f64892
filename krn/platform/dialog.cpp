#include "krn/platform/dialog.h"

#ifndef _WIN32
#include <map>
#include <utility>
#include <vector>
#endif

namespace cvplat {

#ifdef _WIN32

namespace {

DialogEvents* EventsOf(HWND dialog) {
  return reinterpret_cast<DialogEvents*>(::GetWindowLongPtrA(dialog, DWLP_USER));
}

INT_PTR HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    if (DialogEvents* events = EventsOf(dialog)) events->OnInitDialog(dialog);
    return TRUE;
  }
  DialogEvents* events = EventsOf(dialog);
  if (!events) return FALSE;
  switch (message) {
    case WM_DESTROY:
      ::SetWindowLongPtrA(dialog, DWLP_USER, 0);
      events->OnDestroy();
      return FALSE;
    case WM_HELP: {
      const auto* help = reinterpret_cast<const HELPINFO*>(lParam);
      if (help) events->OnHelp(help->iCtrlId);
      return FALSE;
    }
    case WM_COMMAND:
      return events->OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    default:
      return FALSE;
  }
}

// No exception may unwind into the window manager.
INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    return HandleDialogMessage(dialog, message, wParam, lParam);
  } catch (...) {
    return FALSE;
  }
}

LRESULT SendList(HWND dialog, int controlId, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  return ::SendDlgItemMessageA(dialog, controlId, message, wParam, lParam);
}

}  // namespace

HWND CreateChildDialog(HMODULE resources, int templateId, HWND parent, DialogEvents* events) {
  return ::CreateDialogParamA(resources, MAKEINTRESOURCEA(templateId), parent, DialogProcedure,
                              reinterpret_cast<LPARAM>(events));
}

void DestroyDialog(HWND dialog) { ::DestroyWindow(dialog); }

HWND DesktopWindow() { return ::GetDesktopWindow(); }

void SetControlParentStyle(HWND dialog, bool on) {
  LONG style = ::GetWindowLongA(dialog, GWL_EXSTYLE);
  style = on ? (style | WS_EX_CONTROLPARENT) : (style & ~WS_EX_CONTROLPARENT);
  ::SetWindowLongA(dialog, GWL_EXSTYLE, style);
}

bool HasControlParentStyle(HWND dialog) { return (::GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) != 0; }

void ShowDialog(HWND dialog, int command) {
  ::ShowWindow(dialog, command);
  ::InvalidateRect(dialog, nullptr, TRUE);
}

bool IsDialogVisible(HWND dialog) { return ::IsWindowVisible(dialog) != FALSE; }

void MoveDialog(HWND dialog, const RECT& rect) {
  ::MoveWindow(dialog, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

RECT DialogRect(HWND dialog) {
  RECT rect{};
  ::GetWindowRect(dialog, &rect);
  if (HWND parent = ::GetParent(dialog)) ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool MeasureDialogTemplate(HMODULE resources, int templateId, SIZE* size) {
  HWND dialog = CreateChildDialog(resources, templateId, ::GetDesktopWindow(), nullptr);
  if (!dialog) return false;
  RECT rect{};
  ::GetWindowRect(dialog, &rect);
  ::DestroyWindow(dialog);
  size->cx = rect.right - rect.left;
  size->cy = rect.bottom - rect.top;
  return true;
}

void ClearList(HWND dialog, int controlId) { SendList(dialog, controlId, CB_RESETCONTENT); }

int AddListItem(HWND dialog, int controlId, const char* text, uint32_t data) {
  const LRESULT index = SendList(dialog, controlId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  if (index < 0) return -1;
  SendList(dialog, controlId, CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data));
  return static_cast<int>(index);
}

void SelectListItem(HWND dialog, int controlId, int index) {
  SendList(dialog, controlId, CB_SETCURSEL, static_cast<WPARAM>(index));
}

int SelectedListItem(HWND dialog, int controlId) {
  const LRESULT index = SendList(dialog, controlId, CB_GETCURSEL);
  return index < 0 ? -1 : static_cast<int>(index);
}

int ListItemCount(HWND dialog, int controlId) {
  const LRESULT count = SendList(dialog, controlId, CB_GETCOUNT);
  return count < 0 ? 0 : static_cast<int>(count);
}

uint32_t ListItemData(HWND dialog, int controlId, int index) {
  return static_cast<uint32_t>(SendList(dialog, controlId, CB_GETITEMDATA, static_cast<WPARAM>(index)));
}

std::string ListItemText(HWND dialog, int controlId, int index) {
  const LRESULT length = SendList(dialog, controlId, CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
  if (length < 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  SendList(dialog, controlId, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<size_t>(length));
  return text;
}

void SendControlNotification(HWND dialog, int controlId, int notification) {
  ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(controlId, notification),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dialog, controlId)));
}

void ShowHelpPopup(HWND window, const std::string& helpFile, uint32_t context) {
  ::WinHelpA(window, helpFile.c_str(), HELP_CONTEXTPOPUP, context);
}

#else

namespace {

struct NativeList {
  std::vector<std::pair<std::string, uint32_t>> items;
  int selected = -1;
};

// The in-memory dialog behind a native window handle.
struct NativeDialog {
  DialogEvents* events = nullptr;
  bool visible = false;
  bool controlParent = false;
  RECT rect{};
  std::map<int, NativeList> lists;
};

NativeDialog* DialogOf(HWND dialog) { return static_cast<NativeDialog*>(dialog); }

}  // namespace

HWND CreateChildDialog(HMODULE, int, HWND, DialogEvents* events) {
  auto* dialog = new NativeDialog;
  dialog->events = events;
  if (events) events->OnInitDialog(dialog);
  return dialog;
}

void DestroyDialog(HWND window) {
  NativeDialog* dialog = DialogOf(window);
  if (!dialog) return;
  if (dialog->events) dialog->events->OnDestroy();
  delete dialog;
}

HWND DesktopWindow() { return nullptr; }

void SetControlParentStyle(HWND dialog, bool on) { DialogOf(dialog)->controlParent = on; }
bool HasControlParentStyle(HWND dialog) { return DialogOf(dialog)->controlParent; }
void ShowDialog(HWND dialog, int command) { DialogOf(dialog)->visible = command != SW_HIDE; }
bool IsDialogVisible(HWND dialog) { return DialogOf(dialog)->visible; }
void MoveDialog(HWND dialog, const RECT& rect) { DialogOf(dialog)->rect = rect; }
RECT DialogRect(HWND dialog) { return DialogOf(dialog)->rect; }
bool MeasureDialogTemplate(HMODULE, int, SIZE*) { return false; }

void ClearList(HWND dialog, int controlId) { DialogOf(dialog)->lists[controlId] = NativeList(); }

int AddListItem(HWND dialog, int controlId, const char* text, uint32_t data) {
  NativeList& list = DialogOf(dialog)->lists[controlId];
  list.items.emplace_back(text ? text : "", data);
  return static_cast<int>(list.items.size()) - 1;
}

void SelectListItem(HWND dialog, int controlId, int index) {
  NativeList& list = DialogOf(dialog)->lists[controlId];
  list.selected = index >= 0 && static_cast<size_t>(index) < list.items.size() ? index : -1;
}

int SelectedListItem(HWND dialog, int controlId) { return DialogOf(dialog)->lists[controlId].selected; }

int ListItemCount(HWND dialog, int controlId) {
  return static_cast<int>(DialogOf(dialog)->lists[controlId].items.size());
}

uint32_t ListItemData(HWND dialog, int controlId, int index) {
  const NativeList& list = DialogOf(dialog)->lists[controlId];
  if (index < 0 || static_cast<size_t>(index) >= list.items.size()) return UINT32_MAX;
  return list.items[static_cast<size_t>(index)].second;
}

std::string ListItemText(HWND dialog, int controlId, int index) {
  const NativeList& list = DialogOf(dialog)->lists[controlId];
  if (index < 0 || static_cast<size_t>(index) >= list.items.size()) return std::string();
  return list.items[static_cast<size_t>(index)].first;
}

void SendControlNotification(HWND dialog, int controlId, int notification) {
  if (DialogEvents* events = DialogOf(dialog)->events) events->OnCommand(controlId, notification);
}

void ShowHelpPopup(HWND, const std::string&, uint32_t) {}

#endif

}  // namespace cvplat
