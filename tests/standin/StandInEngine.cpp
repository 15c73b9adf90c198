// A stand-in conversion engine for the front end's tests. QUIRECAST_STANDIN picks what it does
// (write, fail, sleep, print, write-fail); QUIRECAST_STANDIN_LOG, when set, names a file to
// which it appends what it received, so tests can see exactly how it was started.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#ifdef _WIN32
#include <direct.h>
#include <windows.h>
#define getcwd _getcwd
#else
#include <unistd.h>
#endif

namespace {

void AppendRecord(const char* LogPath, int Argc, char** Argv) {
  FILE* Log = std::fopen(LogPath, "ab");
  if (Log == nullptr) return;
  char Cwd[4096] = "";
  if (getcwd(Cwd, sizeof Cwd) == nullptr) Cwd[0] = '\0';
#ifdef _WIN32
  char Self[4096] = "";
  GetModuleFileNameA(nullptr, Self, sizeof Self);
  STARTUPINFOA Startup{};
  Startup.cb = sizeof Startup;
  GetStartupInfoA(&Startup);
  std::fprintf(Log, "self=%s\ncmdline=%s\nflags=%lu\nshow=%u\n", Self, GetCommandLineA(),
               static_cast<unsigned long>(Startup.dwFlags), static_cast<unsigned>(Startup.wShowWindow));
#else
  std::fprintf(Log, "self=%s\n", Argv[0]);
#endif
  std::fprintf(Log, "cwd=%s\nargc=%d\n", Cwd, Argc);
  for (int Index = 1; Index < Argc; ++Index) std::fprintf(Log, "arg%d=%s\n", Index, Argv[Index]);
  std::fprintf(Log, "end\n");
  std::fclose(Log);
}

bool WriteHtml(const std::string& OutputBase) {
  FILE* Html = std::fopen((OutputBase + ".html").c_str(), "wb");
  if (Html == nullptr) return false;
  std::fputs("<!DOCTYPE html><title>stand-in</title>\n", Html);
  return std::fclose(Html) == 0;
}

}  // namespace

int main(int Argc, char** Argv) {
  if (const char* LogPath = std::getenv("QUIRECAST_STANDIN_LOG")) AppendRecord(LogPath, Argc, Argv);
  const char* ModeVariable = std::getenv("QUIRECAST_STANDIN");
  const std::string Mode = ModeVariable != nullptr ? ModeVariable : "write";
  if (Argc != 3 || Mode == "fail") return 3;

  if (Mode == "sleep") std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  if (Mode == "print") {
    for (int Index = 0; Index < 1000; ++Index) std::printf("stand-in engine output line %d\n", Index);
    std::fprintf(stderr, "stand-in engine error output\n");
  }
  if (!WriteHtml(Argv[2])) return 4;
  return Mode == "write-fail" ? 5 : 0;
}
