// The files the command-line host writes: every one opened before the solve,
// every write and the close checked, so that a full disk or a bad path is
// reported as what it is and never as "written".  CSV follows RFC 4180:
// CRLF line ends, and fields holding a comma, a quote, a line break or
// leading or trailing blanks are quoted, with their quotes doubled.
#ifndef DALVEX_RUN_OUTPUT_FILE_H
#define DALVEX_RUN_OUTPUT_FILE_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace dalvex_run {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens `path` for writing, replacing what it held; "-" is standard output.
  // On failure error() says why.
  bool Open(const std::string& path);
  bool is_open() const { return file_ != nullptr; }

  // Writes `text`; after the first failure nothing more is written and
  // error() says why.  Allocates nothing.
  void Write(const char* text);
  void Write(const std::string& text) { Write(text.c_str()); }

  // Flushes and closes (standard output is flushed only).  True when every
  // write and the close succeeded.
  bool Close();

  bool failed() const { return failed_; }
  const std::string& path() const { return path_; }
  // The path, or "standard output" for "-".
  std::string shown() const { return path_ == "-" ? "standard output" : path_; }
  const std::string& error() const { return error_; }

 private:
  void Fail();

  std::FILE* file_ = nullptr;
  std::string path_;
  bool failed_ = false;
  std::string error_;
  int errno_ = 0;  // of the first failure, turned into error_ outside the hot path
};

// One CSV field, quoted when it has to be.
std::string CsvField(const std::string& text);

// Writes "variable,value" and one row per variable, values to 17 digits.
template <typename Names>
void WriteSolutionCsv(OutputFile& out, const Names& name_of, const double* x, int32_t n) {
  out.Write("variable,value\r\n");
  char value[40];
  for (int32_t j = 0; j < n && !out.failed(); ++j) {
    std::snprintf(value, sizeof value, ",%.17g\r\n", x[j]);
    out.Write(CsvField(name_of(j)));
    out.Write(value);
  }
}

}  // namespace dalvex_run

#endif  // DALVEX_RUN_OUTPUT_FILE_H
