// The extension module varnolt._varnolt; the package varnolt (varnolt/__init__.py)
// holds what is written in Python and hands both on as one module.
#include "python/Bindings.h"
#include "python/Watch.h"

PYBIND11_MODULE(_varnolt, module) {
  using namespace varnolt::python;
  module.doc() = "VARNOLT's library, bound for Python; import varnolt rather than this.";
  // Each docstring starts with the call as Python writes it, rather than the
  // C++ types pybind11 would show.
  pybind11::options options;
  options.disable_function_signatures();
  BindErrors(module);
  BindSettings(module);
  BindRun(module);
  BindExperiments(module);
  BindCalibration(module);
  BindTestSeams(module);
}
