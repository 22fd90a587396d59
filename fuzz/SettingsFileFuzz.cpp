// libFuzzer target for the settings file reader: whatever the bytes, a load
// either succeeds or refuses with one of the reader's errors, and a refusal
// leaves the record as it was. Run with -malloc_limit_mb to catch any
// allocation that the input's size does not justify.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "settings/SettingsFile.h"

namespace varnolt {

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "settings fuzz: %s\n", what);
    std::abort();
  }
}

}  // namespace

}  // namespace varnolt

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnolt;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  RunSettings sentinel;
  sentinel.runNotes = "sentinel";
  sentinel.cycleCount = -1;
  RunSettings settings = sentinel;
  if (const std::optional<FileError> error = LoadSettings(bytes, settings)) {
    Check(error->cause == FileErrorCause::EndOfFile || error->cause == FileErrorCause::BadLength ||
              error->cause == FileErrorCause::NotSettingsFile,
          "refused with a cause the reader never gives");
    Check(!FileErrorText(*error).empty(), "refusal without a text");
    Check(settings == sentinel, "a failed load changed the record");
    return 0;
  }
  // A loaded record survives a save and a load, and is stable after one
  // round that turns wide texts into Windows-1252.
  const std::string once = StoreSettings(settings);
  RunSettings again;
  Check(!LoadSettings(once, again), "a stored record does not load");
  Check(StoreSettings(again) == once, "a stored record changes when loaded again");
  return 0;
}
