// The solution file, read back through an independent CSV parser: names that
// hold commas, quotes or edge blanks survive, and every value comes back to
// the last bit.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "output_file.h"

// The parser copies its file name with strncpy, which GCC flags once inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wstringop-truncation"
#include <libfccp/csv.h>
#pragma GCC diagnostic pop

namespace dalvex_run {
namespace {

TEST(SolutionCsv, RoundTripsThroughACsvParser) {
  const std::vector<std::string> names = {"u(1,1)", "say \"hi\"", " padded ", "plain", "a,\"b\",c"};
  const std::vector<double> x = {0.61899677974153966, -2.0, 1e-300, 0.1, -1.7976931348623157e308};
  OutputFile out;
  ASSERT_TRUE(out.Open("solution.csv")) << out.error();
  WriteSolutionCsv(out, [&](int32_t j) { return names[j]; }, x.data(), static_cast<int32_t>(x.size()));
  ASSERT_TRUE(out.Close()) << out.error();

  io::CSVReader<2, io::trim_chars<>, io::double_quote_escape<',', '"'>> in("solution.csv");
  in.read_header(io::ignore_no_column, "variable", "value");
  std::string name, value;
  for (size_t j = 0; j < names.size(); ++j) {
    SCOPED_TRACE(names[j]);
    ASSERT_TRUE(in.read_row(name, value));
    EXPECT_EQ(name, names[j]);
    EXPECT_EQ(std::strtod(value.c_str(), nullptr), x[j]);
  }
  EXPECT_FALSE(in.read_row(name, value));
}

TEST(SolutionCsv, QuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(CsvField("flash.xA"), "flash.xA");
  EXPECT_EQ(CsvField("u(1,2)"), "\"u(1,2)\"");
  EXPECT_EQ(CsvField("6\" pipe"), "\"6\"\" pipe\"");
  EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
}

}  // namespace
}  // namespace dalvex_run
