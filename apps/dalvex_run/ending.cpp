#include "ending.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <exception>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace dalvex_run {
namespace {

std::mutex& EndMutex() {
  static std::mutex mutex;
  return mutex;
}
bool ended = false;               // guarded by EndMutex
EarlyWriter* armed = nullptr;     // likewise

// Writes what is known, once; the caller holds EndMutex.
void WriteOnce(int status, const std::string& reason, const char* word) {
  if (ended) return;
  ended = true;
  if (armed != nullptr) armed->Write(status, reason, word);
  std::fflush(nullptr);
}

[[noreturn]] void WaitForTheEnd() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

#if defined(_WIN32)

// Runs on a thread that the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
  const int status = interrupt ? 130 : 129;
  {
    const std::lock_guard<std::mutex> lock(EndMutex());
    WriteOnce(status, interrupt ? "interrupted (Ctrl-C)" : "interrupted: the console was closed", "interrupted");
  }
  ExitProcess(static_cast<UINT>(status));
  return TRUE;
}

#else

int signal_pipe[2] = {-1, -1};
volatile std::sig_atomic_t signalled = 0;

extern "C" void OnSignal(int number) {
  if (signalled != 0) _exit(128 + number);
  signalled = number;
  const unsigned char byte = static_cast<unsigned char>(number);
  if (write(signal_pipe[1], &byte, 1) != 1) _exit(128 + number);
}

const char* SignalName(int number) {
  switch (number) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

// Waits for a signal's number, writes what is known and ends by that signal.
void ActOnSignals() {
  unsigned char byte = 0;
  while (read(signal_pipe[0], &byte, 1) != 1) {
  }
  const int number = byte;
  {
    const std::lock_guard<std::mutex> lock(EndMutex());
    WriteOnce(128 + number, std::string("interrupted by ") + SignalName(number), "interrupted");
    std::signal(number, SIG_DFL);
    kill(getpid(), number);
  }
  _exit(128 + number);
}

#endif

}  // namespace

void InstallEndings() {
#if defined(_WIN32)
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  std::signal(SIGPIPE, SIG_IGN);
  // A file-size limit makes writes fail (EFBIG), told as any failed write.
  std::signal(SIGXFSZ, SIG_IGN);
  if (pipe(signal_pipe) != 0) return;
  for (int fd : signal_pipe) fcntl(fd, F_SETFD, FD_CLOEXEC);
  try {
    std::thread(ActOnSignals).detach();
  } catch (const std::exception&) {  // no thread, or no memory for one
    return;                          // the signals keep their default action
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
#endif
}

void ArmEarlyEnd(EarlyWriter* writer) {
  const std::lock_guard<std::mutex> lock(EndMutex());
  armed = writer;
}

void EndEarly(int status, const std::string& reason, const char* word) {
  const std::lock_guard<std::mutex> lock(EndMutex());
  WriteOnce(status, reason, word);
}

NormalEnd::NormalEnd() {
  EndMutex().lock();
  if (!ended) {
    ended = true;
    return;
  }
  EndMutex().unlock();
  WaitForTheEnd();
}

NormalEnd::~NormalEnd() { EndMutex().unlock(); }

}  // namespace dalvex_run
