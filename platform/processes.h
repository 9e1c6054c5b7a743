#pragma once
// Hidden child processes: each in a job object of its own, its standard output
// and error going into a pipe that this process reads.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/files.h"

namespace platform {

uint32_t CurrentProcessId();

// A pipe for a child's output: `write` is handed to one child, `read` stays
// here. Both 0 on failure. Each end is closed with CloseFile.
struct OutputPipe {
  Handle read = 0;
  Handle write = 0;
};
OutputPipe CreateOutputPipe();

// Reads whatever has arrived, waiting until something does; 0 when every
// writer has closed its end, or on failure.
size_t ReadOutput(Handle read, char* buffer, size_t capacity);

// `application` is the full path of the program, so no search takes place.
// `environment` holds "NAME=value" entries, each ended by a NUL, in the order
// given (Windows wants them sorted by name), and an empty entry at the end.
struct ProcessStart {
  std::u16string application;
  std::u16string commandLine;
  std::u16string currentDirectory;
  std::u16string environment;
  Handle output = 0;  // the child's standard output and error
};

struct StartedProcess {
  Handle process = 0;
  Handle job = 0;
};

// Starts the program without a console window, in a new job object that ends
// every process in it when its last handle is closed (also when this process
// ends, however it ends). Standard input is the NUL device; no handle but
// `output` and that one is inherited. process 0 on failure, with nothing left
// running.
StartedProcess StartHiddenProcess(const ProcessStart& start);

enum class WaitResult { Exited, TimedOut, Failed };
struct ProcessWait {
  WaitResult result = WaitResult::Failed;
  uint32_t exitCode = 0;  // when Exited
};
// Waits at most `timeoutMs` for the process to end.
ProcessWait WaitForProcess(Handle process, uint32_t timeoutMs);

// Ends every process still in the job and waits until none is left, for a few
// seconds at most; true when none is left.
bool EndProcessTree(const StartedProcess& started);

// Closes the process's and the job's handles.
void ReleaseProcess(const StartedProcess& started);

}  // namespace platform
