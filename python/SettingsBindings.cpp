// varnolt.Settings: the 27 settings of a run under their own names, as
// attributes and as items; their two default sets; the settings file; the
// thirteen rules.
#include <climits>
#include <string>
#include <vector>

#include "platform/Windows1252.h"
#include "python/Bindings.h"
#include "settings/SettingsFile.h"

namespace varnolt::python {

namespace {

const FieldInfo& FieldNamed(const std::string& name) {
  if (const FieldInfo* field = FindField(name)) return *field;
  RaiseUnknownSetting(name);
}

py::object FieldValue(const RunSettings& settings, const FieldInfo& field) {
  if (field.kind == FieldKind::Text) return py::str(settings.*(field.text));
  return py::int_(settings.*(field.integer));
}

// Sets one field from a Python value, with the checks the runner's --set makes:
// a whole 32-bit number, a switch 0 or 1 (True and False too), a text as it
// stands. Nothing is changed when the value is refused.
void SetField(RunSettings& settings, const FieldInfo& field, const py::handle& value) {
  const std::string name = field.name;
  if (field.kind == FieldKind::Text) {
    if (!py::isinstance<py::str>(value)) {
      throw py::type_error(name + " takes a text (str), not " + TypeName(value));
    }
    settings.*(field.text) = value.cast<std::string>();
    return;
  }
  if (PyBool_Check(value.ptr())) {
    if (field.kind != FieldKind::Switch) throw py::type_error(name + " takes a whole number (int), not bool");
    settings.*(field.integer) = value.ptr() == Py_True ? 1 : 0;
    return;
  }
  // Whatever Python counts as a whole number (int, NumPy's integers); a float,
  // even 770.0, is refused as the runner refuses "770.0".
  if (PyFloat_Check(value.ptr()) || !PyIndex_Check(value.ptr())) {
    throw py::type_error(name + " takes a whole number (int), not " + TypeName(value));
  }
  const py::object number = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
  if (!number) throw py::error_already_set();
  int overflow = 0;
  const long long whole = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
  if (whole == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (overflow != 0 || whole < INT32_MIN || whole > INT32_MAX) {
    throw py::value_error(name + " takes a whole number from -2147483648 to 2147483647, not " +
                          py::str(number).cast<std::string>());
  }
  if (field.kind == FieldKind::Switch && whole != 0 && whole != 1) {
    throw py::value_error(name + " is a switch and takes 0 (off) or 1 (on), not " + std::to_string(whole));
  }
  settings.*(field.integer) = static_cast<std::int32_t>(whole);
}

// Sets several fields at once: all are checked before any is set.
void Update(RunSettings& settings, const py::dict& values) {
  RunSettings changed = settings;
  for (const auto& [key, value] : values) {
    if (!py::isinstance<py::str>(key)) {
      throw py::type_error("a setting's name is a text (str), not " + TypeName(key));
    }
    SetField(changed, FieldNamed(key.cast<std::string>()), value);
  }
  settings = std::move(changed);
}

py::dict AsDict(const RunSettings& settings) {
  py::dict values;
  for (const FieldInfo& field : RunSettingsFields()) values[field.name] = FieldValue(settings, field);
  return values;
}

std::string Repr(const RunSettings& settings) {
  // Only what differs from the start-up defaults, so that the text reads as the
  // call that makes these settings.
  const RunSettings defaults = StartupDefaults();
  std::string text = "varnolt.Settings(";
  bool first = true;
  for (const FieldInfo& field : RunSettingsFields()) {
    if (FieldValueText(settings, field) == FieldValueText(defaults, field)) continue;
    if (!first) text += ", ";
    first = false;
    text += std::string(field.name) + "=" + py::repr(FieldValue(settings, field)).cast<std::string>();
  }
  return text + ")";
}

std::string FieldDoc(const FieldInfo& field) {
  const RunSettings startup = StartupDefaults();
  const RunSettings fresh = NewDefaults();
  std::string doc = field.meaning;
  if (*field.unit != '\0') doc += "\nUnit: " + std::string(field.unit) + ".";
  doc += "\nA run admits: " + std::string(field.admitted) + ".";
  doc += "\nAt start-up: " + py::repr(FieldValue(startup, field)).cast<std::string>() +
         "; after New: " + py::repr(FieldValue(fresh, field)).cast<std::string>() + ".";
  doc += field.kind == FieldKind::Text     ? "\nType: str."
         : field.kind == FieldKind::Switch ? "\nType: int, 0 (off) or 1 (on); True and False are taken."
                                           : "\nType: int, a whole 32-bit number.";
  return doc;
}

void Check(const RunSettings& settings) {
  if (const std::optional<Problem> problem = SettingsProblem(settings)) RaiseSettingsError(*problem);
}

void WarnOfLosses(const RunSettings& settings, const std::string& what, const std::string& path) {
  if (const std::size_t lost = Windows1252Losses(settings.runNotes); lost != 0) {
    const std::string message = "the notes hold " + std::to_string(lost) + (lost == 1 ? " character" : " characters") +
                                " that " + what + " cannot store; saved as ? in " + path;
    if (PyErr_WarnEx(PyExc_UserWarning, message.c_str(), 2) != 0) throw py::error_already_set();
  }
}

RunSettings ReadSettings(const std::string& path) {
  RunSettings settings;
  if (const std::optional<FileError> error = LoadSettingsFile(PathFromUtf8(path), settings)) {
    RaiseFileError(*error, path);
  }
  return settings;
}

constexpr const char* SettingsDoc =
    R"(The 27 settings of a run, under the names of the settings reference.

Settings() holds the start-up defaults, Settings.new() the New defaults (they
differ only in runNotes); keyword arguments change settings on top:

    >>> s = varnolt.Settings(cycleCount=770, palmCount=1000)
    >>> s.randomPercent = 50          # as an attribute
    >>> s["femaleThreshold"]          # or as an item
    16

Numbers are whole 32-bit numbers (int); the four switches (leafPruning,
trendCycles, irrigation, flowerPruning) take 0 or 1, or True and False; the
two texts (runNotes, outputPath) are str. A value of another type raises
TypeError, a number out of range ValueError, an unknown name
varnolt.UnknownSettingError (a KeyError and an AttributeError). Settings
behave as a mapping of names to values (keys, items, dict(settings)).

check() raises varnolt.SettingsError for the first of the thirteen rules the
settings fail; save(path) writes a settings file with the same bytes as
`varnolt-cli set`; varnolt.read_settings(path) reads one.)";

}  // namespace

RunSettings SettingsArgument(const py::handle& value, const char* function) {
  if (value.is_none()) return StartupDefaults();
  if (py::isinstance<RunSettings>(value)) return value.cast<RunSettings>();
  if (py::isinstance<py::str>(value) || py::hasattr(value, "__fspath__")) {
    return ReadSettings(PathArgument(value, function));
  }
  throw py::type_error(std::string(function) +
                       "() takes varnolt.Settings (or a settings file's path) as its settings, not " +
                       TypeName(value));
}

void BindSettings(py::module_& module) {
  py::class_<RunSettings> settings(module, "Settings", SettingsDoc);
  settings.def(py::init([](const py::kwargs& values) {
                 RunSettings made = StartupDefaults();
                 Update(made, values);
                 return made;
               }),
               "Settings(**settings)\n\nThe start-up defaults, with the settings given changed.");
  settings.def_static(
      "new",
      [](const py::kwargs& values) {
        RunSettings made = NewDefaults();
        Update(made, values);
        return made;
      },
      "new(**settings) -> Settings\n\nThe New defaults (what File > New and `varnolt-cli set` start from), with the "
      "settings given changed.");
  settings.def_static(
      "names", [] {
        py::list names;
        for (const FieldInfo& field : RunSettingsFields()) names.append(field.name);
        return names;
      },
      "names() -> list[str]\n\nThe names of the 27 settings, in the record's order (the order `varnolt-cli show` lists them in).");

  for (const FieldInfo& field : RunSettingsFields()) {
    const FieldInfo* known = &field;
    settings.def_property(
        field.name, py::cpp_function([known](const RunSettings& self) { return FieldValue(self, *known); }),
        py::cpp_function([known](RunSettings& self, const py::handle& value) { SetField(self, *known, value); }),
        FieldDoc(field).c_str());
  }
  // Only the 27 names are attributes: a misspelt one is an error, not a new
  // attribute that a run would silently ignore.
  settings.def("__setattr__", [](RunSettings& self, const std::string& name, const py::handle& value) {
    SetField(self, FieldNamed(name), value);
  });
  settings.def("__getattr__", [](const RunSettings&, const std::string& name) -> py::object {
    if (name.size() > 4 && name.rfind("__", 0) == 0 && name.substr(name.size() - 2) == "__") {
      throw py::attribute_error("varnolt.Settings has no attribute " + name);
    }
    RaiseUnknownSetting(name);
  });
  settings.def("__getitem__", [](const RunSettings& self, const std::string& name) {
    return FieldValue(self, FieldNamed(name));
  });
  settings.def("__setitem__", [](RunSettings& self, const std::string& name, const py::handle& value) {
    SetField(self, FieldNamed(name), value);
  });
  settings.def("__contains__", [](const RunSettings&, const py::handle& name) {
    return py::isinstance<py::str>(name) && FindField(name.cast<std::string>()) != nullptr;
  });
  settings.def("__len__", [](const RunSettings&) { return RunSettingsFields().size(); });
  settings.def("__iter__", [](const RunSettings& self) { return py::iter(AsDict(self)); });
  settings.def("keys", [](const RunSettings& self) { return AsDict(self).attr("keys")(); },
               "keys()\n\nThe 27 names, in the record's order.");
  settings.def("values", [](const RunSettings& self) { return AsDict(self).attr("values")(); },
               "values()\n\nThe 27 values, in the record's order.");
  settings.def("items", [](const RunSettings& self) { return AsDict(self).attr("items")(); },
               "items()\n\n(name, value) pairs, in the record's order.");
  settings.def("to_dict", &AsDict, "to_dict() -> dict\n\nThe settings as a dict of name to value, in the record's order.");
  settings.def(
      "update",
      [](RunSettings& self, const py::object& values, const py::kwargs& more) {
        py::dict all;
        if (!values.is_none()) all = py::dict(values);
        for (const auto& [key, value] : more) all[key] = value;
        Update(self, all);
      },
      py::arg("values") = py::none(),
      "update(values=None, **settings)\n\nChanges several settings; all are checked before any changes.");
  settings.def("copy", [](const RunSettings& self) { return self; }, "copy() -> Settings\n\nAn independent copy.");
  settings.def("__copy__", [](const RunSettings& self) { return self; });
  settings.def("__deepcopy__", [](const RunSettings& self, const py::handle&) { return self; });
  settings.def("__eq__", [](const RunSettings& self, const py::handle& other) -> py::object {
    if (!py::isinstance<RunSettings>(other)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
    return py::bool_(self == other.cast<const RunSettings&>());
  });
  settings.def("__repr__", &Repr);
  settings.def(py::pickle([](const RunSettings& self) { return AsDict(self); },
                          [](const py::dict& values) {
                            RunSettings made = StartupDefaults();
                            Update(made, values);
                            return made;
                          }));
  settings.def("check", &Check,
               "check()\n\nChecks the thirteen rules in the order a run tests them; raises varnolt.SettingsError for the "
               "first that fails (its message is the runner's line, its attributes setting, value and rule).");
  settings.def(
      "save",
      [](const RunSettings& self, const py::handle& path) {
        const std::string file = PathArgument(path, "save");
        WarnOfLosses(self, "settings files", file);
        if (const std::optional<FileError> error = SaveSettingsFile(PathFromUtf8(file), self)) {
          RaiseFileError(*error, file);
        }
      },
      py::arg("path"),
      "save(path)\n\nSaves the settings to a settings file, the same bytes as `varnolt-cli set` writes, replacing the file "
      "only once the new one is whole. Notes that Windows-1252 cannot store are saved with ? and a warning.");

  module.def(
      "read_settings", [](const py::handle& path) { return ReadSettings(PathArgument(path, "read_settings")); },
      py::arg("path"),
      "read_settings(path) -> Settings\n\nReads a settings file (*.dat) written by VARNOLT (the window, `varnolt-cli set`, or Settings.save). "
      "Raises OSError (FileNotFoundError, PermissionError...) when it cannot be read and "
      "varnolt.SettingsFileError when it is no whole settings file.");
}

}  // namespace varnolt::python
