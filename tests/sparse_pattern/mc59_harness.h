// A call of MC59AD on arrays owned by the test, with the error and warning
// streams captured.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dalvex_test/stream_capture.h"
#include "pemric/mc59.h"
#include "pemric/one_based.h"

namespace mc59test {

constexpr int32_t kErrorUnit = 91;
constexpr int32_t kWarningUnit = 92;

struct Call {
  int32_t icntl[MC59_LICNTL] = {};
  int32_t nc = 0, nr = 0;
  std::vector<int32_t> irn, jcn, ip, iw;
  std::vector<double> a;
  int32_t info[MC59_LINFO] = {};
  std::string errors, warnings;

  // Checked, ordered coordinate input, unsymmetric, with values; both
  // streams captured.
  Call() {
    Control(MC59_ICNTL_NO_CHECK) = 0;
    Control(MC59_ICNTL_MODE) = MC59_MODE_COORDINATE_ORDERED;
    Control(MC59_ICNTL_PATTERN_ONLY) = 0;
    Control(MC59_ICNTL_ERROR_STREAM) = kErrorUnit;
    Control(MC59_ICNTL_WARNING_STREAM) = kWarningUnit;
    Control(MC59_ICNTL_SYMMETRIC) = 0;
  }

  int32_t& Control(int k) { return pemric::At(icntl)(k); }
  int32_t Info(int k) const { return pemric::At(info)(k); }

  // Coordinate input with arrays of the least lengths for the mode.
  void Coordinates(int32_t ncols, int32_t nrows, std::vector<int32_t> rows,
                   std::vector<int32_t> cols, std::vector<double> values = {}) {
    nc = ncols;
    nr = nrows;
    irn = std::move(rows);
    jcn = std::move(cols);
    a = values.empty() ? std::vector<double>(1, 0.0) : std::move(values);
    Control(MC59_ICNTL_PATTERN_ONLY) = a.size() == irn.size() ? 0 : 1;
    const int32_t n = std::max(nc, nr) + 1;
    ip.assign(Control(MC59_ICNTL_MODE) == 1 ? n : nc + 1, -7);
    iw.assign(n, -7);
  }

  void Run() { Run(static_cast<int32_t>(irn.size())); }

  void Run(int32_t ne) {
    const dalvex_test::StreamCapture error_stream(kErrorUnit), warning_stream(kWarningUnit);
    const int32_t ljcn = static_cast<int32_t>(jcn.size());
    const int32_t la = static_cast<int32_t>(a.size());
    const int32_t lip = static_cast<int32_t>(ip.size());
    const int32_t liw = static_cast<int32_t>(iw.size());
    if (jcn.empty()) jcn.push_back(0);
    MC59AD(icntl, &nc, &nr, &ne, irn.data(), &ljcn, jcn.data(), &la, a.data(), &lip, ip.data(),
           &liw, iw.data(), info);
    errors += error_stream.text();
    warnings += warning_stream.text();
  }

  std::vector<int32_t> Starts() const { return {ip.begin(), ip.begin() + nc + 1}; }
  std::vector<int32_t> Rows() const { return {irn.begin(), irn.begin() + Info(MC59_INFO_ENTRIES)}; }
};

}  // namespace mc59test
