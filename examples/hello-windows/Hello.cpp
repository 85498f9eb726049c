// The Windows demo package's program: a greeting from the folder the stub extracted it to.
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char folder[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, folder);
  std::string text = "Hello! This greeting was packed with sepack and extracted by the stub into\n";
  text += folder;
  text += "\nwhich is removed again when you press OK.";
  MessageBoxA(nullptr, text.c_str(), "Hello from the demo package", MB_OK | MB_ICONINFORMATION);
  return 0;
}
