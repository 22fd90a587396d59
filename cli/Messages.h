#pragma once
// The runner's messages have one form: "varnolt-cli: ", what went wrong, the
// file as the user typed it, the cause, on one line and without a final
// period. These helpers give the texts that several commands print: one text
// per cause of a file error, and the runner's wording of texts that the
// layers below write for the window.

#include <string>
#include <system_error>

#include "platform/FileError.h"
#include "run/RunDriver.h"

namespace varnolt {

// The cause of a system error, as the runner says it: the system's own text
// for it ("no such file or directory", "permission denied"), begun in lower
// case, without a final period.
std::string CauseText(std::error_code code);

// The cause of a file error, with the same text CauseText gives for the
// system error behind it; `typedPath` is the file as the user named it.
std::string CauseText(const FileError& error, const std::string& typedPath);

// `text` with the full path of `typedPath`, as a lower layer names it, put back
// as the user typed it.
std::string WithTypedPath(std::string text, const std::string& typedPath);

// A sentence written for a message box, made a runner's text: its lines joined
// into one, the first letter in lower case, no final period.
std::string RunnerText(const std::string& sentence);

// Why a run that started did not complete (a frond outside the nodes, too
// little memory, a report that could not be written).
std::string RunFailureText(const RunOutcome& outcome);

// Why a picture could not be written to `typedPath`, in the words every other
// file's failure uses: "it is a folder", the system's words for a folder that
// does not exist, or else the drawing's own `problem` as runner text.
std::string PictureProblemText(const std::string& problem, const std::string& typedPath);

}  // namespace varnolt
