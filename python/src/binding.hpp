// The pieces of the extension module dalvex._core: a thin layer over the C++
// interface (namespace dalvex) that the package's Python modules call. The
// Python modules take the user's arguments in NumPy's and SciPy's forms and
// hand over plain arrays; this layer views them where they lie (no copy),
// releases the GIL around the numerical work and takes it back for the
// user's callbacks.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>

#include "dalvex/dalvex.hpp"

namespace dalvex_python {

namespace py = pybind11;

void RegisterErrors(py::module_& m);
void BindLdlt(py::module_& m);
void BindLeastSquares(py::module_& m);

// The elements of a one-dimensional contiguous array of exactly type T, as a
// span on the array's own memory; anything else throws TypeError naming
// `what`. The array must stay alive while the span is used.
template <class T>
dalvex::Span<const T> ViewOf(const py::array& a, const char* what) {
  if (!py::isinstance<py::array_t<T>>(a) || a.ndim() != 1 ||
      !(a.flags() & py::array::c_style)) {
    throw py::type_error(std::string(what) + " must be a contiguous one-dimensional array of " +
                         py::str(py::dtype::of<T>()).cast<std::string>());
  }
  return dalvex::Span<const T>(static_cast<const T*>(a.data()), static_cast<size_t>(a.size()));
}

// Raises the pending KeyboardInterrupt (or whatever a signal handler raised)
// as a C++ exception, so that Ctrl-C ends a solve between its steps. Call
// with the GIL held.
inline void CheckSignals() {
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
}

}  // namespace dalvex_python
