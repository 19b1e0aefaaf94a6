// dalvex._core.LDLT: the C++ LDLT behind dalvex.Factor. The matrix arrives
// as the arrays of a SciPy matrix (compressed columns, compressed rows or
// coordinates, 32- or 64-bit indices, double values), viewed where they lie.
// Factorizations and solves run with the GIL released, so that two threads
// factorizing two matrices run at the same time; a lock per object keeps a
// refactorization from running beside a solve or a query on the same one.
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include <pybind11/stl.h>

#include "binding.hpp"
#include "dalvex/dalvex.hpp"

namespace dalvex_python {
namespace {

using dalvex::Span;
using dalvex::SymmetricMatrix;

dalvex::Triangle ParseTriangle(const std::string& name) {
  if (name == "lower") return dalvex::Triangle::kLower;
  if (name == "upper") return dalvex::Triangle::kUpper;
  if (name == "both") return dalvex::Triangle::kBoth;
  throw py::value_error("triangle must be 'lower', 'upper' or None; got '" + name + "'");
}

// The matrix from the arrays of one layout: "csc" (column starts, row
// indices), "csr" (row starts, column indices) or "coo" (rows, columns).
template <class Index>
SymmetricMatrix MakeMatrix(int64_t n,
                           const std::string& layout,
                           Span<const Index> first,
                           Span<const Index> second,
                           Span<const double> values,
                           dalvex::Triangle triangle) {
  if (layout == "csc") return SymmetricMatrix::FromCsc(n, first, second, values, triangle);
  if (layout == "csr") return SymmetricMatrix::FromCsr(n, first, second, values, triangle);
  return SymmetricMatrix::FromCoordinates(n, first, second, values, triangle);
}

class Factorization {
 public:
  Factorization(const std::string& ordering,
                const std::vector<int32_t>& elimination_order,
                double pivot_threshold,
                double zero_pivot_tolerance)
      : ldlt_(Options(ordering, elimination_order, pivot_threshold, zero_pivot_tolerance)) {}

  // Factorizes the matrix of the arrays (analysing its pattern the first
  // time); returns "success" or "singular".
  std::string Factorize(int64_t n,
                        const std::string& layout,
                        const py::array& first,
                        const py::array& second,
                        const py::array& values,
                        const std::string& triangle_name) {
    const dalvex::Triangle triangle = ParseTriangle(triangle_name);
    if (layout != "csc" && layout != "csr" && layout != "coo") {
      throw py::value_error("unknown matrix layout '" + layout + "'");
    }
    const Span<const double> v = ViewOf<double>(values, "the matrix's values");
    dalvex::FactorStatus status;
    try {
      if (py::isinstance<py::array_t<int64_t>>(first)) {
        status = FactorizeSpans(n, layout, ViewOf<int64_t>(first, "the matrix's indices"),
                                ViewOf<int64_t>(second, "the matrix's indices"), v, triangle);
      } else {
        status = FactorizeSpans(n, layout, ViewOf<int32_t>(first, "the matrix's indices"),
                                ViewOf<int32_t>(second, "the matrix's indices"), v, triangle);
      }
    } catch (const dalvex::Error& e) {
      if (e.code() == dalvex::ErrorCode::kNotSymmetric) {
        throw py::value_error(std::string(e.what()) +
                              "; if A holds one triangle only, pass triangle='lower' or 'upper'");
      }
      if (e.code() == dalvex::ErrorCode::kPatternMismatch) {
        throw py::value_error(
            "A's pattern is not the one first factorized: refactor takes new values on the "
            "same pattern, in the same layout; call dalvex.ldl for a matrix of another pattern");
      }
      throw;
    }
    CheckSignals();
    return dalvex::to_string(status);
  }

  // Overwrites the columns of b (Fortran order, order() rows) with the
  // solutions; returns (refinement steps, scaled residual, seconds).
  py::tuple Solve(py::array_t<double, py::array::f_style> b,
                  int32_t refinement_steps,
                  bool compute_residual) const {
    if (b.ndim() != 2 || !b.writeable()) {
      throw py::type_error("solve takes a writable two-dimensional array in Fortran order");
    }
    dalvex::SolveOptions options;
    options.refinement_steps = refinement_steps;
    options.compute_residual = compute_residual;
    const int64_t rows = b.shape(0), columns = b.shape(1);
    Span<double> x(b.mutable_data(), static_cast<size_t>(rows * columns));
    dalvex::SolveReport report;
    {
      py::gil_scoped_release nogil;
      std::shared_lock<std::shared_mutex> lock(mutex_);
      if (rows != ldlt_.order()) {
        throw py::value_error("b has " + std::to_string(rows) + " rows; the factor's order is " +
                              std::to_string(ldlt_.order()));
      }
      report = columns == 1 ? ldlt_.SolveInPlace(x, options)
                            : ldlt_.SolveInPlace(x, columns, rows, options);
    }
    CheckSignals();
    return py::make_tuple(report.refinement_steps, report.scaled_residual, report.seconds);
  }

  std::string Status() const { return dalvex::to_string(Locked()->status()); }
  int32_t Order() const { return Locked()->order(); }
  int32_t Rank() const { return Locked()->rank(); }

  py::tuple Inertia() const {
    const dalvex::Inertia in = Locked()->inertia();
    return py::make_tuple(in.positive, in.negative, in.zero);
  }

  py::tuple LogDeterminant() const {
    const dalvex::LogDeterminant d = Locked()->log_determinant();
    return py::make_tuple(d.sign, d.log_abs);
  }

  py::dict Statistics() const {
    const auto held = Locked();
    const dalvex::LDLTStatistics& s = held->statistics();
    py::dict d;
    d["order"] = s.order;
    d["matrix_entries"] = s.matrix_entries;
    d["ordering"] = dalvex::to_string(s.ordering);
    d["amd_forecast_flops"] = s.amd_forecast_flops;
    d["metis_forecast_flops"] = s.metis_forecast_flops;
    d["forecast_factor_entries"] = s.forecast_factor_entries;
    d["forecast_flops"] = s.forecast_flops;
    d["forecast_largest_front"] = s.forecast_largest_front;
    d["forecast_bytes"] = s.forecast_bytes;
    d["factor_entries"] = s.factor_entries;
    d["fill"] = s.fill;
    d["flops"] = s.flops;
    d["largest_front"] = s.largest_front;
    d["two_by_two_pivots"] = s.two_by_two_pivots;
    d["delayed_pivots"] = s.delayed_pivots;
    d["rank"] = s.rank;
    d["factorizations"] = s.factorizations;
    d["peak_bytes"] = s.peak_bytes;
    d["analyse_seconds"] = s.analyse_seconds;
    d["ordering_seconds"] = s.ordering_seconds;
    d["factorize_seconds"] = s.factorize_seconds;
    return d;
  }

 private:
  // Makes the matrix of the spans (taken while the GIL was held) and
  // factorizes it, without the GIL, holding this object alone.
  template <class Index>
  dalvex::FactorStatus FactorizeSpans(int64_t n,
                                      const std::string& layout,
                                      Span<const Index> first,
                                      Span<const Index> second,
                                      Span<const double> values,
                                      dalvex::Triangle triangle) {
    py::gil_scoped_release nogil;
    std::unique_lock<std::shared_mutex> lock(mutex_);
    return ldlt_.Factorize(MakeMatrix<Index>(n, layout, first, second, values, triangle));
  }

  static dalvex::LDLTOptions Options(const std::string& ordering,
                                     const std::vector<int32_t>& elimination_order,
                                     double pivot_threshold,
                                     double zero_pivot_tolerance) {
    dalvex::LDLTOptions options;
    options.ordering = dalvex::ParseOrdering(ordering);
    options.elimination_order = elimination_order;
    options.pivot_threshold = pivot_threshold;
    options.zero_pivot_tolerance = zero_pivot_tolerance;
    return options;
  }

  // The object under a shared lock, taken without the GIL so that a thread
  // factorizing this object is never waited for with the GIL held.
  struct Held {
    std::shared_lock<std::shared_mutex> lock;
    const dalvex::LDLT* ldlt;
    const dalvex::LDLT* operator->() const { return ldlt; }
  };
  Held Locked() const {
    py::gil_scoped_release nogil;
    return Held{std::shared_lock<std::shared_mutex>(mutex_), &ldlt_};
  }

  dalvex::LDLT ldlt_;
  // Factorize holds it alone; solves and queries share it.
  mutable std::shared_mutex mutex_;
};

}  // namespace

void BindLdlt(py::module_& m) {
  py::class_<Factorization>(m, "LDLT")
      .def(py::init<const std::string&, const std::vector<int32_t>&, double, double>(),
           py::arg("ordering"), py::arg("elimination_order"), py::arg("pivot_threshold"),
           py::arg("zero_pivot_tolerance"))
      .def("factorize", &Factorization::Factorize, py::arg("n"), py::arg("layout"),
           py::arg("first"), py::arg("second"), py::arg("values"), py::arg("triangle"))
      .def("solve", &Factorization::Solve, py::arg("b").noconvert(),
           py::arg("refinement_steps"), py::arg("compute_residual"))
      .def_property_readonly("status", &Factorization::Status)
      .def_property_readonly("order", &Factorization::Order)
      .def_property_readonly("rank", &Factorization::Rank)
      .def_property_readonly("inertia", &Factorization::Inertia)
      .def("log_determinant", &Factorization::LogDeterminant)
      .def("statistics", &Factorization::Statistics);
  m.def("metis_available", &dalvex::MetisAvailable);
}

}  // namespace dalvex_python
