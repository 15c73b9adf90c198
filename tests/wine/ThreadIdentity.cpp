// Checks that the Windows layer in use keeps a thread's identity when the system interrupts it.
// A second thread suspends and resumes the first while it runs (wine does that with a signal),
// then the first asks who it is. Emulators of i386 Linux that keep one thread-local descriptor
// for all threads of a process fail here: after its signal the first thread goes on as the
// second, so its waits and its I/O completions reach the wrong thread, and no 32-bit program with
// more than one thread (the engine's coordinator has GLib's) runs reliably there.
// Exit 0 when the identity was kept, 1 when it was lost, 2 when the check could not be made.
#include <windows.h>

#include <cstdio>

namespace {

HANDLE First = nullptr;

DWORD WINAPI Interrupt(void*) {
  Sleep(300);
  SuspendThread(First);
  ResumeThread(First);
  Sleep(INFINITE);
  return 0;
}

}  // namespace

int main() {
  const DWORD Before = GetCurrentThreadId();
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &First, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    std::printf("cannot open this thread: error %lu\n", GetLastError());
    return 2;
  }
  DWORD Second = 0;
  if (CreateThread(nullptr, 0, Interrupt, nullptr, 0, &Second) == nullptr) {
    std::printf("cannot start a thread: error %lu\n", GetLastError());
    return 2;
  }
  // Busy, not waiting: a thread that waits is not interrupted with a signal.
  const DWORD Start = GetTickCount();
  volatile unsigned Spins = 0;
  while (GetTickCount() - Start < 1500) Spins = Spins + 1;
  const DWORD After = GetCurrentThreadId();
  std::printf("thread %lu, interrupted by thread %lu, is thread %lu afterwards\n", Before, Second, After);
  std::fflush(stdout);
  // Ends at once: the other thread is still waiting, and some hosts lose the exit code when they
  // have to stop it.
  TerminateProcess(GetCurrentProcess(), After == Before ? 0 : 1);
  return 2;
}
