// dalvex._core.least_squares: one solve of the C++ LeastSquaresSolver with
// Python callables for the residuals, the Jacobian values and the iteration
// hook, SciPy's termination tests made here after each step
// (TerminationTests). The solve runs without the GIL; each callback takes it
// back, checks for a pending signal (Ctrl-C ends the solve between two steps with
// KeyboardInterrupt) and calls into Python. An exception raised there travels
// through the solver as a C++ exception and reaches the caller unchanged.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
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

// A vector handed over to a new array, without a copy.
py::array_t<double> ArrayTaking(std::vector<double>&& values) {
  auto* owned = new std::vector<double>(std::move(values));
  const py::capsule release(owned, [](void* v) { delete static_cast<std::vector<double>*>(v); });
  return py::array_t<double>(static_cast<py::ssize_t>(owned->size()), owned->data(), release);
}

bool Same(Span<const double> a, Span<const double> b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// The elements of what a callback returned, where they lie: a contiguous
// float64 array of `expected` elements, as the package's Python modules
// make it. Valid while the result is alive.
Span<const double> ResultOf(const py::handle& result, size_t expected, const char* what) {
  if (!py::isinstance<py::array_t<double>>(result)) {
    throw py::type_error(std::string(what) + " must return a float64 array");
  }
  const auto a = py::reinterpret_borrow<py::array>(result);
  const Span<const double> v = ViewOf<double>(a, what);
  if (v.size() != expected) {
    throw py::value_error(std::string(what) + " returned " + std::to_string(v.size()) +
                          " values; " + std::to_string(expected) + " were expected");
  }
  return v;
}

// Copies what a callback returned into `out` (checked as ResultOf).
void CopyResult(const py::handle& result, Span<double> out, const char* what) {
  const Span<const double> v = ResultOf(result, out.size(), what);
  if (!v.empty()) std::memcpy(out.data(), v.data(), v.size() * sizeof(double));
}

// Whether `a` is a plain NumPy array held by this reference alone, writable,
// whose memory no one else can reach: it owns it, or views an array that
// owns it and that only this view holds (as the arrays of a SciPy sparse
// matrix may do).
bool Exclusive(const py::handle& a) {
  namespace detail = py::detail;
  const auto& api = detail::npy_api::get();
  PyObject* o = a.ptr();
  if (Py_TYPE(o) != api.PyArray_Type_ || Py_REFCNT(o) != 1 ||
      !detail::check_flags(o, detail::npy_api::NPY_ARRAY_WRITEABLE_)) {
    return false;
  }
  if (detail::check_flags(o, detail::npy_api::NPY_ARRAY_OWNDATA_)) return true;
  PyObject* base = detail::array_proxy(o)->base;
  return base != nullptr && Py_TYPE(base) == api.PyArray_Type_ && Py_REFCNT(base) == 1 &&
         detail::check_flags(base, detail::npy_api::NPY_ARRAY_OWNDATA_);
}

Span<const double> ElementsOf(const py::object& a) {
  if (!a) return {};
  const auto array = py::reinterpret_borrow<py::array>(a);
  return Span<const double>(static_cast<const double*>(array.data()),
                            static_cast<size_t>(array.size()));
}

// The arrays the user's functions take and return, kept from one call to
// the next (touched with the GIL held, or moved while no Python runs), so
// that large arrays are not made and copied more often than needed:
// - x goes to the functions in one array, refilled at each call while no
//   one else holds it (a function that keeps its x gets a new one next
//   time);
// - the Jacobian function's result is held until its next call (or the end
//   of the solve), whoever else holds it: the solver reads the values
//   there, and the step's report views them, instead of a copy;
// - a result no one else holds (the function made it and let it go) is held
//   as the latest residuals or Jacobian values: the termination tests view
//   an accepted point's evaluations there instead of copying them, and
//   those of the final point become the result's arrays.
class CallArrays {
 public:
  explicit CallArrays(bool hold) : hold_(hold) {}

  py::array_t<double> Point(Span<const double> x) {
    if (!x_ || !Exclusive(x_) || !py::isinstance<py::array_t<double>>(x_) ||
        py::reinterpret_borrow<py::array>(x_).ndim() != 1 || ElementsOf(x_).size() != x.size()) {
      x_ = py::array_t<double>(static_cast<py::ssize_t>(x.size()));
    }
    auto a = py::reinterpret_borrow<py::array_t<double>>(x_);
    if (!x.empty()) std::memcpy(a.mutable_data(), x.data(), x.size() * sizeof(double));
    return a;
  }

  // A function's result, the residuals already copied into the solver's
  // array; the arrays retired by the last step are let go here, with the
  // GIL.
  void Returned(py::object result, bool jacobian) {
    retired_f_ = py::object();
    retired_j_ = py::object();
    py::object& latest = jacobian ? latest_j_ : latest_f_;
    const bool exclusive = hold_ && Exclusive(result);
    if (jacobian) viewed_j_ = result;
    latest = exclusive ? std::move(result) : py::object();
  }

  HeldEvaluations Latest() const { return {ElementsOf(latest_f_), ElementsOf(latest_j_)}; }

  // The latest residuals or Jacobian values, adopted by the tests as the
  // start point's, become current (none is current yet: no reference is
  // counted, and the GIL is not needed).
  void Adopted(bool jacobian) {
    (jacobian ? current_j_ : current_f_) = std::move(jacobian ? latest_j_ : latest_f_);
  }

  // After a step that moved the tests' current point, without the GIL: the
  // current evaluations retire (let go at the next call) and the latest
  // become current when the tests adopted them. Only references are
  // moved, none counted.
  void Moved(bool adopted) {
    Retire(current_f_, retired_f_);
    Retire(current_j_, retired_j_);
    if (adopted) {
      current_f_ = std::move(latest_f_);
      current_j_ = std::move(latest_j_);
    }
  }

  // The final residuals or Jacobian values as a new array: the current
  // one itself when it holds these values. `compared`: an array already
  // compared with them, and whether it was the same.
  py::array Final(Span<const double> values, bool jacobian, Span<const double> compared,
                  bool same) {
    py::object& current = jacobian ? current_j_ : current_f_;
    const Span<const double> held = ElementsOf(current);
    if (current && (held.data() == compared.data() && held.size() == compared.size()
                        ? same
                        : Same(held, values))) {
      return py::reinterpret_steal<py::array>(current.release());
    }
    return ArrayOf(values);
  }

 private:
  bool hold_;
  py::object x_;
  py::object latest_f_, latest_j_, current_f_, current_j_, retired_f_, retired_j_;
  py::object viewed_j_;  // the Jacobian function's last result

  static void Retire(py::object& from, py::object& to) {
    if (to) {  // two steps without a call in between: not expected
      py::gil_scoped_acquire gil;
      to = py::object();
    }
    to = std::move(from);
  }
};

// The residuals and Jacobian values the caller already has at the start
// point x0, taken over from its list [x0, f0, j0] (its items set to None, so
// that these references are the only ones it held). The solver's first
// evaluation of each, at x0 as it always is, takes them instead of calling
// the functions; any later one, or one elsewhere, calls them.
class Start {
 public:
  explicit Start(const py::list& given) {
    if (given.size() != 3) throw py::value_error("the start is [x0, f0, j0]");
    x0_ = given[0];
    f0_ = given[1];
    j0_ = given[2];
    for (size_t i = 0; i < 3; ++i) given[i] = py::none();
    if (!x0_.is_none()) x_ = ViewOf<double>(py::reinterpret_borrow<py::array>(x0_), "x0");
  }

  // The start's residuals (or Jacobian values) when this is the first
  // evaluation of them and x is x0, else None; either way they are let go
  // after the first. With the GIL.
  py::object Take(Span<const double> x, bool jacobian) {
    py::object& held = jacobian ? j0_ : f0_;
    py::object taken = std::move(held);
    held = py::object();
    // x0 is usually the solver's own x, unchanged before the first
    // evaluation: then nothing is compared.
    if (!taken || taken.is_none() || x.size() != x_.size() ||
        (x.data() != x_.data() && !std::equal(x.begin(), x.end(), x_.begin()))) {
      return py::none();
    }
    return taken;
  }

 private:
  py::object x0_, f0_, j0_;
  Span<const double> x_;
};

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
// references to the callables and arrays, which outlive the solve, so that
// nothing is reference-counted without the GIL.
template <class Index>
dalvex::LeastSquaresProblem MakeProblem(int64_t m,
                                        int64_t n,
                                        const py::array& rows,
                                        const py::array& columns,
                                        const py::function& residuals,
                                        const py::object& jacobian,
                                        TerminationTests& tests,
                                        CallArrays& arrays,
                                        Start& start) {
  const Span<const Index> r = ViewOf<Index>(rows, "the Jacobian's row indices");
  const Span<const Index> c = ViewOf<Index>(columns, "the Jacobian's column indices");
  dalvex::ResidualFunction f = [&residuals, &tests, &arrays, &start](Span<const double> x,
                                                                     Span<double> out) {
    {
      py::gil_scoped_acquire gil;
      CheckSignals();
      py::object result = start.Take(x, false);
      if (result.is_none()) result = residuals(arrays.Point(x));
      CopyResult(result, out, "the residual function");
      arrays.Returned(std::move(result), false);
    }
    if (tests.Residuals(x, out, arrays.Latest().residuals)) arrays.Adopted(false);
  };
  py::gil_scoped_release nogil;
  if (jacobian.is_none()) {
    return dalvex::LeastSquaresProblem::WithDifferenceJacobian(m, n, r, c, std::move(f));
  }
  // The values are viewed in the function's result, which the solver
  // carries into its own order in one pass.
  dalvex::JacobianViewFunction j = [&jacobian, &tests, &arrays, &start,
                                    entries = r.size()](Span<const double> x) {
    Span<const double> values;
    {
      py::gil_scoped_acquire gil;
      CheckSignals();
      py::object result = start.Take(x, true);
      if (result.is_none()) result = jacobian(arrays.Point(x));
      values = ResultOf(result, entries, "the Jacobian function");
      arrays.Returned(std::move(result), true);
    }
    if (tests.Jacobian(x, values, arrays.Latest().jacobian)) arrays.Adopted(true);
    return values;
  };
  return dalvex::LeastSquaresProblem::WithJacobianView(m, n, r, c, std::move(f), std::move(j));
}

// After each step tried: the termination tests, then `on_step` (the
// iteration table and the user's callback) when given; it returns True to
// stop (the callback raised StopIteration).
dalvex::IterationCallback StepHook(TerminationTests& tests,
                                   CallArrays& arrays,
                                   const py::object& on_step) {
  return [&tests, &arrays, &on_step](const dalvex::IterationReport& r) {
    const StepRow row = tests.Step(r, arrays.Latest());
    if (row.moved) arrays.Moved(row.adopted);
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
// dict, the residuals, the Jacobian's values in the pattern's order and the
// gradient Jᵀf at the final point (None when the tests have not made it
// there).
py::tuple Solve(int64_t m,
                int64_t n,
                const py::array& rows,
                const py::array& columns,
                const py::function& residuals,
                const py::object& jacobian,
                py::array_t<double, py::array::c_style> x,
                const py::list& start_evaluations,
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
  CallArrays arrays(!jacobian.is_none());
  Start start(start_evaluations);
  // The setup, as a user of the C++ interface has it: the problem (its
  // pattern checked and sorted), then the solver (the pattern analysed).
  const auto setup_start = std::chrono::steady_clock::now();
  dalvex::LeastSquaresProblem problem =
      py::isinstance<py::array_t<int64_t>>(rows)
          ? MakeProblem<int64_t>(m, n, rows, columns, residuals, jacobian, tests, arrays, start)
          : MakeProblem<int32_t>(m, n, rows, columns, residuals, jacobian, tests, arrays, start);
  auto solver = [&] {
    py::gil_scoped_release nogil;
    return dalvex::LeastSquaresSolver(std::move(problem), std::move(o));
  }();
  const std::chrono::duration<double> setup = std::chrono::steady_clock::now() - setup_start;
  tests.Start(n, solver.problem().jacobian_rows(), solver.problem().jacobian_columns(),
              !jacobian.is_none());
  solver.SetIterationCallback(StepHook(tests, arrays, on_step));
  dalvex::LeastSquaresSummary summary;
  {
    py::gil_scoped_release nogil;
    summary = solver.Solve(point);
  }
  py::dict report = SummaryOf(summary);
  report["setup_seconds"] = setup.count();
  // The tests' gradient serves when it was made from the final evaluations.
  // Their evaluations are usually the held arrays, which become the
  // result's: each is compared with the final values once. The comparisons
  // and the gradient (a pass over the Jacobian) read only arrays kept alive
  // here, without the GIL.
  const Span<const double> f = tests.residuals(), j = tests.jacobian();
  bool same_f = false, same_j = false;
  std::vector<double> g;
  {
    py::gil_scoped_release nogil;
    same_f = Same(f, solver.residuals());
    same_j = Same(j, solver.jacobian_values());
    if (same_f && same_j && Same(tests.x(), point)) g = tests.TakeGradient();
  }
  const py::object gradient = g.empty() ? py::object(py::none()) : ArrayTaking(std::move(g));
  return py::make_tuple(report, arrays.Final(solver.residuals(), false, f, same_f),
                        arrays.Final(solver.jacobian_values(), true, j, same_j), gradient);
}

// The row of each entry of a pattern in compressed rows (or the column, in
// compressed columns), from its starts (int32 or int64, as SciPy keeps
// them): starts [0 2 2 3] give [0 0 2].
template <class Index>
py::array_t<int32_t> CompressedMajorsOf(const py::array& starts) {
  const Span<const Index> s = ViewOf<Index>(starts, "the starts");
  if (s.empty() || s[0] != 0) throw py::value_error("the starts must begin with 0");
  const int64_t majors = static_cast<int64_t>(s.size()) - 1;
  if (majors > INT32_MAX) throw py::value_error("more than 2^31 - 1 rows");
  for (size_t i = 1; i < s.size(); ++i) {
    if (s[i] < s[i - 1]) throw py::value_error("the starts must not decrease");
  }
  py::array_t<int32_t> out(static_cast<py::ssize_t>(s[s.size() - 1]));
  int32_t* to = out.mutable_data();
  for (size_t i = 0; i + 1 < s.size(); ++i) {
    std::fill(to + s[i], to + s[i + 1], static_cast<int32_t>(i));
  }
  return out;
}

py::array_t<int32_t> CompressedMajors(const py::array& starts) {
  return py::isinstance<py::array_t<int32_t>>(starts) ? CompressedMajorsOf<int32_t>(starts)
                                                      : CompressedMajorsOf<int64_t>(starts);
}

// A canonical compressed pattern (starts from 0, not decreasing; each row's
// indices strictly increasing), taken over in one pass: copies of the
// starts and the indices, and the row of each entry (as CompressedMajors).
// None when the pattern is not canonical, or its arrays are not both int32
// or both int64 contiguous vectors: the caller then goes SciPy's way. One
// pass instead of SciPy's check of the format, two copies and the rows'
// expansion, each of which reads the arrays from memory again.
template <class Index>
py::object CanonicalPatternOf(const py::array& starts, const py::array& indices) {
  const Span<const Index> s = ViewOf<Index>(starts, "the starts");
  const Span<const Index> ix = ViewOf<Index>(indices, "the indices");
  if (s.empty() || s[0] != 0 || s.size() - 1 > static_cast<size_t>(INT32_MAX) ||
      s[s.size() - 1] < 0 || static_cast<size_t>(s[s.size() - 1]) != ix.size()) {
    return py::none();
  }
  py::array_t<Index> starts_copy(static_cast<py::ssize_t>(s.size()));
  py::array_t<Index> indices_copy(static_cast<py::ssize_t>(ix.size()));
  py::array_t<int32_t> majors(static_cast<py::ssize_t>(ix.size()));
  Index* to_s = starts_copy.mutable_data();
  Index* to_ix = indices_copy.mutable_data();
  int32_t* to_major = majors.mutable_data();
  to_s[0] = 0;
  for (size_t i = 0; i + 1 < s.size(); ++i) {
    const Index begin = s[i], end = s[i + 1];
    if (end < begin || static_cast<size_t>(end) > ix.size()) return py::none();
    for (Index k = begin; k < end; ++k) {
      if (k > begin && ix[k] <= ix[k - 1]) return py::none();
      to_ix[k] = ix[k];
      to_major[k] = static_cast<int32_t>(i);
    }
    to_s[i + 1] = end;
  }
  return py::make_tuple(starts_copy, indices_copy, majors);
}

py::object CanonicalPattern(const py::array& starts, const py::array& indices) {
  const auto plain = [](const py::array& v) {
    return v.ndim() == 1 && (v.flags() & py::array::c_style);
  };
  if (!plain(starts) || !plain(indices)) return py::none();
  if (py::isinstance<py::array_t<int32_t>>(starts) && py::isinstance<py::array_t<int32_t>>(indices)) {
    return CanonicalPatternOf<int32_t>(starts, indices);
  }
  if (py::isinstance<py::array_t<int64_t>>(starts) && py::isinstance<py::array_t<int64_t>>(indices)) {
    return CanonicalPatternOf<int64_t>(starts, indices);
  }
  return py::none();
}

// Whether two contiguous vectors of one dtype, integer or float64, hold
// equal elements, as NumPy's array_equal finds (integers by one memcmp)
// without its array of flags.
bool Equal(const py::array& a, const py::array& b) {
  const auto plain = [](const py::array& v) {
    return v.ndim() == 1 && (v.flags() & py::array::c_style);
  };
  const auto& api = py::detail::npy_api::get();
  const char kind = a.dtype().kind();
  if (!plain(a) || !plain(b) || !api.PyArray_EquivTypes_(a.dtype().ptr(), b.dtype().ptr()) ||
      !(kind == 'i' || kind == 'u' || py::isinstance<py::array_t<double>>(a))) {
    throw py::type_error("equal compares contiguous vectors of one integer dtype or float64");
  }
  if (a.size() != b.size()) return false;
  if (kind == 'f') {
    const Span<const double> u = ElementsOf(a), v = ElementsOf(b);
    return std::equal(u.begin(), u.end(), v.begin());
  }
  return a.size() == 0 || std::memcmp(a.data(), b.data(), static_cast<size_t>(a.nbytes())) == 0;
}

// max |v_i| of a nonempty float64 vector, NaN when one is NaN, as
// NumPy's max of abs finds it without the array of magnitudes.
double LargestMagnitude(const py::array& v) {
  const Span<const double> a = ViewOf<double>(v, "the vector");
  if (a.empty()) throw py::value_error("the vector is empty");
  double largest = 0.0;
  for (const double x : a) {
    if (std::isnan(x)) return std::fabs(x);
    largest = std::max(largest, std::fabs(x));
  }
  return largest;
}

}  // namespace

void BindLeastSquares(py::module_& m) {
  py::class_<TerminationTests>(m, "TerminationTests")
      .def(py::init<double, double, double, bool>(), py::arg("ftol"), py::arg("xtol"),
           py::arg("gtol"), py::arg("gradient"))
      .def_property_readonly("steps", &TerminationTests::steps)
      .def_property_readonly("status", &TerminationTests::status)
      .def_property_readonly("seconds", &TerminationTests::seconds);
  m.def("compressed_majors", &CompressedMajors, py::arg("starts"));
  m.def("canonical_pattern", &CanonicalPattern, py::arg("starts"), py::arg("indices"));
  m.def("equal", &Equal, py::arg("a"), py::arg("b"));
  m.def("largest_magnitude", &LargestMagnitude, py::arg("v"));
  m.def("least_squares", &Solve, py::arg("m"), py::arg("n"), py::arg("rows"),
        py::arg("columns"), py::arg("residuals"), py::arg("jacobian"), py::arg("x").noconvert(),
        py::arg("start"), py::arg("options"), py::arg("tests"), py::arg("on_step"), py::arg("on_log"));
}

}  // namespace dalvex_python
