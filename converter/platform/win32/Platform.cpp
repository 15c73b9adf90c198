// Win32 services of the engine: wide-character paths, mapped input, workers in a job, overlapped pipes.
#include "platform/Platform.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <ntsecapi.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>

namespace Engine::Platform {

namespace {

HANDLE Handle(intptr_t Value) { return reinterpret_cast<HANDLE>(Value); }
intptr_t Value(HANDLE Handle) { return reinterpret_cast<intptr_t>(Handle); }

// Closes a kernel handle on every path out of a scope.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE Handle = nullptr) : Handle_(Handle) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() {
    if (Valid()) CloseHandle(Handle_);
  }
  HANDLE Get() const { return Handle_; }
  HANDLE Release() {
    HANDLE Out = Handle_;
    Handle_ = nullptr;
    return Out;
  }
  bool Valid() const { return Handle_ != nullptr && Handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE Handle_;
};

std::wstring Wide(std::string_view Text) {
  if (Text.empty()) return {};
  const int Size = MultiByteToWideChar(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
  std::wstring Out(static_cast<size_t>(Size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), Out.data(), Size);
  return Out;
}

std::string Utf8(const wchar_t* Text, int Length = -1) {
  const int Size = WideCharToMultiByte(CP_UTF8, 0, Text, Length, nullptr, 0, nullptr, nullptr);
  if (Size <= 0) return {};
  std::string Out(static_cast<size_t>(Size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Text, Length, Out.data(), Size, nullptr, nullptr);
  if (Length < 0) Out.pop_back();  // the terminating zero
  return Out;
}

// The system's text for Error, saved by the caller before any other call could change it.
std::string SystemMessage(DWORD Error) {
  wchar_t* Text = nullptr;
  const DWORD Length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     Error, 0, reinterpret_cast<wchar_t*>(&Text), 0, nullptr);
  std::string Out = Length > 0 ? Utf8(Text, static_cast<int>(Length)) : "error " + std::to_string(Error);
  if (Text != nullptr) LocalFree(Text);
  while (!Out.empty() && (Out.back() == '\n' || Out.back() == '\r' || Out.back() == ' ' || Out.back() == '.')) Out.pop_back();
  return Out;
}

HANDLE MessageHandle = INVALID_HANDLE_VALUE;

HANDLE OpenNull(bool Inheritable) {
  SECURITY_ATTRIBUTES Security = {sizeof Security, nullptr, Inheritable ? TRUE : FALSE};
  return CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &Security, OPEN_EXISTING,
                     0, nullptr);
}

// The C runtime's descriptors 0 to 2 and the process's standard handles lead nowhere from here on.
void StandardStreamsToNull() {
  const int Null = _open("NUL", _O_RDWR | _O_BINARY);
  if (Null >= 0) {
    for (const int Fd : {0, 1, 2}) _dup2(Null, Fd);
    _close(Null);
  }
  for (const DWORD Which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) SetStdHandle(Which, OpenNull(false));
}

bool WriteAllHandle(HANDLE Where, std::string_view Bytes) {
  while (!Bytes.empty()) {
    DWORD Written = 0;
    const DWORD Chunk = static_cast<DWORD>(std::min<size_t>(Bytes.size(), 1u << 30));
    if (!WriteFile(Where, Bytes.data(), Chunk, &Written, nullptr) || Written == 0) return false;
    Bytes.remove_prefix(Written);
  }
  return true;
}

// The workers' job: it kills them all when the engine ends, however it ends, and caps each
// one's memory. Its handle is never inherited, so only the engine holds it.
HANDLE Job = nullptr;

// Workers to stop before the clean-up on Ctrl+C or console close, which runs on its own thread.
constexpr int MaxWorkers = 64;
std::atomic<HANDLE> Workers[MaxWorkers];
void (*volatile CleanUp)() = nullptr;
// Held from a worker's creation until it is in the job and on record; the clean-up takes it for
// good, so that no worker is left suspended outside the job when the engine exits.
SRWLOCK Starting = SRWLOCK_INIT;

void Record(HANDLE Process, HANDLE Replaced) {
  for (auto& Slot : Workers) {
    HANDLE Expected = Replaced;
    if (Slot.compare_exchange_strong(Expected, Process)) return;
  }
}

BOOL WINAPI OnConsoleEvent(DWORD Event) {
  switch (Event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: break;
    default: return FALSE;
  }
  AcquireSRWLockExclusive(&Starting);
  if (Job != nullptr) TerminateJobObject(Job, 1);
  for (auto& Slot : Workers) {
    const HANDLE Process = Slot.load();
    if (Process != nullptr) WaitForSingleObject(Process, 5000);
  }
  if (CleanUp != nullptr) CleanUp();
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

// What a worker, a copy of this program on this system, can address: a 32-bit one 2 GiB, or
// 3 GiB on 32-bit Windows booted for it, and 4 GiB on 64-bit Windows, being large-address-aware.
uint64_t AddressableBytes() {
  SYSTEM_INFO Info = {};
  GetSystemInfo(&Info);
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(Info.lpMaximumApplicationAddress)) + 1;
}

bool EnsureJob(uint64_t MemoryCap, std::string& Reason) {
  if (Job != nullptr) return true;
  // A cap beyond what the worker can address means nothing, and would not fit the job's limit.
  MemoryCap = std::min(MemoryCap, AddressableBytes());
  Job = CreateJobObjectW(nullptr, nullptr);
  if (Job == nullptr) {
    Reason = SystemMessage(GetLastError());
    return false;
  }
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION Limits = {};
  Limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE |
                                            JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  if (MemoryCap > 0) {
    Limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_PROCESS_MEMORY;
    Limits.ProcessMemoryLimit = static_cast<SIZE_T>(MemoryCap);
  }
  SetInformationJobObject(Job, JobObjectExtendedLimitInformation, &Limits, sizeof Limits);
  return true;
}

std::wstring OwnPath() {
  std::wstring Path(MAX_PATH, L'\0');
  while (true) {
    const DWORD Length = GetModuleFileNameW(nullptr, Path.data(), static_cast<DWORD>(Path.size()));
    if (Length == 0) return {};
    if (Length < Path.size()) {
      Path.resize(Length);
      return Path;
    }
    if (Path.size() >= 32768) return {};
    Path.resize(Path.size() * 2);
  }
}

// A read from a worker's output that may still be in progress.
struct PendingRead {
  OVERLAPPED Overlapped = {};
  ScopedHandle Event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  char Buffer[65536];
  bool InFlight = false;
};

// How long stopping a worker waits for its end and for its cancelled read.
constexpr DWORD StopWaitMilliseconds = 5000;

// Cancels a read in progress and waits, within a bound, until it has completed; false when it
// has not, so that its buffer must stay.
bool CancelRead(HANDLE Output, PendingRead& Read) {
  CancelIoEx(Output, &Read.Overlapped);
  if (WaitForSingleObject(Read.Event.Get(), StopWaitMilliseconds) != WAIT_OBJECT_0) return false;
  DWORD Got = 0;
  if (!GetOverlappedResult(Output, &Read.Overlapped, &Got, FALSE) && GetLastError() == ERROR_IO_INCOMPLETE) return false;
  Read.InFlight = false;
  return true;
}

// Starts a read unless one is in progress; false when the worker's output has ended.
bool Issue(HANDLE Output, PendingRead& Read) {
  if (Read.InFlight) return true;
  ResetEvent(Read.Event.Get());
  Read.Overlapped = {};
  Read.Overlapped.hEvent = Read.Event.Get();
  if (!ReadFile(Output, Read.Buffer, sizeof Read.Buffer, nullptr, &Read.Overlapped) &&
      GetLastError() != ERROR_IO_PENDING) {
    return false;
  }
  Read.InFlight = true;
  return true;
}

}  // namespace

const bool BackslashSeparates = true;

std::vector<std::string> Arguments(int Argc, char** Argv) {
  // argv is in the ANSI code page, which cannot hold every name; the wide command line can.
  int Count = 0;
  wchar_t** Wides = CommandLineToArgvW(GetCommandLineW(), &Count);
  if (Wides == nullptr) return std::vector<std::string>(Argv, Argv + Argc);
  std::vector<std::string> Out;
  for (int I = 0; I < Count; ++I) Out.push_back(Utf8(Wides[I]));
  LocalFree(Wides);
  return Out;
}

void QuietLibraryMessages() {
  HANDLE Own = GetCurrentProcess();
  if (!DuplicateHandle(Own, GetStdHandle(STD_ERROR_HANDLE), Own, &MessageHandle, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    MessageHandle = INVALID_HANDLE_VALUE;
  }
  StandardStreamsToNull();
}

void WriteMessage(std::string_view Line) {
  HANDLE Where = MessageHandle != INVALID_HANDLE_VALUE ? MessageHandle : GetStdHandle(STD_ERROR_HANDLE);
  DWORD Mode = 0;
  if (GetConsoleMode(Where, &Mode)) {
    // A console shows UTF-16 whatever its code page.
    const std::wstring Text = Wide(std::string(Line) + "\r\n");
    DWORD Written = 0;
    WriteConsoleW(Where, Text.data(), static_cast<DWORD>(Text.size()), &Written, nullptr);
    return;
  }
  WriteAllHandle(Where, std::string(Line) + "\n");
}

void EndProcess(int Status) { std::exit(Status); }

InputFile::~InputFile() {
  if (Data_ != nullptr) UnmapViewOfFile(Data_);
}

InputStatus InputFile::Open(const std::string& Path, std::string& Reason) {
  const std::wstring Name = Wide(Path);
  const DWORD Attributes = GetFileAttributesW(Name.c_str());
  if (Attributes == INVALID_FILE_ATTRIBUTES) {
    Reason = SystemMessage(GetLastError());
    return InputStatus::Missing;
  }
  if (Attributes & FILE_ATTRIBUTE_DIRECTORY) return InputStatus::Folder;
  const ScopedHandle File(CreateFileW(Name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!File.Valid()) {
    Reason = SystemMessage(GetLastError());
    return InputStatus::Missing;
  }
  // Pipes, consoles and devices (NUL, COM1) could block or never end.
  if (GetFileType(File.Get()) != FILE_TYPE_DISK) return InputStatus::NotRegular;
  LARGE_INTEGER Size = {};
  if (!GetFileSizeEx(File.Get(), &Size)) {
    Reason = SystemMessage(GetLastError());
    return InputStatus::Missing;
  }
  if (Size.QuadPart == 0) return InputStatus::Empty;
  if (static_cast<uint64_t>(Size.QuadPart) > static_cast<SIZE_T>(-1) / 2) {
    Reason = "the file is too big to read";
    return InputStatus::Missing;
  }
  const ScopedHandle Mapping(CreateFileMappingW(File.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  void* View = Mapping.Valid() ? MapViewOfFile(Mapping.Get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
  if (View == nullptr) {
    Reason = SystemMessage(GetLastError());
    return InputStatus::Missing;
  }
  Data_ = static_cast<const char*>(View);
  Size_ = static_cast<size_t>(Size.QuadPart);
  return InputStatus::Opened;
}

OutputFile::~OutputFile() {
  if (Handle_ != -1) CloseHandle(Handle(Handle_));
}

CreateStatus OutputFile::CreateNew(const std::string& Path, std::string& Reason) {
  const std::wstring Name = Wide(Path);
  const HANDLE File = CreateFileW(Name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (File == INVALID_HANDLE_VALUE) {
    const DWORD Error = GetLastError();
    Reason = SystemMessage(Error);
    // A folder in the way is refused as access denied.
    const bool Taken = Error == ERROR_FILE_EXISTS || Error == ERROR_ALREADY_EXISTS ||
                       (Error == ERROR_ACCESS_DENIED && GetFileAttributesW(Name.c_str()) != INVALID_FILE_ATTRIBUTES);
    return Taken ? CreateStatus::Exists : CreateStatus::Failed;
  }
  Handle_ = Value(File);
  return CreateStatus::Created;
}

bool OutputFile::Rewrite(const std::string& Path, std::string& Reason) {
  const HANDLE File = CreateFileW(Wide(Path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, TRUNCATE_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (File == INVALID_HANDLE_VALUE) {
    Reason = SystemMessage(GetLastError());
    return false;
  }
  // A link put in place of the temporary is not written through.
  BY_HANDLE_FILE_INFORMATION Info = {};
  if (!GetFileInformationByHandle(File, &Info) || (Info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    CloseHandle(File);
    Reason = "the temporary file was replaced";
    return false;
  }
  Handle_ = Value(File);
  return true;
}

bool OutputFile::Write(std::string_view Bytes, std::string& Reason) {
  if (WriteAllHandle(Handle(Handle_), Bytes)) return true;
  Reason = SystemMessage(GetLastError());
  return false;
}

bool OutputFile::Finish(std::string& Reason, bool ToDisk) {
  const HANDLE File = Handle(Handle_);
  Handle_ = -1;
  const bool Flushed = !ToDisk || FlushFileBuffers(File);
  DWORD Error = GetLastError();
  const bool Closed = CloseHandle(File);
  if (!Closed) Error = GetLastError();
  if (Flushed && Closed) return true;
  Reason = SystemMessage(Error);
  return false;
}

bool MoveIntoPlace(const std::string& From, const std::string& To, std::string& Reason) {
  // rename() would fail over an existing file here.
  if (MoveFileExW(Wide(From).c_str(), Wide(To).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  Reason = SystemMessage(GetLastError());
  return false;
}

void RemoveFile(const char* Path) { DeleteFileW(Wide(Path).c_str()); }

bool IsFolder(const std::string& Path) {
  const DWORD Attributes = GetFileAttributesW(Wide(Path).c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileSize(const std::string& Path, uint64_t& Bytes) {
  WIN32_FILE_ATTRIBUTE_DATA Info = {};
  if (!GetFileAttributesExW(Wide(Path).c_str(), GetFileExInfoStandard, &Info) ||
      (Info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  Bytes = (static_cast<uint64_t>(Info.nFileSizeHigh) << 32) | Info.nFileSizeLow;
  return true;
}

uint64_t RandomNumber() {
  uint64_t Value = 0;
  if (RtlGenRandom(&Value, sizeof Value)) return Value;
  LARGE_INTEGER Now = {};
  QueryPerformanceCounter(&Now);
  return static_cast<uint64_t>(GetCurrentProcessId()) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(Now.QuadPart);
}

void OnTermination(void (*Clean)()) {
  CleanUp = Clean;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

WorkerProcess::~WorkerProcess() { Stop(); }

bool WorkerProcess::Start(const std::vector<std::string>& Args, WorkerEntry /*Entry: main calls it*/,
                          uint64_t MemoryCap, std::string& Reason) {
  if (!EnsureJob(MemoryCap, Reason)) return false;
  static std::atomic<unsigned> Counter{0};
  const std::wstring PipeName = L"\\\\.\\pipe\\quirecast-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(++Counter) + L"-" + std::to_wstring(RandomNumber() & 0xFFFFFFFF);
  ScopedHandle Output(CreateNamedPipeW(PipeName.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
                                       65536, 0, nullptr));
  if (!Output.Valid()) {
    Reason = SystemMessage(GetLastError());
    return false;
  }
  // Only the worker's ends are inheritable, and only while it is being created.
  SECURITY_ATTRIBUTES Inherit = {sizeof Inherit, nullptr, TRUE};
  const ScopedHandle WorkerOutput(CreateFileW(PipeName.c_str(), GENERIC_WRITE, 0, &Inherit, OPEN_EXISTING, 0, nullptr));
  HANDLE WorkerInputRaw = nullptr, InputRaw = nullptr;
  if (!WorkerOutput.Valid() || !CreatePipe(&WorkerInputRaw, &InputRaw, nullptr, 65536)) {
    Reason = SystemMessage(GetLastError());
    return false;
  }
  const ScopedHandle WorkerInput(WorkerInputRaw);
  ScopedHandle Input(InputRaw);
  SetHandleInformation(WorkerInput.Get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  const ScopedHandle WorkerErrors(OpenNull(true));

  std::wstring Command = L"\"" + OwnPath() + L"\"";
  for (const std::string& Arg : Args) Command += L" " + Wide(Arg);  // plain words: mode, numbers
  STARTUPINFOW Startup = {};
  Startup.cb = sizeof Startup;
  Startup.dwFlags = STARTF_USESTDHANDLES;
  Startup.hStdInput = WorkerInput.Get();
  Startup.hStdOutput = WorkerOutput.Get();
  Startup.hStdError = WorkerErrors.Get();
  PROCESS_INFORMATION Process = {};
  AcquireSRWLockExclusive(&Starting);
  // No console: Ctrl+C reaches the engine alone, which stops its workers itself.
  if (!CreateProcessW(nullptr, Command.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr,
                      nullptr, &Startup, &Process)) {
    Reason = SystemMessage(GetLastError());
    ReleaseSRWLockExclusive(&Starting);
    return false;
  }
  if (!AssignProcessToJobObject(Job, Process.hProcess)) {
    Reason = SystemMessage(GetLastError());
    TerminateProcess(Process.hProcess, 1);
    ReleaseSRWLockExclusive(&Starting);
    CloseHandle(Process.hThread);
    CloseHandle(Process.hProcess);
    return false;
  }
  Record(Process.hProcess, nullptr);
  ReleaseSRWLockExclusive(&Starting);
  ResumeThread(Process.hThread);
  CloseHandle(Process.hThread);
  Handle_ = Value(Process.hProcess);
  Input_ = Value(Input.Release());
  Output_ = Value(Output.Release());
  Pending_ = new PendingRead;
  return true;
}

bool WorkerProcess::Send(std::string_view Bytes) { return Input_ != -1 && WriteAllHandle(Handle(Input_), Bytes); }

bool WorkerProcess::Receive(std::string& Into) {
  if (Output_ == -1) return false;
  auto& Read = *static_cast<PendingRead*>(Pending_);
  while (true) {
    if (!Issue(Handle(Output_), Read)) break;
    DWORD Got = 0;
    if (!GetOverlappedResult(Handle(Output_), &Read.Overlapped, &Got, FALSE)) {
      if (GetLastError() == ERROR_IO_INCOMPLETE) return true;
      Read.InFlight = false;
      break;
    }
    Read.InFlight = false;
    Into.append(Read.Buffer, Got);
  }
  CloseHandle(Handle(Output_));
  Output_ = -1;
  return false;
}

void WorkerProcess::Stop() {
  if (Handle_ != -1) {
    const HANDLE Process = Handle(Handle_);
    TerminateProcess(Process, 1);
    // A process held up in the system may outlast this wait; the job still ends it with the engine.
    WaitForSingleObject(Process, StopWaitMilliseconds);
    Record(nullptr, Process);
    CloseHandle(Process);
    Handle_ = -1;
  }
  auto* Read = static_cast<PendingRead*>(Pending_);
  if (Output_ != -1) {
    // The buffer must outlive the read that writes into it: a read whose cancellation is not
    // seen to complete keeps its buffer for the rest of the run rather than hold the engine.
    if (Read != nullptr && Read->InFlight && !CancelRead(Handle(Output_), *Read)) Read = nullptr;
    CloseHandle(Handle(Output_));
  }
  if (Input_ != -1) CloseHandle(Handle(Input_));
  delete Read;
  Pending_ = nullptr;
  Input_ = Output_ = -1;
}

int WaitForWorkers(const std::vector<WorkerProcess*>& Workers, int64_t Milliseconds) {
  std::vector<HANDLE> Events;
  std::vector<int> Index;
  for (size_t I = 0; I < Workers.size(); ++I) {
    WorkerProcess* Each = Workers[I];
    if (Each == nullptr) continue;
    if (Each->Output_ == -1) {
      if (Each->Handle_ != -1) return static_cast<int>(I);
      continue;
    }
    auto& Read = *static_cast<PendingRead*>(Each->Pending_);
    if (!Issue(Handle(Each->Output_), Read)) return static_cast<int>(I);  // its output has ended
    Events.push_back(Read.Event.Get());
    Index.push_back(static_cast<int>(I));
  }
  if (Events.empty()) {
    if (Milliseconds > 0) Sleep(static_cast<DWORD>(std::min<int64_t>(Milliseconds, 1 << 30)));
    return -1;
  }
  const DWORD Timeout = Milliseconds < 0 ? INFINITE : static_cast<DWORD>(std::min<int64_t>(Milliseconds, 1 << 30));
  const DWORD Ready = WaitForMultipleObjects(static_cast<DWORD>(Events.size()), Events.data(), FALSE, Timeout);
  if (Ready >= WAIT_OBJECT_0 && Ready < WAIT_OBJECT_0 + Events.size()) return Index[Ready - WAIT_OBJECT_0];
  return -1;
}

WorkerChannels TakeWorkerChannels(const std::string& /*ParentId: the job ends the worker with the engine*/) {
  WorkerChannels Channels;
  HANDLE Own = GetCurrentProcess();
  HANDLE Commands = nullptr, Results = nullptr;
  // Copies first: pointing the C runtime's descriptors elsewhere closes the handles behind them.
  DuplicateHandle(Own, GetStdHandle(STD_INPUT_HANDLE), Own, &Commands, 0, FALSE, DUPLICATE_SAME_ACCESS);
  DuplicateHandle(Own, GetStdHandle(STD_OUTPUT_HANDLE), Own, &Results, 0, FALSE, DUPLICATE_SAME_ACCESS);
  StandardStreamsToNull();
  Channels.Commands = Value(Commands);
  Channels.Results = Value(Results);
  // No dialog box for a crash: the coordinator sees the worker end and goes on.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  return Channels;
}

size_t ReadChannel(intptr_t Channel, char* Buffer, size_t Size) {
  DWORD Got = 0;
  if (!ReadFile(Handle(Channel), Buffer, static_cast<DWORD>(std::min<size_t>(Size, 1u << 30)), &Got, nullptr)) return 0;
  return Got;
}

bool WriteChannel(intptr_t Channel, std::string_view Bytes) { return WriteAllHandle(Handle(Channel), Bytes); }

void LimitOwnMemory(uint64_t /*Bytes: the job holds each worker to its cap*/) {}

void KeepFreedMemory() {}

std::string OwnId() { return std::to_string(GetCurrentProcessId()); }

int ProcessorCount() {
  const DWORD Count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return Count > 0 ? static_cast<int>(Count) : 1;
}

uint64_t PhysicalMemory() {
  MEMORYSTATUSEX Status = {};
  Status.dwLength = sizeof Status;
  return GlobalMemoryStatusEx(&Status) ? Status.ullTotalPhys : 0;
}

}  // namespace Engine::Platform
