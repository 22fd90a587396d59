#pragma once
// The few facts about the machine that the plain code needs, behind plain
// functions so that no system call leaks into the model, the report or the runner.

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace varnolt {

// Memory that a new allocation can still get without pushing other programs out,
// in bytes; nothing when the platform cannot tell.
std::optional<std::uint64_t> AvailableMemoryBytes();
// The tests' seam: while set, AvailableMemoryBytes answers what `answer` says,
// so that a refusal for want of memory needs no machine short of it. Empty to remove.
void SetAvailableMemoryForTests(std::function<std::optional<std::uint64_t>()> answer);

// Puts standard output into binary mode where the platform has a text mode, so
// that a report written there keeps its CR LF line breaks exactly; and makes a
// Windows console show the program's UTF-8 text as such.
void UseBinaryStandardOutput();

// The program's arguments after its own name, in UTF-8 on every platform. On
// Windows `argv` holds them in the local code page, which loses every character
// it lacks (an accented folder name, a note in another script): they are read
// again from the UTF-16 command line.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// What a window program says before its window exists (its help, its version, a
// wrong argument). Started on Windows without a console, it has no stream to
// say it on: a message box shows it instead. Otherwise it goes to `stream`.
void ShowStartupText(const std::string& text, bool isError, std::ostream& stream);

}  // namespace varnolt
