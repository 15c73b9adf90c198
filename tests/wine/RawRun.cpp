// Starts a Windows program with an exact command line read from a file, sharing our standard
// handles, and exits with its exit code. Wine re-quotes a Unix argv, so tests need this to
// hand the front end the raw bytes they mean. Usage: RawRun COMMANDLINEFILE
#include <windows.h>

#include <cstdio>
#include <string>

int main(int Argc, char** Argv) {
  if (Argc != 2) {
    std::fprintf(stderr, "usage: RawRun COMMANDLINEFILE\n");
    return 250;
  }
  FILE* File = std::fopen(Argv[1], "rb");
  if (File == nullptr) {
    std::fprintf(stderr, "RawRun: cannot read %s\n", Argv[1]);
    return 251;
  }
  std::string CommandLine;
  char Buffer[4096];
  for (size_t Count; (Count = std::fread(Buffer, 1, sizeof Buffer, File)) > 0;) {
    CommandLine.append(Buffer, Count);
  }
  std::fclose(File);

  STARTUPINFOA Startup{};
  Startup.cb = sizeof Startup;
  Startup.dwFlags = STARTF_USESTDHANDLES;
  Startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  Startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  Startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION Process{};
  // Now and then, while other wine tests run beside this one, wine fails to start a process
  // (error 1359, an internal error): the start is tried three times.
  bool Started = false;
  for (int Attempt = 0; Attempt < 3 && !Started; ++Attempt) {
    if (Attempt > 0) Sleep(200);
    Started = CreateProcessA(nullptr, CommandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &Startup, &Process);
  }
  if (!Started) {
    std::fprintf(stderr, "RawRun: CreateProcessA failed with %lu\n", GetLastError());
    return 252;
  }
  WaitForSingleObject(Process.hProcess, INFINITE);
  DWORD Code = 253;
  GetExitCodeProcess(Process.hProcess, &Code);
  CloseHandle(Process.hProcess);
  CloseHandle(Process.hThread);
  return static_cast<int>(Code);
}
