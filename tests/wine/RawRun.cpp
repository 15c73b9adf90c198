// Starts a Windows program with an exact command line read from a file, sharing our standard
// handles, and exits with its exit code. Wine re-quotes a Unix argv, so tests need this to
// hand the front end the raw bytes they mean. Usage: RawRun COMMANDLINEFILE
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: RawRun COMMANDLINEFILE\n");
    return 250;
  }
  FILE* file = std::fopen(argv[1], "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "RawRun: cannot read %s\n", argv[1]);
    return 251;
  }
  std::string commandLine;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) commandLine.append(buffer, n);
  std::fclose(file);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::fprintf(stderr, "RawRun: CreateProcessA failed with %lu\n", GetLastError());
    return 252;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 253;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return static_cast<int>(code);
}
