#include <cerrno>

#include "python/Bindings.h"

namespace varnolt::python {

namespace {

py::object ErrorsModule() { return py::module_::import("varnolt.errors"); }

[[noreturn]] void Raise(const py::handle& type, const py::handle& error) {
  PyErr_SetObject(type.ptr(), error.ptr());
  throw py::error_already_set();
}

// The errno a file error stands for, so that Python picks its own subclass of
// OSError (FileNotFoundError, PermissionError...).
int ErrnoOf(FileErrorCause cause) {
  switch (cause) {
    case FileErrorCause::NotFound: return ENOENT;
    case FileErrorCause::BadPath: return ENOENT;
    case FileErrorCause::TooManyOpenFiles: return EMFILE;
    case FileErrorCause::AccessDenied: return EACCES;
    case FileErrorCause::FolderAccessDenied: return EACCES;
    case FileErrorCause::InvalidHandle: return EBADF;
    case FileErrorCause::DirectoryFull: return EMLINK;
    case FileErrorCause::HardwareError: return EIO;
    case FileErrorCause::SharingViolation: return EBUSY;
    case FileErrorCause::LockingViolation: return ENOLCK;
    case FileErrorCause::DiskFull: return ENOSPC;
    default: return EIO;
  }
}

std::string CauseWords(const FileError& error) {
  switch (error.cause) {
    case FileErrorCause::BadPath: return "No such folder, or the name is not valid";
    case FileErrorCause::FolderAccessDenied: return "The folder refuses a new file (permission denied)";
    case FileErrorCause::Unknown: return "An unknown error";
    default: return std::generic_category().message(ErrnoOf(error.cause));
  }
}

}  // namespace

void BindErrors(py::module_& module) {
  // The exceptions live in Python (varnolt/errors.py); the module hands them on.
  const py::object errors = ErrorsModule();
  for (const char* name : {"SettingsError", "UnknownSettingError", "SettingsFileError", "ResultsFileError", "RunError"}) {
    module.attr(name) = errors.attr(name);
  }
}

std::string SettingNamesText() {
  std::string names;
  for (const FieldInfo& field : RunSettingsFields()) {
    if (!names.empty()) names += ", ";
    names += field.name;
  }
  return names;
}

void RaiseSettingsError(const Problem& problem) {
  const py::object type = ErrorsModule().attr("SettingsError");
  Raise(type, type(ProblemLine(problem), problem.setting, problem.value, problem.rule));
}

void RaiseUnknownSetting(const std::string& name) {
  const py::object type = ErrorsModule().attr("UnknownSettingError");
  Raise(type, type("unknown setting \"" + name + "\"; the settings are: " + SettingNamesText(), name));
}

void RaiseFileError(const FileError& error, const std::string& path) {
  switch (error.cause) {
    case FileErrorCause::NotSettingsFile: {
      const py::object type = ErrorsModule().attr("SettingsFileError");
      const std::string count = error.trailingBytes > LargestUnsizedRead
                                    ? "more than " + std::to_string(LargestUnsizedRead)
                                    : std::to_string(error.trailingBytes);
      Raise(type, type(path + " is not a VARNOLT settings file (it has " + count +
                           (error.trailingBytes == 1 ? " byte" : " bytes") + " after the settings)",
                       path));
    }
    case FileErrorCause::EndOfFile:
    case FileErrorCause::BadLength: {
      const py::object type = ErrorsModule().attr("SettingsFileError");
      Raise(type, type(path + " is not a whole settings file: it ends too early or is damaged", path));
    }
    case FileErrorCause::OutOfMemory: throw std::bad_alloc();
    default: break;
  }
  // OSError(errno, text, filename) becomes the subclass for that errno.
  const py::object error_type = py::reinterpret_borrow<py::object>(PyExc_OSError);
  const py::object raised = error_type(ErrnoOf(error.cause), CauseWords(error), path);
  Raise(raised.get_type(), raised);
}

void RaiseOSError(std::error_code code, const std::string& path) {
  const py::object error_type = py::reinterpret_borrow<py::object>(PyExc_OSError);
  const int number = code.category() == std::generic_category() || code.category() == std::system_category()
                         ? code.value()
                         : EIO;
  const py::object raised = error_type(number, code.message(), path);
  Raise(raised.get_type(), raised);
}

void RaiseResultsFileError(const std::string& message, const std::string& path) {
  const py::object type = ErrorsModule().attr("ResultsFileError");
  Raise(type, type(message, path));
}

void RaiseRunError(const std::string& message, const std::string& setting, std::int32_t value) {
  const py::object type = ErrorsModule().attr("RunError");
  Raise(type, type(message, setting, value));
}

std::string PathArgument(const py::handle& value, const char* function) {
  const py::object os = py::module_::import("os");
  if (!py::isinstance<py::str>(value) && !py::hasattr(value, "__fspath__")) {
    throw py::type_error(std::string(function) + "() takes a path as str or os.PathLike, not " +
                         py::str(value.get_type().attr("__name__")).cast<std::string>());
  }
  const py::object path = os.attr("fspath")(value);
  if (!py::isinstance<py::str>(path)) {
    throw py::type_error(std::string(function) + "() takes a path as str, not bytes");
  }
  return path.cast<std::string>();
}

}  // namespace varnolt::python
