// The operating-system services the engine uses; the build compiles exactly one implementation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Engine::Platform {

// Whether "\\" separates folders in a path (Windows, where paths come with either separator);
// on POSIX it is part of a name.
extern const bool BackslashSeparates;

// The program's arguments in UTF-8, whatever the system hands over (Windows reads its wide
// command line; its argv would be in the ANSI code page and lose other characters).
std::vector<std::string> Arguments(int Argc, char** Argv);

// Keeps poppler's and GLib's messages off the console: standard output and standard error go to
// nowhere from here on; WriteMessage still reaches the original standard error.
void QuietLibraryMessages();
void WriteMessage(std::string_view Line);

// Reading the input: the whole file, mapped read-only. Only regular files are read, so that a
// pipe or a device can never block the run or never end.
enum class InputStatus { Opened, Missing, Folder, NotRegular, Empty };
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();
  // Reason is the system's message when the status is not Opened.
  InputStatus Open(const std::string& Path, std::string& Reason);
  const char* Data() const { return Data_; }
  size_t Size() const { return Size_; }

 private:
  const char* Data_ = nullptr;
  size_t Size_ = 0;
  intptr_t Handle_ = -1;
};

// Writing output. Files are written as bytes, never with line-end translation.
enum class CreateStatus { Created, Exists, Failed };
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();
  // Creates Path, never reusing anything that exists there (a file, a folder, a link).
  CreateStatus CreateNew(const std::string& Path, std::string& Reason);
  // Opens an existing file that this run created and empties it; a link there is not followed.
  bool Rewrite(const std::string& Path, std::string& Reason);
  bool Write(std::string_view Bytes, std::string& Reason);
  // Closes the file, first putting its data on disk when ToDisk; false when anything failed.
  bool Finish(std::string& Reason, bool ToDisk = false);
  bool IsOpen() const { return Handle_ != -1; }

 private:
  intptr_t Handle_ = -1;
};

// Replaces To with From in one step: a reader sees the old file or the new one, never neither.
bool MoveIntoPlace(const std::string& From, const std::string& To, std::string& Reason);
// Removes a file; safe to call while the process is being ended by a signal.
void RemoveFile(const char* Path);
bool IsFolder(const std::string& Path);
// The size of a regular file; false when there is none at Path.
bool FileSize(const std::string& Path, uint64_t& Bytes);

// Bits from the system's random source, for names that others cannot guess.
uint64_t RandomNumber();

// Ends the engine with Status once its files are written. On Linux the libraries' finalisers
// (GLib's, poppler's, X11's), which only give back memory, are skipped: a few milliseconds of a
// short run. Builds with AddressSanitizer end normally, so that its leak check still runs.
[[noreturn]] void EndProcess(int Status);

// Runs Clean (once) when the user or the system ends the process (Ctrl+C, closing the console,
// SIGINT, SIGTERM, SIGHUP), after every worker has been stopped; the process then ends as the
// signal would have ended it. Clean must be safe to run from a signal handler.
void OnTermination(void (*Clean)());

// A copy of this executable in worker mode, talking through its standard input and output.
class WorkerProcess {
 public:
  // What a worker runs: its whole argument list in, its exit status out.
  using WorkerEntry = int (*)(const std::vector<std::string>& Args);
  WorkerProcess() = default;
  WorkerProcess(const WorkerProcess&) = delete;
  WorkerProcess& operator=(const WorkerProcess&) = delete;
  ~WorkerProcess();
  // Starts a worker that runs Entry(`pdf Args...`) with its standard error sent nowhere. On
  // Windows that is this program started again, whose main calls Entry, and the worker joins a
  // job that kills it when the engine ends and holds it to MemoryCap bytes. Elsewhere it is a
  // fork of this process, which spares the worker loading the program's libraries again.
  bool Start(const std::vector<std::string>& Args, WorkerEntry Entry, uint64_t MemoryCap, std::string& Reason);
  bool Send(std::string_view Bytes);
  // Appends what the worker has written, without waiting; false once its output has ended.
  bool Receive(std::string& Into);
  // Kills the worker (if it still runs) and waits for its end.
  void Stop();
  bool Running() const { return Handle_ != -1; }

 private:
  friend int WaitForWorkers(const std::vector<WorkerProcess*>& Workers, int64_t Milliseconds);
  intptr_t Handle_ = -1;   // process id or handle
  intptr_t Input_ = -1;    // what we write to the worker
  intptr_t Output_ = -1;   // what the worker writes to us
  void* Pending_ = nullptr;  // platform state of a read in progress (Windows)
};

// Waits up to Milliseconds (negative: no limit) until one of Workers has output for Receive or
// has ended. Returns its index, or -1 when the time is up first.
int WaitForWorkers(const std::vector<WorkerProcess*>& Workers, int64_t Milliseconds);

// In a worker: the channels to the coordinator, taken over from standard input and output, which
// then lead nowhere, so that nothing a library prints can get into the results. The worker also
// ends when the process that started it ends (ParentId, from its arguments, where that needs it).
struct WorkerChannels {
  intptr_t Commands = -1;
  intptr_t Results = -1;
};
WorkerChannels TakeWorkerChannels(const std::string& ParentId);
// Reads up to Size bytes; 0 at the end of the stream or on an error.
size_t ReadChannel(intptr_t Channel, char* Buffer, size_t Size);
bool WriteChannel(intptr_t Channel, std::string_view Bytes);
// Caps the address space of this process (a worker), where the system does that from inside.
void LimitOwnMemory(uint64_t Bytes);
// Lets this process (a worker) keep some of the memory it frees for the next page, rather than
// give it back to the system and fault it in again page by page.
void KeepFreedMemory();
// What identifies this process to its workers (the process id on POSIX).
std::string OwnId();

// Cores to use.
int ProcessorCount();
// The machine's memory in bytes; 0 when the system does not say.
uint64_t PhysicalMemory();

}  // namespace Engine::Platform
