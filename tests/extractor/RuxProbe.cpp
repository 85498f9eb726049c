// The program a test package launches. It records in the file named by SE_TEST_MARK that it
// ran, with its argument count and working folder (UTF-8). With SE_TEST_PLANT naming a folder
// outside the work folder, holding a read-only "ro.txt", it also leaves behind what clean-up
// must remove without touching anything outside: a hard link and a symbolic link to that file,
// a symbolic link and a junction to the folder, and a read-only file with a Cyrillic name.
// Each plant is recorded as made or not (Wine does not support every kind).
#include <windows.h>
#include <winioctl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

// The layout of a mount-point reparse buffer (the DDK's REPARSE_DATA_BUFFER, junction case).
struct MountPointBuffer {
  DWORD tag;
  WORD dataLength;
  WORD reserved;
  WORD substituteOffset, substituteLength, printOffset, printLength;
  wchar_t paths[512];
};

bool MakeJunction(const std::wstring& link, const std::wstring& target) {
  if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
  const HANDLE folder =
      CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return RemoveDirectoryW(link.c_str()), false;
  const std::wstring substitute = L"\\??\\" + target;
  MountPointBuffer buffer{};
  buffer.tag = IO_REPARSE_TAG_MOUNT_POINT;
  const WORD bytes = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
  std::memcpy(buffer.paths, substitute.c_str(), bytes + sizeof(wchar_t));
  buffer.substituteLength = bytes;
  buffer.printOffset = static_cast<WORD>(bytes + sizeof(wchar_t));
  buffer.dataLength = static_cast<WORD>(8 + bytes + 2 * sizeof(wchar_t));
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, &buffer, 8 + buffer.dataLength,
                                  nullptr, 0, &returned, nullptr);
  CloseHandle(folder);
  if (!ok) RemoveDirectoryW(link.c_str());
  return ok != FALSE;
}

constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE

}  // namespace

int main(int argc, char**) {
  const wchar_t* mark = _wgetenv(L"SE_TEST_MARK");
  if (!mark) return 3;
  std::FILE* f = _wfopen(mark, L"ab");
  if (!f) return 4;
  wchar_t here[1024];
  const DWORD length = GetCurrentDirectoryW(1024, here);
  std::fprintf(f, "ran %d %s\n", argc - 1, Utf8(std::wstring(here, length)).c_str());

  if (const wchar_t* outside = _wgetenv(L"SE_TEST_PLANT")) {
    const std::wstring target = std::wstring(outside) + L"\\ro.txt";
    struct Plant {
      const char* what;
      bool made;
    };
    const std::wstring own = L"\x0444\x0430\x0439\x043B.txt";  // "файл.txt"
    HANDLE file = CreateFileW(own.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    const bool ownMade = file != INVALID_HANDLE_VALUE && CloseHandle(file) &&
                         SetFileAttributesW(own.c_str(), FILE_ATTRIBUTE_READONLY);
    const Plant plants[] = {
        {"hardlink", CreateHardLinkW(L"hard.txt", target.c_str(), nullptr) != FALSE},
        {"filesymlink", CreateSymbolicLinkW(L"filelink", target.c_str(), kUnprivileged) != FALSE},
        {"dirsymlink", CreateSymbolicLinkW(L"dirlink", outside, kUnprivileged | 0x1) != FALSE},
        {"junction", MakeJunction(std::wstring(here, length) + L"\\junction", outside)},
        {"readonly-cyrillic", ownMade},
    };
    for (const auto& plant : plants) {
      std::fprintf(f, "%s %s\n", plant.made ? "planted" : "not-planted", plant.what);
    }
  }
  std::fclose(f);
  return 0;
}
