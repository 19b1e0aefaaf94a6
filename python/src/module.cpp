// The extension module dalvex._core. Its users are the package's own Python
// modules (dalvex/_ldl.py, dalvex/_least_squares.py), which check and convert
// the user's arguments first; _core.pyi describes it.
#include "binding.hpp"

PYBIND11_MODULE(_core, m) {
  m.doc() = "The C++ interface of the Dalvex library, for the package's own Python modules.";
  m.attr("__version__") = DALVEX_VERSION;
  dalvex_python::RegisterErrors(m);
  dalvex_python::BindLdlt(m);
  dalvex_python::BindLeastSquares(m);
}
