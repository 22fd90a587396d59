#include <algorithm>
#include <csignal>
#include <exception>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Messages.h"
#include "platform/FileIO.h"
#include "platform/Interrupts.h"
#include "platform/SystemResources.h"

namespace {

int Run(int argc, char** argv) {
  using namespace varnolt;
  UseBinaryStandardOutput();  // a report on standard output keeps its CR LF
  CatchInterruptions();       // Ctrl+C and kill stop a run at a safe point
  // Streams that remember why a write failed: output lost to a full disk or a
  // closed pipe must not end in silence or in success.
  FileStreamBuffer outBuffer(stdout);
  FileStreamBuffer errBuffer(stderr);
  std::ostream out(&outBuffer);
  std::ostream err(&errBuffer);
  err.setf(std::ios::unitbuf);

  const std::vector<std::string> args = Utf8Arguments(argc, argv);
  int status = RunCommandLine(args, CliStreams{out, err});
  // A signal is honoured to the end: whatever the command managed before it
  // stopped, the status says it was stopped.
  if (const int signal = InterruptionSignal(); signal != 0) status = InterruptedExitStatus(signal);

  out.flush();
  if (!out) err << "varnolt-cli: cannot write to standard output: " << CauseText(outBuffer.Error()) << "\n";
  err.flush();
  return out && err ? status : std::max(status, static_cast<int>(ExitFailure));
}

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
  // A reader that goes away is a write that fails, told as any other, rather
  // than a silent end that leaves a temporary file behind.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    // Threads that cannot start (a tight `ulimit -v`), memory that runs out.
    std::fprintf(stderr, "varnolt-cli: cannot go on: %s; allow the program more memory or give fewer --threads\n",
                 error.what());
    return varnolt::ExitFailure;
  }
}
