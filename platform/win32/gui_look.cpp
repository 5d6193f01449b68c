// The look every form shares: the window class of pages and frames, the dialog font and the
// small kind icons of the results lists, drawn here.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <vector>

#include "platform/win32/gui_kinds.h"

namespace quillon::win32 {

const char kPanelClass[] = "QuillonPanel";

namespace {

// Pages and tab frames pass their children's notifications up to the form. A frame with a
// caption is drawn as a group box: an etched border with the caption set into its top edge.
LRESULT CALLBACK panelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  const char* kFontProp = "QuillonFont";
  switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
      return SendMessageA(GetAncestor(hwnd, GA_ROOT), msg, wp, lp);
    case WM_SETFONT:
      SetPropA(hwnd, kFontProp, reinterpret_cast<HANDLE>(wp));
      return 0;
    case WM_NCDESTROY:
      RemovePropA(hwnd, kFontProp);
      break;
    case WM_SETTEXT: {
      LRESULT r = DefWindowProcA(hwnd, msg, wp, lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return r;
    }
    case WM_PAINT: {
      char caption[256] = {0};
      GetWindowTextA(hwnd, caption, sizeof caption);
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      if (caption[0]) {
        HGDIOBJ oldFont = SelectObject(dc, static_cast<HFONT>(GetPropA(hwnd, kFontProp)));
        TEXTMETRICA tm;
        GetTextMetricsA(dc, &tm);
        RECT r;
        GetClientRect(hwnd, &r);
        r.top += tm.tmHeight / 2;
        DrawEdge(dc, &r, EDGE_ETCHED, BF_RECT);
        SIZE size;
        GetTextExtentPoint32A(dc, caption, int(strlen(caption)), &size);
        RECT text{8, 0, 8 + size.cx + 4, tm.tmHeight};
        FillRect(dc, &text, GetSysColorBrush(COLOR_BTNFACE));
        SetBkMode(dc, TRANSPARENT);
        TextOutA(dc, 10, 0, caption, int(strlen(caption)));
        SelectObject(dc, oldFont);
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// Small kind icons for the results lists, drawn here: 0 none, 1 cookie, 2 registry entry,
// 3 file or process, 4 folder, 5 excluded. Magenta is the see-through background.
constexpr COLORREF kSeeThrough = RGB(255, 0, 255);

struct Painter {
  HDC dc;
  void shape(COLORREF fill, COLORREF edge, const std::function<void()>& draw) {
    HBRUSH b = CreateSolidBrush(fill);
    HPEN p = CreatePen(PS_SOLID, 1, edge);
    HGDIOBJ ob = SelectObject(dc, b), op = SelectObject(dc, p);
    draw();
    SelectObject(dc, ob);
    SelectObject(dc, op);
    DeleteObject(b);
    DeleteObject(p);
  }
  void rect(int l, int t, int r, int b, COLORREF fill, COLORREF edge) {
    shape(fill, edge, [&] { Rectangle(dc, l, t, r, b); });
  }
  void ellipse(int l, int t, int r, int b, COLORREF fill, COLORREF edge) {
    shape(fill, edge, [&] { Ellipse(dc, l, t, r, b); });
  }
  void polygon(std::initializer_list<POINT> pts, COLORREF fill, COLORREF edge) {
    std::vector<POINT> v(pts);
    shape(fill, edge, [&] { Polygon(dc, v.data(), int(v.size())); });
  }
  void line(std::initializer_list<POINT> pts, COLORREF colour, int width) {
    std::vector<POINT> v(pts);
    HPEN p = CreatePen(PS_SOLID, width, colour);
    HGDIOBJ op = SelectObject(dc, p);
    Polyline(dc, v.data(), int(v.size()));
    SelectObject(dc, op);
    DeleteObject(p);
  }
};

void drawCookie(Painter& p) {
  p.ellipse(1, 1, 15, 15, RGB(214, 160, 82), RGB(128, 82, 30));
  p.ellipse(10, -2, 17, 5, kSeeThrough, kSeeThrough);  // a bite out of it
  for (POINT chip : {POINT{4, 5}, POINT{8, 9}, POINT{4, 10}, POINT{10, 6}, POINT{7, 4}})
    p.rect(chip.x, chip.y, chip.x + 2, chip.y + 2, RGB(90, 50, 20), RGB(90, 50, 20));
}

void drawRegistry(Painter& p) {
  const COLORREF fill = RGB(72, 128, 206), edge = RGB(28, 60, 120);
  p.rect(1, 8, 8, 15, fill, edge);
  p.rect(8, 8, 15, 15, RGB(110, 160, 226), edge);
  p.rect(4, 1, 11, 8, RGB(150, 190, 240), edge);
}

void drawFile(Painter& p) {
  const COLORREF edge = RGB(96, 96, 96);
  p.polygon({{2, 0}, {10, 0}, {14, 4}, {14, 15}, {2, 15}}, RGB(255, 255, 255), edge);
  p.polygon({{10, 0}, {10, 4}, {14, 4}}, RGB(210, 210, 210), edge);
  for (int y : {6, 8, 10}) p.line({{4, y}, {12, y}}, RGB(150, 150, 150), 1);
  p.rect(4, 12, 9, 14, RGB(204, 40, 40), RGB(150, 20, 20));  // what makes it a finding
}

void drawFolder(Painter& p) {
  const COLORREF edge = RGB(160, 120, 10);
  p.polygon({{0, 3}, {5, 3}, {7, 5}, {15, 5}, {15, 14}, {0, 14}}, RGB(238, 196, 66), edge);
  p.rect(0, 7, 16, 15, RGB(252, 222, 110), edge);
}

void drawExcluded(Painter& p) {
  p.ellipse(0, 0, 16, 16, RGB(70, 170, 60), RGB(30, 110, 30));
  p.line({{4, 8}, {7, 11}, {12, 4}}, RGB(255, 255, 255), 2);
}

HIMAGELIST makeIcons() {
  HIMAGELIST il = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 6, 0);
  void (*const draw[])(Painter&) = {nullptr, drawCookie, drawRegistry, drawFile, drawFolder, drawExcluded};
  HDC screen = GetDC(nullptr);
  for (auto* d : draw) {
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ old = SelectObject(dc, bmp);
    HBRUSH back = CreateSolidBrush(kSeeThrough);
    RECT all{0, 0, 16, 16};
    FillRect(dc, &all, back);
    DeleteObject(back);
    Painter p{dc};
    if (d) d(p);
    SelectObject(dc, old);
    DeleteDC(dc);
    ImageList_AddMasked(il, bmp, kSeeThrough);
    DeleteObject(bmp);
  }
  ReleaseDC(nullptr, screen);
  return il;
}

}  // namespace

void registerPanelClass(HINSTANCE instance) {
  WNDCLASSA wc{};
  // A page that shrinks with the window draws its border again at its new edge.
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = panelProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kPanelClass;
  RegisterClassA(&wc);
}

Look makeLook() {
  Look look;
  look.icons = makeIcons();
  NONCLIENTMETRICSA ncm{};
  ncm.cbSize = sizeof ncm;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
  look.font = CreateFontIndirectA(&ncm.lfMessageFont);
  return look;
}

int systemDpi() {
  static const int dpi = [] {
    HDC screen = GetDC(nullptr);
    const int d = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return d > 0 ? d : 96;
  }();
  return dpi;
}

int scaled(int units) { return MulDiv(units, systemDpi(), 96); }
int unscaled(int pixels) { return MulDiv(pixels, 96, systemDpi()); }

RECT scaledRect(int x, int y, int w, int h) { return RECT{scaled(x), scaled(y), scaled(x + w), scaled(y + h)}; }

void freeLook(Look& look) {
  if (look.icons) ImageList_Destroy(look.icons);
  if (look.font) DeleteObject(look.font);
  look = Look{};
}

}  // namespace quillon::win32
