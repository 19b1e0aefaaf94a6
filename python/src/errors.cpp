// dalvex::Error as Python users expect it: bad arguments as ValueError, a
// file that cannot be used as OSError, a phase out of order or a routine's
// unexplained status as RuntimeError. std::bad_alloc already becomes
// MemoryError through pybind11's own translation.
#include <exception>

#include "binding.hpp"
#include "dalvex/dalvex.hpp"

namespace dalvex_python {

void RegisterErrors(py::module_&) {
  py::register_exception_translator([](std::exception_ptr p) {
    if (!p) return;
    try {
      std::rethrow_exception(p);
    } catch (const dalvex::Error& e) {
      PyObject* type = PyExc_ValueError;
      switch (e.code()) {
        case dalvex::ErrorCode::kWrongState:
        case dalvex::ErrorCode::kRoutineStatus:
          type = PyExc_RuntimeError;
          break;
        case dalvex::ErrorCode::kFile:
          type = PyExc_OSError;
          break;
        default:
          break;
      }
      PyErr_SetString(type, e.what());
    }
  });
}

}  // namespace dalvex_python
