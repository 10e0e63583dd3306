// The few window-system calls a plug-in makes: module instances with their
// resources (string table, dialog templates), modal dialogs and the control
// set-up calls. There are no windows: a modal dialog runs its procedure
// through initialisation and then presses the button that the dialog's
// parent window was told to answer with (HostWindow::setDialogAnswer).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/sdk/types.h"

namespace hostsdk {

using UINT = unsigned int;
using INT_PTR = intptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;

// Messages and results of dialog procedures.
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

enum class ControlKind { Button, DefaultButton, RadioButton, GroupBox, Label, Edit, Custom };

struct HOSTSDK_API DialogControl {
  int id = -1;  // -1: a static control
  ControlKind kind = ControlKind::Label;
  std::string text;
};

struct HOSTSDK_API DialogTemplate {
  std::string title;
  std::vector<DialogControl> controls;
};

// What a plug-in library carries beside its code; its instance handle points
// at it.
struct HOSTSDK_API ModuleResources {
  std::map<UINT, std::string> strings;
  std::map<int, DialogTemplate> dialogs;
};
using HINSTANCE = const ModuleResources*;

class HOSTSDK_API HostWindow {
 public:
  HostWindow() = default;
  explicit HostWindow(HostWindow* parent) : parent_(parent) {}
  HostWindow* parent() const { return parent_; }
  // The button a modal dialog over this window ends with (IDOK by default).
  void setDialogAnswer(int buttonId) { answer_ = buttonId; }
  int dialogAnswer() const { return answer_; }

  // A dialog's state, as its procedure left it.
  std::string title;
  std::map<int, bool> checked;  // radio buttons and check boxes by id
  bool centred = false;
  bool focused = false;
  bool ended = false;
  INT_PTR result = 0;
  const DialogTemplate* dialogTemplate = nullptr;

 private:
  HostWindow* parent_ = nullptr;
  int answer_ = IDOK;
};
using HWND = HostWindow*;
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

// Copies string `id` of the module into `buffer` (at most size - 1 bytes and a
// terminating zero); returns the bytes copied, 0 when there is no such string.
HOSTSDK_API int LoadStringA(HINSTANCE instance, UINT id, char* buffer, int size);
// Runs dialog `resource` of the module modally over `parent`: the procedure
// receives WM_INITDIALOG (with `param`), then WM_COMMAND for the parent's
// dialog answer; the result is what the procedure passed to EndDialog, or -1
// when the module has no such dialog or the procedure never ended it.
HOSTSDK_API INT_PTR DialogBoxParamA(HINSTANCE instance, int resource, HWND parent, DLGPROC proc,
                                    LPARAM param);
HOSTSDK_API BOOL EndDialog(HWND dialog, INT_PTR result);
// Checks `check` and clears the other radio buttons first..last.
HOSTSDK_API BOOL CheckRadioButton(HWND dialog, int first, int last, int check);
HOSTSDK_API HWND GetParent(HWND window);
HOSTSDK_API HWND SetFocus(HWND window);
HOSTSDK_API void CenterWindow(HWND window, HWND parent);
HOSTSDK_API void InitCommonControls();
HOSTSDK_API void InitCustomControls(HINSTANCE instance);
// How often the two calls above ran (a plug-in initialises them once).
HOSTSDK_API int CommonControlsInitCount();
HOSTSDK_API int CustomControlsInitCount();

// The low word of a WM_COMMAND's wParam: the control id.
inline int LOWORD(WPARAM w) { return static_cast<int>(w & 0xFFFF); }

}  // namespace hostsdk
