// What the GUI binder does differently for each kind of control, in one table: the window it
// makes, how a change of the model reaches that window, and how the window's notifications
// come back as the control's own calls. Adding a kind means adding one row.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "controls/controls.h"

namespace quillon::win32 {

// A control bound to a window. Timers and menu items have no window of their own: theirs is
// the form's, and their id names the timer or the menu entry.
struct Bound {
  controls::Control* control = nullptr;
  HWND hwnd = nullptr;
  int id = 0;
  bool timerRunning = false;
  // A list whose columns share its width: what each column needs to show its widest text, and
  // the widths last given, so that a width the user dragged can be told from them.
  std::vector<int> needs, fitted;
};

// What every form's controls share: the dialog font and the small kind icons of the lists.
struct Look {
  HFONT font = nullptr;
  HIMAGELIST icons = nullptr;
};

struct KindOps {
  controls::Kind kind;
  const char* windowClass;  // nullptr: no window of its own
  DWORD style, exStyle;
  DWORD (*moreStyle)(const controls::Control&);  // style bits that depend on the control
  // Fills a new window once with what the control is designed with (columns, tabs, entries).
  void (*setUp)(HWND, controls::Control&, const Look&);
  // Pushes one change of the model to the window.
  void (*mirror)(Bound&, controls::Change, int row);
  // A WM_COMMAND notification code of the window, a WM_NOTIFY of it, a WM_TIMER for it.
  void (*command)(Bound&, int code);
  void (*notify)(Bound&, const NMHDR&);
  void (*timer)(Bound&);
  // Frees what the window made for itself but leaves to its owner; runs before it is destroyed.
  void (*tearDown)(HWND);
};

const KindOps& kindOps(controls::Kind kind);

// Copies the widths of a list's columns back to the model once the user changed one (which
// ends the sharing); widths the list was given by sharing leave the designed ones in place.
void readBackColumns(Bound& b);

// The window class of frames and pages (a group box when captioned), and the shared look
// (gui_look.cpp).
extern const char kPanelClass[];
void registerPanelClass(HINSTANCE instance);
Look makeLook();
void freeLook(Look& look);

// Forms are laid out in design units, the pixels of a 96-DPI screen; their windows are made in
// the system's pixels, so that a larger font setting enlarges the whole window with its text.
// The DPI is the system's, read once: the program declares itself DPI-aware before its first
// window.
int systemDpi();
int scaled(int units);
int unscaled(int pixels);
// A rectangle's edges are scaled rather than its size, so that controls which meet or nest in
// design units still do in pixels.
RECT scaledRect(int x, int y, int w, int h);

}  // namespace quillon::win32
