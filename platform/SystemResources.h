#pragma once
// The few facts about the machine that the plain code needs, behind plain
// functions so that no system call leaks into the model, the report or the runner.

#include <cstdint>
#include <optional>

// Memory that a new allocation can still get without pushing other programs out,
// in bytes; nothing when the platform cannot tell.
std::optional<std::uint64_t> AvailableMemoryBytes();

// Puts standard output into binary mode where the platform has a text mode, so
// that a report written there keeps its CR LF line breaks exactly.
void UseBinaryStandardOutput();
