#pragma once
// The runner's messages have one form: "varnolt-cli: ", what went wrong, the
// file as the user typed it, the cause, on one line and without a final
// period. These helpers give the texts that several commands print: one text
// per cause of a file error, and the cause of a picture not drawn. Problems the
// layers below hand back as data are worded by ProblemLine.

#include <string>
#include <system_error>

#include "platform/FileError.h"

namespace varnolt {

// The cause of a system error, as the runner says it: the system's own text
// for it ("no such file or directory", "permission denied"), begun in lower
// case, without a final period.
std::string CauseText(std::error_code code);

// The cause of a file error, with the same text CauseText gives for the
// system error behind it; `typedPath` is the file as the user named it.
std::string CauseText(const FileError& error, const std::string& typedPath);

// Why a picture could not be written to `typedPath`, in the words every other
// file's failure uses: "it is a folder", the system's words for a folder that
// does not exist, or else the drawing's own `problem` (a sentence for the window,
// naming the file by its full path) on one line, with the path as typed.
std::string PictureProblemText(const std::string& problem, const std::string& typedPath);

}  // namespace varnolt
