// dalvex-run: compresses a built-in coordinate-form Jacobian pattern (with one
// repeated entry and one entry outside the matrix) to column form with MC59AD
// and prints the result. Warnings and errors of MC59AD go to standard output.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <CLI/CLI.hpp>

#include "pemric/mc59.h"

namespace {

// A 6 x 5 Jacobian pattern, as (row, column) pairs in the order a host might
// hand them over: a tridiagonal band, a full last row, a repeat of (2,2) and
// an entry in row 7, which does not exist.
const int32_t kRows[] = {1, 2, 1, 3, 2, 2, 4, 3, 5, 4, 6, 6, 6, 6, 6, 5, 7};
const int32_t kCols[] = {1, 2, 2, 3, 1, 2, 4, 2, 5, 3, 1, 2, 3, 4, 5, 4, 1};
constexpr int32_t kEquations = 6, kVariables = 5;

void PrintColumns(const std::vector<int32_t>& ip, const std::vector<int32_t>& irn) {
  for (int32_t j = 1; j <= kVariables; ++j) {
    std::printf(" column %d:", j);
    for (int32_t k = ip[j - 1]; k < ip[j]; ++k) std::printf(" %d", irn[k - 1]);
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Compresses a built-in sparse pattern to column form with MC59AD."};
  int32_t mode = 1;
  bool no_check = false;
  app.add_option("--mode", mode, "0: rows in any order, 1: rows increasing")->check(CLI::Range(0, 1));
  app.add_flag("--no-check", no_check, "take every entry as valid (the built-in one is not)");
  CLI11_PARSE(app, argc, argv);

  std::vector<int32_t> irn(std::begin(kRows), std::end(kRows));
  std::vector<int32_t> jcn(std::begin(kCols), std::end(kCols));
  if (no_check) {  // without checks the entry outside the matrix must go first
    irn.pop_back();
    jcn.pop_back();
  }
  const int32_t ne = static_cast<int32_t>(irn.size()), nc = kVariables, nr = kEquations;
  const int32_t n1 = std::max(nc, nr) + 1, la = 1;
  std::vector<int32_t> ip(n1), iw(n1);
  double a = 0.0;
  int32_t icntl[MC59_LICNTL] = {no_check ? 1 : 0, mode, 1, 6, 6, 0, 0, 0, 0, 0};
  int32_t info[MC59_LINFO];
  std::printf(" MC59AD on a %d x %d pattern with %d entries, mode %d\n", nr, nc, ne, mode);
  std::fflush(stdout);
  MC59AD(icntl, &nc, &nr, &ne, irn.data(), &ne, jcn.data(), &la, &a, &n1, ip.data(), &n1,
         iw.data(), info);
  std::printf(" INFO(1) = %d, entries kept = %d, duplicates = %d, out of range = %d\n", info[0],
              info[5], info[2], info[3] + info[4]);
  if (info[0] < 0) return 1;
  PrintColumns(ip, irn);
  return 0;
}
