#pragma once
// One rule for every file a command writes: it may not be a file the same
// command reads (its settings file, design, census, parts or a picture's
// source), another file it writes, or a file that holds run settings. The same
// file is found however its path is spelled: links, "./" and ".." lead to the
// device and inode, and a file not yet made is compared by its full path.
// Standard output ("-"), devices and pipes are no files that could be lost, so
// they are not compared, but standard output takes one output at most.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "experiments/PointTables.h"

namespace varnolt {

class CommandFiles {
 public:
  // A file the command reads; `what` names it in messages ("the design").
  void Reads(const std::string& what, const std::optional<std::string>& path);
  // A file the command writes; `option` names it as typed ("--csv").
  void Writes(const std::string& option, const std::optional<std::string>& path);
  // A settings file the command writes (calibrate's -o): compared as any output,
  // but it may be an earlier settings file; what it may not replace is a file
  // that holds something else (a table, a report), which would be lost.
  void WritesSettings(const std::string& option, const std::optional<std::string>& path);

  // Why the command may not run with these files, as one line for the user;
  // nothing when every output is a file of its own.
  std::optional<std::string> Problem() const;

 private:
  struct Named {
    std::string name;
    std::string path;
    bool settings = false;  // an output that holds settings
  };
  std::vector<Named> inputs_;
  std::vector<Named> outputs_;
};

// Whether a file begins as a table this program writes: StartsAsTable and
// FileStartsAsTable, in experiments/PointTables.h.

// True when the two paths lead to the same regular file, or to the same place
// where neither exists yet.
bool SameFilePlace(const std::string& first, const std::string& second);

// True for the names of standard output other than "-": /dev/stdout, /dev/fd/1
// and /proc/self/fd/1.
bool NamesStandardOutput(const std::string& path);

}  // namespace varnolt
