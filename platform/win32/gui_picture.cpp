// The moving picture of a window at work: the program's own icon bobbing over its shadow, one
// frame drawn when the window paints.
#include <windows.h>

#include <algorithm>
#include <cmath>

#include "platform/win32/gui_kinds.h"

namespace quillon::win32 {

namespace {

// Up and down once per round of frames: at rest on its shadow in the first frame, highest
// halfway; the shadow narrows as the icon rises.
void drawFrame(HDC dc, int w, int h, int frame, int frames) {
  RECT all{0, 0, w, h};
  FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
  const int size = std::max(8, std::min({32, w, h - 10}));
  const int room = std::max(0, h - size - 8);
  const double rise = (1.0 - std::cos(6.283185307179586 * frame / std::max(frames, 1))) / 2.0;
  const int lift = int(std::lround(rise * room));
  const int shadow = int(std::lround(size * (1.0 - 0.5 * rise)));
  HBRUSH grey = CreateSolidBrush(GetSysColor(COLOR_BTNSHADOW));
  HGDIOBJ oldBrush = SelectObject(dc, grey), oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
  Ellipse(dc, (w - shadow) / 2, h - 7, (w + shadow) / 2 + 1, h - 1);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(grey);
  const int x = (w - size) / 2, y = h - 6 - size - lift;
  auto icon = static_cast<HICON>(
      LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1), IMAGE_ICON, size, size, LR_SHARED));
  if (icon) {
    DrawIconEx(dc, x, y, icon, size, size, 0, nullptr, DI_NORMAL);
  } else {  // a program built without the icon still shows something that moves
    RECT box{x, y, x + size, y + size};
    FillRect(dc, &box, GetSysColorBrush(COLOR_HIGHLIGHT));
  }
}

// Drawn off screen and put up in one step, so that the icon never flickers as it moves. The
// frame and the number of frames ride in the window's user data.
void paint(HWND h, HDC target) {
  RECT r;
  GetClientRect(h, &r);
  const int w = std::max(1, int(r.right)), ht = std::max(1, int(r.bottom));
  const LONG_PTR shown = GetWindowLongPtrA(h, GWLP_USERDATA);
  HDC dc = CreateCompatibleDC(target);
  HBITMAP bitmap = CreateCompatibleBitmap(target, w, ht);
  HGDIOBJ old = SelectObject(dc, bitmap);
  drawFrame(dc, w, ht, int(shown & 0xFFFF), int(shown >> 16));
  BitBlt(target, 0, 0, w, ht, dc, 0, 0, SRCCOPY);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

LRESULT CALLBACK pictureProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PRINTCLIENT: paint(h, reinterpret_cast<HDC>(wp)); return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      paint(h, dc);
      EndPaint(h, &ps);
      return 0;
    }
    default: return DefWindowProcA(h, msg, wp, lp);
  }
}

}  // namespace

const char kPictureClass[] = "QuillonPicture";

void registerPictureClass(HINSTANCE instance) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = pictureProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kPictureClass;
  RegisterClassExA(&wc);
}

void showFrame(HWND h, const controls::Picture& p) {
  SetWindowLongPtrA(h, GWLP_USERDATA, LONG_PTR(p.frame()) | (LONG_PTR(p.frames) << 16));
  InvalidateRect(h, nullptr, FALSE);
}

}  // namespace quillon::win32
