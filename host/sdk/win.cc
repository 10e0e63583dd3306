#include "host/sdk/win.h"

#include <algorithm>
#include <cstring>

namespace hostsdk {

namespace {
int commonInits = 0;
int customInits = 0;
}  // namespace

int LoadStringA(HINSTANCE instance, UINT id, char* buffer, int size) {
  if (!instance || !buffer || size <= 0) return 0;
  auto it = instance->strings.find(id);
  if (it == instance->strings.end()) {
    buffer[0] = '\0';
    return 0;
  }
  size_t n = std::min(it->second.size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, it->second.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

INT_PTR DialogBoxParamA(HINSTANCE instance, int resource, HWND parent, DLGPROC proc,
                        LPARAM param) {
  if (!instance || !proc) return -1;
  auto it = instance->dialogs.find(resource);
  if (it == instance->dialogs.end()) return -1;
  HostWindow dialog(parent);
  dialog.title = it->second.title;
  dialog.dialogTemplate = &it->second;
  proc(&dialog, WM_INITDIALOG, 0, param);
  if (!dialog.ended) {
    int answer = parent ? parent->dialogAnswer() : IDOK;
    proc(&dialog, WM_COMMAND, static_cast<WPARAM>(answer), 0);
  }
  return dialog.ended ? dialog.result : -1;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  if (!dialog) return FALSE;
  dialog->ended = true;
  dialog->result = result;
  return TRUE;
}

BOOL CheckRadioButton(HWND dialog, int first, int last, int check) {
  if (!dialog) return FALSE;
  for (int id = first; id <= last; ++id) dialog->checked[id] = (id == check);
  return TRUE;
}

HWND GetParent(HWND window) { return window ? window->parent() : nullptr; }

HWND SetFocus(HWND window) {
  if (window) window->focused = true;
  return nullptr;
}

void CenterWindow(HWND window, HWND) {
  if (window) window->centred = true;
}

void InitCommonControls() { ++commonInits; }
void InitCustomControls(HINSTANCE) { ++customInits; }
int CommonControlsInitCount() { return commonInits; }
int CustomControlsInitCount() { return customInits; }

}  // namespace hostsdk
