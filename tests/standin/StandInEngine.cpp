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

void AppendRecord(const char* logPath, int argc, char** argv) {
  FILE* log = std::fopen(logPath, "ab");
  if (log == nullptr) return;
  char cwd[4096] = "";
  if (getcwd(cwd, sizeof cwd) == nullptr) cwd[0] = '\0';
#ifdef _WIN32
  char self[4096] = "";
  GetModuleFileNameA(nullptr, self, sizeof self);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  std::fprintf(log, "self=%s\ncmdline=%s\nflags=%lu\nshow=%u\n", self, GetCommandLineA(),
               static_cast<unsigned long>(startup.dwFlags), static_cast<unsigned>(startup.wShowWindow));
#else
  std::fprintf(log, "self=%s\n", argv[0]);
#endif
  std::fprintf(log, "cwd=%s\nargc=%d\n", cwd, argc);
  for (int i = 1; i < argc; ++i) std::fprintf(log, "arg%d=%s\n", i, argv[i]);
  std::fprintf(log, "end\n");
  std::fclose(log);
}

bool WriteHtml(const std::string& outputBase) {
  FILE* html = std::fopen((outputBase + ".html").c_str(), "wb");
  if (html == nullptr) return false;
  std::fputs("<!DOCTYPE html><title>stand-in</title>\n", html);
  return std::fclose(html) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* logPath = std::getenv("QUIRECAST_STANDIN_LOG")) AppendRecord(logPath, argc, argv);
  const char* modeVariable = std::getenv("QUIRECAST_STANDIN");
  const std::string mode = modeVariable != nullptr ? modeVariable : "write";
  if (argc != 3 || mode == "fail") return 3;

  if (mode == "sleep") std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  if (mode == "print") {
    for (int i = 0; i < 1000; ++i) std::printf("stand-in engine output line %d\n", i);
    std::fprintf(stderr, "stand-in engine error output\n");
  }
  if (!WriteHtml(argv[2])) return 4;
  return mode == "write-fail" ? 5 : 0;
}
