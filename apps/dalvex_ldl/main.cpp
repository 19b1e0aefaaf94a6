// dalvex-ldl: factorizes a sparse symmetric matrix read from a Matrix Market
// file as LDL^T and solves with it, printing what the factorization found.
//
//   dalvex-ldl A.mtx [--rhs B.mtx] [--out X.mtx] [--ordering amd|metis|natural|auto]
//              [--refine N] [--json FILE|-]
//
// Exit status: 0 solved; 1 numerically singular, or not solved (a scaled
// residual above 1e-8); 2 usage or a malformed or unsupported file (the
// message names the line); 3 the environment (memory, files).
#include <CLI/CLI.hpp>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <new>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "dalvex/dalvex.hpp"
#include "output_file.h"
#include "report.h"

namespace dalvex_ldl {
namespace {

constexpr double kSolvedResidual = 1e-8;

struct Options {
  std::string matrix, rhs, out, json;
  std::string ordering = "auto";
  int32_t refine = 0;
};

struct Outcome {
  int exit_status = 0;
  std::string verdict;
  std::vector<std::string> written;
};

std::string Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Line(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return std::string(text) + "\n";
}

std::string Mib(int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", bytes / 1048576.0);
  return text;
}

// Writes a whole file through dalvex-run's OutputFile: to a temporary file
// beside the path, renamed into place once complete ("-" is standard
// output). Throws Error (kFile) with the reason.
void WriteWholeFile(const std::string& path, const std::string& content) {
  dalvex_run::OutputFile out;
  if (out.Open(path)) out.Write(content);
  if (!out.is_open() || !out.Close()) {
    throw dalvex::Error(dalvex::ErrorCode::kFile, out.error());
  }
}

int Run(const Options& o) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const dalvex::SymmetricMatrix a = dalvex::ReadSymmetricMatrixFile(o.matrix);
  const int64_t n = a.order();
  int64_t columns = 1;
  std::vector<double> b;
  if (!o.rhs.empty()) {
    dalvex::DenseMatrix rhs = dalvex::ReadDenseMatrixFile(o.rhs);
    if (rhs.rows != n || rhs.columns < 1) {
      throw dalvex::Error(dalvex::ErrorCode::kMalformedInput,
                          o.rhs + ": " + std::to_string(rhs.rows) + " x " +
                              std::to_string(rhs.columns) +
                              " right-hand sides for a matrix of order " + std::to_string(n));
    }
    columns = rhs.columns;
    b = std::move(rhs.values);
  } else {  // b = A 1, whose solution is all ones
    b.resize(static_cast<size_t>(n));
    a.Multiply(std::vector<double>(static_cast<size_t>(n), 1.0), b);
  }
  const double read_seconds = std::chrono::duration<double>(Clock::now() - start).count();

  dalvex::LDLTOptions options;
  options.ordering = dalvex::ParseOrdering(o.ordering);
  dalvex::LDLT ldlt(options);
  const dalvex::FactorStatus status = ldlt.Factorize(a);
  std::vector<double> x = b;
  dalvex::SolveOptions solve;
  solve.refinement_steps = o.refine;
  solve.compute_residual = true;
  const dalvex::SolveReport report = ldlt.SolveInPlace(x, columns, n, solve);
  const dalvex::LDLTStatistics& s = ldlt.statistics();
  const dalvex::Inertia in = ldlt.inertia();
  const dalvex::LogDeterminant det = ldlt.log_determinant();

  Outcome outcome;
  if (status == dalvex::FactorStatus::kSingular) {
    outcome.exit_status = 1;
    outcome.verdict =
        "numerically singular: rank " + std::to_string(s.rank) + " < " + std::to_string(n);
  } else if (!(report.scaled_residual <= kSolvedResidual)) {
    outcome.exit_status = 1;
    outcome.verdict = "not solved: scaled residual above 1e-8";
  } else {
    outcome.verdict = "solved";
  }
  bool finite = true;
  for (double v : x) finite = finite && std::isfinite(v);
  if (!o.out.empty() && finite) {
    std::ostringstream text;
    dalvex::WriteDenseMatrix(text, n, columns, x);
    WriteWholeFile(o.out, text.str());
    outcome.written.push_back(o.out);
  }
  const int64_t peak = dalvex_run::PeakResidentBytes();

  std::string text;
  text += Line("Matrix         %s: order %lld, %lld entries as given, %lld in the lower triangle",
               o.matrix.c_str(), static_cast<long long>(n), static_cast<long long>(a.entries()),
               static_cast<long long>(a.stored_entries()));
  text += Line("Ordering       %s (forecast flops: amd %.4g, metis %.4g)",
               dalvex::to_string(s.ordering), s.amd_forecast_flops, s.metis_forecast_flops);
  text += Line("Factors        %lld entries, fill %.3g, %.4g flops, largest front %d",
               static_cast<long long>(s.factor_entries), s.fill, s.flops, s.largest_front);
  text += Line("Pivots         %d 2x2, %d delayed", s.two_by_two_pivots, s.delayed_pivots);
  text +=
      Line("Inertia        %d positive, %d negative, %d zero", in.positive, in.negative, in.zero);
  text += Line("Determinant    sign %+.0f, log|det| %.10g", det.sign, det.log_abs);
  text += Line(
      "Residual       %.3e = max ||Ax-b||/(||A|| ||x|| + ||b||) over %lld right-hand side%s%s, %d "
      "refinement step%s",
      report.scaled_residual, static_cast<long long>(columns), columns == 1 ? "" : "s",
      o.rhs.empty() ? " (b = A*1)" : "", report.refinement_steps,
      report.refinement_steps == 1 ? "" : "s");
  text += Line(
      "Time           read %.3f s, analyse %.3f s (ordering %.3f s), factorize %.3f s, solve %.3f "
      "s",
      read_seconds, s.analyse_seconds, s.ordering_seconds, s.factorize_seconds, report.seconds);
  text += Line("Memory         peak %s resident; factorization's arrays %s at most",
               peak < 0 ? "unknown" : Mib(peak).c_str(), Mib(s.peak_bytes).c_str());
  text += Line("Outcome        %s", outcome.verdict.c_str());
  std::fputs(text.c_str(), o.json == "-" ? stderr : stdout);

  if (!o.json.empty()) {
    auto number = [](double v) {
      return std::isfinite(v) ? nlohmann::json(v) : nlohmann::json(nullptr);
    };
    nlohmann::json j = {
        {"matrix",
         {{"file", o.matrix},
          {"order", n},
          {"entries", a.entries()},
          {"lower_triangle_entries", a.stored_entries()}}},
        {"right_hand_sides",
         {{"file", o.rhs.empty() ? nlohmann::json(nullptr) : nlohmann::json(o.rhs)},
          {"columns", columns}}},
        {"ordering",
         {{"requested", o.ordering},
          {"used", dalvex::to_string(s.ordering)},
          {"amd_forecast_flops", number(s.amd_forecast_flops)},
          {"metis_forecast_flops", number(s.metis_forecast_flops)}}},
        {"factors",
         {{"entries", s.factor_entries},
          {"fill", s.fill},
          {"flops", s.flops},
          {"forecast_entries", s.forecast_factor_entries},
          {"forecast_flops", s.forecast_flops},
          {"largest_front", s.largest_front},
          {"two_by_two_pivots", s.two_by_two_pivots},
          {"delayed_pivots", s.delayed_pivots},
          {"rank", s.rank}}},
        {"inertia", {{"positive", in.positive}, {"negative", in.negative}, {"zero", in.zero}}},
        {"determinant", {{"sign", det.sign}, {"log_abs", number(det.log_abs)}}},
        {"scaled_residual", number(report.scaled_residual)},
        {"refinement_steps", report.refinement_steps},
        {"seconds",
         {{"read", read_seconds},
          {"analyse", s.analyse_seconds},
          {"ordering", s.ordering_seconds},
          {"factorize", s.factorize_seconds},
          {"solve", report.seconds}}},
        {"peak_resident_bytes", peak < 0 ? nlohmann::json(nullptr) : nlohmann::json(peak)},
        {"factorization_bytes", s.peak_bytes},
        {"outcome", outcome.verdict},
        {"files_written", outcome.written},
        {"exit_status", outcome.exit_status}};
    WriteWholeFile(o.json, j.dump(2) + "\n");
  }
  return outcome.exit_status;
}

int ExitStatusOf(dalvex::ErrorCode code) {
  switch (code) {
    case dalvex::ErrorCode::kFile: return 3;
    case dalvex::ErrorCode::kRoutineStatus: return 1;
    default: return 2;
  }
}

int Main(int argc, char** argv) {
  Options o;
  CLI::App app{
      "Factorizes a sparse symmetric matrix from a Matrix Market file as LDL^T, solves\n"
      "with it and prints the inertia, the fill, the pivots, the scaled residual and the\n"
      "time of each phase. Exit status: 0 solved, 1 singular or not solved, 2 usage or a\n"
      "malformed file, 3 memory or files.",
      "dalvex-ldl"};
  app.add_option("matrix", o.matrix, "Coordinate file, real or integer, symmetric or general")
      ->required()
      ->type_name("A.mtx");
  app.add_option("--rhs", o.rhs,
                 "Right-hand sides: an array file with one column each (default b = A*1)")
      ->type_name("B.mtx");
  app.add_option("--out", o.out, "Write the solutions to this array file")->type_name("X.mtx");
  app.add_option("--ordering", o.ordering, "Fill-reducing ordering (default auto)")
      ->check(CLI::IsMember({"amd", "metis", "natural", "auto"}));
  app.add_option("--refine", o.refine,
                 "At most this many steps of iterative refinement (default 0)")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--json", o.json, "Write the results as JSON to this file (- for standard output)")
      ->type_name("FILE");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  try {
    return Run(o);
  } catch (const dalvex::Error& e) {
    std::fprintf(stderr, "dalvex-ldl: %s\n", e.what());
    return ExitStatusOf(e.code());
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "dalvex-ldl: out of memory\n");
    return 3;
  }
}

}  // namespace
}  // namespace dalvex_ldl

int main(int argc, char** argv) { return dalvex_ldl::Main(argc, argv); }
