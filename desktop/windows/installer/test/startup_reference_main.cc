// startup_reference.exe: the reference of the start-up benchmarks (tools/bench_startup.sh,
// tools/bench_single_file.sh). A console program that imports nothing but kernel32, built
// without the C runtime, that prints a version as `installer.exe --version` does: what
// starting any process costs on the platform (under Wine, Wine's own share).

#include <windows.h>

extern "C" void StartupReferenceEntry() {
  static const char kVersion[] = "1.0.0.0";
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), kVersion, sizeof(kVersion) - 1, &written,
              nullptr);
  ::ExitProcess(0);
}
