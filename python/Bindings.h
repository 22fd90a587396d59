#pragma once
// The Python module's pieces: each file binds one part of the library, and
// words the library's problems as Python exceptions. Only this folder knows
// pybind11; the library below knows nothing of Python.

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include <pybind11/pybind11.h>

#include "platform/FileError.h"
#include "platform/Problem.h"
#include "settings/RunSettings.h"
#include "settings/ValidationRules.h"

namespace varnolt::python {

namespace py = pybind11;

void BindErrors(py::module_& module);
void BindSettings(py::module_& module);
void BindRun(py::module_& module);
void BindExperiments(py::module_& module);
void BindCalibration(py::module_& module);

// Raising the module's exceptions (varnolt.errors); each throws
// py::error_already_set, which pybind11 hands on to Python.
[[noreturn]] void RaiseSettingsError(const Problem& problem);
[[noreturn]] void RaiseUnknownSetting(const std::string& name);
[[noreturn]] void RaiseFileError(const FileError& error, const std::string& path);
[[noreturn]] void RaiseOSError(std::error_code code, const std::string& path);
[[noreturn]] void RaiseResultsFileError(const std::string& message, const std::string& path);
[[noreturn]] void RaiseRunError(const std::string& message, const std::string& setting, std::int32_t value);

// The names of the 27 settings, comma separated, for messages.
std::string SettingNamesText();

// The settings an argument stands for: a varnolt.Settings, or None for the
// start-up defaults. Anything else raises TypeError.
RunSettings SettingsArgument(const py::handle& value, const char* function);

// Refuses a progress argument that is neither None nor callable (TypeError).
void CheckProgress(const py::object& progress);

// A path argument: str or os.PathLike, as UTF-8.
std::string PathArgument(const py::handle& value, const char* function);

// The name of an argument's type, for messages.
std::string TypeName(const py::handle& value);

// A list of texts (or one text) for an option the runner takes many times;
// None gives none. Anything else raises TypeError naming `option`.
std::vector<std::string> TextsArgument(const py::handle& value, const char* option);

// The same for texts NAME=... naming settings (vary, factors, fit): a name
// that is no setting raises varnolt.UnknownSettingError (a KeyError) with the
// names there are.
std::vector<std::string> SettingTextsArgument(const py::handle& value, const char* option);

// A whole number from `low` to `high` (an int, not a bool or a float): TypeError
// or ValueError naming `name` otherwise.
std::int64_t WholeArgument(const py::handle& value, const char* name, std::int64_t low, std::int64_t high);

}  // namespace varnolt::python
