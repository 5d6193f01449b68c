// The harmless sample threat's running part: it does nothing but wait (at most an hour), so
// that a demonstration scan has a definition-listed program to find in memory and stop.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  Sleep(60 * 60 * 1000);
  return 0;
}
