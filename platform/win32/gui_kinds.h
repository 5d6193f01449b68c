// What the GUI binder does differently for each kind of control, in one table: the window it
// makes, how a change of the model reaches that window, and how the window's notifications
// come back as the control's own calls. Adding a kind means adding one row.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
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
  bool fitting = false;
  int tipRow = -1, tipCol = -1;  // the cell whose whole text the list's tip holds
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

// Copies the widths of a list's columns that the user changed (a header divider dragged) back to
// the model, where they become the user's; widths the list was given leave the model as it is.
void readBackColumns(Bound& b);
// Gives a list's columns their widths (see ListView::fitColumns).
void fitColumns(Bound& b);
// Pixels a cell needs to be read whole: its text, the margins the list draws beside it and, in
// the first column, the check box and the icon in front of it.
int cellNeed(HWND h, const controls::ListView& lv, int col, const std::string& text);

// The cells of a list (gui_list_cells.cpp): a location too long for its column shows cut in the
// middle, and a tip over a cut cell gives its whole text. Started when the list is made, ended
// before it is destroyed.
void startListCells(HWND h, controls::Control& c);
void endListCells(HWND h);
// Answers the list's request for the text of the cell it draws.
void cellText(Bound& b, NMLVDISPINFOA& request);

// The window class of pictures, which draws the present frame (gui_picture.cpp).
extern const char kPictureClass[];
void registerPictureClass(HINSTANCE instance);
void showFrame(HWND h, const controls::Picture& p);

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
