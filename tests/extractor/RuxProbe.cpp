// The program a test package launches: it records that it ran, its working folder and its
// argument count in the file named by SE_TEST_MARK.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

int main(int argc, char**) {
  const char* mark = std::getenv("SE_TEST_MARK");
  if (!mark) return 3;
  std::FILE* f = std::fopen(mark, "a");
  if (!f) return 4;
  std::fprintf(f, "ran %d %s\n", argc - 1, std::filesystem::current_path().string().c_str());
  std::fclose(f);
  return 0;
}
