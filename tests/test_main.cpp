#include <gtest/gtest.h>
#include <windows.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Tests make and delete folders: should a relative path ever slip through, it must land in
  // the temporary folder, never in the source tree the tests were started from.
  char temp[MAX_PATH];
  if (GetTempPathA(MAX_PATH, temp)) SetCurrentDirectoryA(temp);
  return RUN_ALL_TESTS();
}
