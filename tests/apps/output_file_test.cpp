// The solution file, read back through an independent CSV parser: names that
// hold commas, quotes or edge blanks survive, and every value comes back to
// the last bit.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
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

#if !defined(_WIN32)  // links and devices as POSIX has them
std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool AnyPartial() {
  for (const auto& entry : std::filesystem::directory_iterator("."))
    if (entry.path().string().find(".partial") != std::string::npos) return true;
  return false;
}

// An existing file is replaced by a complete new one at Close, and only
// then; a file discarded (or dropped unclosed) leaves it as it was.  A link
// keeps pointing at its target, which gets the new text.
TEST(WholeOrNotAtAll, ReplacesOnlyAtCloseAndKeepsOnDiscard) {
  enum End { kClose, kDiscard, kDrop };
  for (const End end : {kClose, kDiscard, kDrop}) {
    SCOPED_TRACE(end);
    std::ofstream("target.txt") << "old\n";
    std::filesystem::remove("link.txt");
    std::filesystem::create_symlink("target.txt", "link.txt");
    {
      OutputFile out;
      ASSERT_TRUE(out.Open("link.txt")) << out.error();
      out.Write("new\n");
      out.Flush();
      EXPECT_EQ(Contents("target.txt"), "old\n");  // not yet in place
      EXPECT_EQ(Contents(out.writing_to()), "new\n");
      if (end == kClose) {
        EXPECT_TRUE(out.Close()) << out.error();
      } else if (end == kDiscard) {
        out.Discard();
      }
    }
    EXPECT_EQ(Contents("target.txt"), end == kClose ? "new\n" : "old\n");
    EXPECT_TRUE(std::filesystem::is_symlink("link.txt"));
    EXPECT_FALSE(AnyPartial());
  }
}

// A device cannot be replaced: it is written directly, and never renamed over.
TEST(WholeOrNotAtAll, WritesADeviceDirectly) {
  OutputFile out;
  ASSERT_TRUE(out.Open("/dev/null")) << out.error();
  EXPECT_EQ(out.writing_to(), "/dev/null");
  out.Write("text");
  EXPECT_TRUE(out.Close());
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
}
#endif

}  // namespace
}  // namespace dalvex_run
