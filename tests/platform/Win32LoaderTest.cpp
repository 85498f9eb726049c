// A cabinet.dll planted beside the program is never loaded. Run with WINEDLLOVERRIDES=cabinet=n,b
// under Wine, which otherwise prefers its built-in library and would hide the fault.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/Platform.h"
#include "tests/platform/ScratchFolder.h"

namespace {

std::string Folder(const std::string& path) {
  return path.substr(0, path.find_last_of("\\/"));
}

std::string Lower(std::string text) {
  CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// Runs the probe beside this program with `mode` and returns its exit code.
DWORD RunProbe(const char* mode) {
  const std::string probe = Folder(plat::Native().ProgramPath()) + "\\LoadProbe.exe";
  std::string commandLine = "\"" + probe + "\" " + mode;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(probe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &started)) {
    ADD_FAILURE() << "cannot start " << probe << ": " << GetLastError();
    return 1000;
  }
  WaitForSingleObject(started.hProcess, INFINITE);
  DWORD code = 1000;
  GetExitCodeProcess(started.hProcess, &code);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return code;
}

TEST(Win32Loader, DecoyWouldLoadThroughThePlainSearchOrder) {
  // Shows that the setup is live: without the restriction the decoy is what loads.
  ASSERT_EQ(RunProbe("plain"), 42u)
      << "the decoy beside the program did not load through LoadLibraryA; "
         "is WINEDLLOVERRIDES=cabinet=n,b set?";
}

TEST(Win32Loader, RestrictedSearchSkipsTheDecoy) {
  EXPECT_EQ(RunProbe("restrict"), 0u);
}

TEST(Win32Loader, LoadModuleTakesTheSystemsCabinetLibrary) {
  plat::Platform& os = plat::Native();
  const plat::ModuleHandle cabinet = os.LoadModule("cabinet.dll");
  ASSERT_NE(cabinet, nullptr) << os.LastError();
  EXPECT_EQ(os.FindSymbol(cabinet, "SeDecoyMarker"), nullptr);
  EXPECT_NE(os.FindSymbol(cabinet, "FDICreate"), nullptr);

  char system[MAX_PATH];
  ASSERT_NE(GetSystemDirectoryA(system, MAX_PATH), 0u);
  char loaded[MAX_PATH];
  ASSERT_NE(GetModuleFileNameA(static_cast<HMODULE>(cabinet), loaded, MAX_PATH), 0u);
  EXPECT_EQ(Lower(Folder(loaded)), Lower(system));
  EXPECT_TRUE(os.ReleaseModule(cabinet));
}

using Win32Process = testing_support::ScratchFolder;

TEST_F(Win32Process, RunAndWaitStartsInTheFolderAndWaits) {
  const std::string probe = Folder(plat::Native().ProgramPath()) + "\\LoadProbe.exe";
  ASSERT_TRUE(plat::Native().RunAndWait(probe, Dir()));
  // Only written after a pause: present at once means the call waited for the end.
  EXPECT_EQ(Lower(ReadAll("ran.txt")), Lower(Dir()));
}

}  // namespace
