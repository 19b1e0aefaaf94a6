// dalvex._core.least_squares: one solve of the C++ LeastSquaresSolver with
// Python callables for the residuals, the Jacobian values and the iteration
// hook, SciPy's termination tests made here after each step
// (TerminationTests). The solve runs without the GIL; each callback takes it
// back, checks for a pending signal (Ctrl-C ends the solve between two steps with
// KeyboardInterrupt) and calls into Python. An exception raised there travels
// through the solver as a C++ exception and reaches the caller unchanged.
#include <chrono>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include <pybind11/stl.h>

#include "binding.hpp"
#include "termination_tests.h"
#include "dalvex/dalvex.hpp"

namespace dalvex_python {
namespace {

using dalvex::Span;

py::array_t<double> ArrayOf(Span<const double> values) {
  py::array_t<double> a(static_cast<py::ssize_t>(values.size()));
  if (!values.empty()) std::memcpy(a.mutable_data(), values.data(), values.size() * sizeof(double));
  return a;
}

// Copies what a callback returned into `out`: a contiguous float64 array of
// out.size() elements, as the package's Python modules make it.
void CopyResult(const py::handle& result, Span<double> out, const char* what) {
  if (!py::isinstance<py::array_t<double>>(result)) {
    throw py::type_error(std::string(what) + " must return a float64 array");
  }
  const auto a = py::reinterpret_borrow<py::array>(result);
  const Span<const double> v = ViewOf<double>(a, what);
  if (v.size() != out.size()) {
    throw py::value_error(std::string(what) + " returned " + std::to_string(v.size()) +
                          " values; " + std::to_string(out.size()) + " were expected");
  }
  if (!v.empty()) std::memcpy(out.data(), v.data(), v.size() * sizeof(double));
}

dalvex::LeastSquaresOptions OptionsOf(const py::dict& given) {
  dalvex::LeastSquaresOptions o;
  for (const auto& item : given) {
    const std::string key = py::str(item.first);
    const py::handle value = item.second;
    if (key == "residual_tolerance") o.residual_tolerance = value.cast<double>();
    else if (key == "sum_of_squares_tolerance") o.sum_of_squares_tolerance = value.cast<double>();
    else if (key == "step_tolerance") o.step_tolerance = value.cast<double>();
    else if (key == "require_both_tests") o.require_both_tests = value.cast<bool>();
    else if (key == "max_evaluations") o.max_evaluations = value.cast<int32_t>();
    else if (key == "max_difference_step") o.max_difference_step = value.cast<double>();
    else if (key == "initial_difference_step") o.initial_difference_step = value.cast<double>();
    else if (key == "residual_relative_error") o.residual_relative_error = value.cast<double>();
    else throw py::value_error("unknown least-squares option '" + key + "'");
  }
  return o;
}

// A name of each termination for the package's Python modules to act on.
const char* ReasonOf(dalvex::Termination termination) {
  switch (termination) {
    case dalvex::Termination::kResidualTolerance: return "residual_tolerance";
    case dalvex::Termination::kSumOfSquaresTolerance: return "sum_of_squares_tolerance";
    case dalvex::Termination::kSmallStep: return "small_step";
    case dalvex::Termination::kMaxEvaluations: return "max_evaluations";
    case dalvex::Termination::kUserStop: return "user_stop";
    case dalvex::Termination::kFactorizationFailed: return "factorization_failed";
    case dalvex::Termination::kNonFinite: return "non_finite";
    case dalvex::Termination::kRoutineFailure: return "routine_failure";
  }
  return "routine_failure";
}

py::dict SummaryOf(const dalvex::LeastSquaresSummary& s) {
  py::dict d;
  d["termination"] = dalvex::to_string(s.termination);
  d["reason"] = ReasonOf(s.termination);
  d["converged"] = s.converged;
  d["routine_status"] = s.routine_status;
  d["iterations"] = s.iterations;
  d["residual_evaluations"] = s.residual_evaluations;
  d["jacobian_evaluations"] = s.jacobian_evaluations;
  d["initial_sum_of_squares"] = s.initial_sum_of_squares;
  d["final_sum_of_squares"] = s.final_sum_of_squares;
  d["max_abs_residual"] = s.max_abs_residual;
  d["marquardt_parameter"] = s.marquardt_parameter;
  d["total_seconds"] = s.total_seconds;
  d["evaluation_seconds"] = s.evaluation_seconds;
  d["solver_seconds"] = s.solver_seconds;
  d["integer_workspace"] = s.integer_workspace;
  d["real_workspace"] = s.real_workspace;
  d["brief_report"] = s.BriefReport();
  return d;
}

// The problem on the Jacobian pattern (rows, columns), with the Jacobian's
// values from `jacobian`, or estimated by differences when it is None. Every
// evaluation is shown to `tests` as it returns. The functions hold plain
// references to the callables, which outlive the solve, so that nothing is
// reference-counted without the GIL.
template <class Index>
dalvex::LeastSquaresProblem MakeProblem(int64_t m,
                                        int64_t n,
                                        const py::array& rows,
                                        const py::array& columns,
                                        const py::function& residuals,
                                        const py::object& jacobian,
                                        TerminationTests& tests) {
  const Span<const Index> r = ViewOf<Index>(rows, "the Jacobian's row indices");
  const Span<const Index> c = ViewOf<Index>(columns, "the Jacobian's column indices");
  dalvex::ResidualFunction f = [&residuals, &tests](Span<const double> x, Span<double> out) {
    {
      py::gil_scoped_acquire gil;
      CheckSignals();
      CopyResult(residuals(ArrayOf(x)), out, "the residual function");
    }
    tests.Residuals(x, out);
  };
  py::gil_scoped_release nogil;
  if (jacobian.is_none()) {
    return dalvex::LeastSquaresProblem::WithDifferenceJacobian(m, n, r, c, std::move(f));
  }
  dalvex::JacobianFunction j = [&jacobian, &tests](Span<const double> x, Span<double> out) {
    {
      py::gil_scoped_acquire gil;
      CheckSignals();
      CopyResult(jacobian(ArrayOf(x)), out, "the Jacobian function");
    }
    tests.Jacobian(x, out);
  };
  return dalvex::LeastSquaresProblem::WithJacobian(m, n, r, c, std::move(f), std::move(j));
}

// After each step tried: the termination tests, then `on_step` (the
// iteration table and the user's callback) when given; it returns True to
// stop (the callback raised StopIteration).
dalvex::IterationCallback StepHook(TerminationTests& tests, const py::object& on_step) {
  return [&tests, &on_step](const dalvex::IterationReport& r) {
    const StepRow row = tests.Step(r);
    bool stop = row.status != TestStatus::kNone;
    if (!on_step.is_none()) {
      py::gil_scoped_acquire gil;
      CheckSignals();
      const py::object optimality =
          row.optimality ? py::object(py::float_(*row.optimality)) : py::object(py::none());
      const py::object status =
          stop ? py::object(py::int_(static_cast<int>(row.status))) : py::object(py::none());
      const bool user_stop = on_step(row.step, 0.5 * r.sum_of_squares, row.reduction,
                                     row.step_norm, optimality, r.marquardt_parameter,
                                     ArrayOf(r.x), status)
                                 .cast<bool>();
      if (!stop && user_stop) {
        tests.set_status(-2);
        stop = true;
      }
    }
    return stop ? dalvex::IterationAction::kStop : dalvex::IterationAction::kContinue;
  };
}

// Solves from x (overwritten by the final point); returns the summary as a
// dict, the residuals and the Jacobian's values in the pattern's order at
// the final point.
py::tuple Solve(int64_t m,
                int64_t n,
                const py::array& rows,
                const py::array& columns,
                const py::function& residuals,
                const py::object& jacobian,
                py::array_t<double, py::array::c_style> x,
                const py::dict& options,
                TerminationTests& tests,
                const py::object& on_step,
                const py::object& on_log) {
  dalvex::LeastSquaresOptions o = OptionsOf(options);
  if (!on_log.is_none()) {
    o.log = [&on_log](std::string_view line) {
      py::gil_scoped_acquire gil;
      on_log(py::str(line.data(), line.size()));
    };
  }
  if (x.ndim() != 1 || !x.writeable()) throw py::type_error("x must be a writable vector");
  Span<double> point(x.mutable_data(), static_cast<size_t>(x.size()));
  // The setup, as a user of the C++ interface has it: the problem (its
  // pattern checked and sorted), then the solver (the pattern analysed).
  const auto setup_start = std::chrono::steady_clock::now();
  dalvex::LeastSquaresProblem problem =
      py::isinstance<py::array_t<int64_t>>(rows)
          ? MakeProblem<int64_t>(m, n, rows, columns, residuals, jacobian, tests)
          : MakeProblem<int32_t>(m, n, rows, columns, residuals, jacobian, tests);
  auto solver = [&] {
    py::gil_scoped_release nogil;
    return dalvex::LeastSquaresSolver(std::move(problem), std::move(o));
  }();
  const std::chrono::duration<double> setup = std::chrono::steady_clock::now() - setup_start;
  tests.Start(n, solver.problem().jacobian_rows(), solver.problem().jacobian_columns(),
              !jacobian.is_none());
  solver.SetIterationCallback(StepHook(tests, on_step));
  dalvex::LeastSquaresSummary summary;
  {
    py::gil_scoped_release nogil;
    summary = solver.Solve(point);
  }
  py::dict report = SummaryOf(summary);
  report["setup_seconds"] = setup.count();
  return py::make_tuple(report, ArrayOf(solver.residuals()), ArrayOf(solver.jacobian_values()));
}

}  // namespace

void BindLeastSquares(py::module_& m) {
  py::class_<TerminationTests>(m, "TerminationTests")
      .def(py::init<double, double, double, bool>(), py::arg("ftol"), py::arg("xtol"),
           py::arg("gtol"), py::arg("gradient"))
      .def_property_readonly("steps", &TerminationTests::steps)
      .def_property_readonly("status", &TerminationTests::status)
      .def_property_readonly("seconds", &TerminationTests::seconds);
  m.def("least_squares", &Solve, py::arg("m"), py::arg("n"), py::arg("rows"),
        py::arg("columns"), py::arg("residuals"), py::arg("jacobian"), py::arg("x").noconvert(),
        py::arg("options"), py::arg("tests"), py::arg("on_step"), py::arg("on_log"));
}

}  // namespace dalvex_python
