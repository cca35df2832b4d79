// A program built without the hardening of the shipped ones, so the property check can show
// that each of its checks fails where the property is missing.
#include <windows.h>

#include <cstring>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR command_line, int) {
  char copy[64] = {};
  std::strncpy(copy, reinterpret_cast<const char*>(command_line), sizeof copy - 1);
  return copy[0] == 0 ? 0 : 1;
}
