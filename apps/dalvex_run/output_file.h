// The files the command-line host writes: every one opened before the solve,
// every write and the close checked, so that a full disk or a bad path is
// reported as what it is and never as "written".
//
// Written whole or not at all: a regular file (or one that does not exist
// yet) is written to a temporary file beside it, FILE.<process id>.partial,
// and renamed into place only once complete, so that an existing file is
// replaced by a complete new one or left as it was. A device or a pipe
// (/dev/stdout, a FIFO) is written directly, as it cannot be replaced.
//
// CSV follows RFC 4180: CRLF line ends, and fields holding a comma, a quote,
// a line break or leading or trailing blanks are quoted, with their quotes
// doubled.
#ifndef DALVEX_RUN_OUTPUT_FILE_H
#define DALVEX_RUN_OUTPUT_FILE_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace dalvex_run {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // discards a file not closed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens `path` for writing; "-" is standard output. On failure error()
  // says why, and nothing is left behind.
  bool Open(const std::string& path);
  bool is_open() const { return file_ != nullptr; }

  // Writes `text`; after the first failure nothing more is written and
  // error() says why.  Allocates nothing.
  void Write(const char* text);
  void Write(const std::string& text) { Write(text.c_str()); }
  // Hands what was written to the system, for a reader following the file.
  void Flush();

  // The place of the next write, and a return to such a place to write over
  // what followed it; both false when the file cannot seek (a pipe).
  bool Tell(std::fpos_t* at);
  bool Seek(const std::fpos_t& at);

  // Flushes, closes and puts the file in place (standard output is flushed
  // only).  True when every write, the close and the rename succeeded;
  // otherwise the temporary file is removed and the path left as it was.
  bool Close();
  // Closes and removes the temporary file, leaving the path as it was.
  void Discard();

  bool failed() const { return failed_; }
  const std::string& path() const { return path_; }
  // The path, or "standard output" for "-".
  std::string shown() const { return path_ == "-" ? "standard output" : path_; }
  // Where the text goes until Close: the temporary file, or the path itself.
  const std::string& writing_to() const { return partial_.empty() ? path_ : partial_; }
  const std::string& error() const { return error_; }

 private:
  void Fail();
  bool OpenPartial(const std::string& target);

  std::FILE* file_ = nullptr;
  std::string path_;
  std::string target_;   // what the temporary file replaces (a link's target)
  std::string partial_;  // the temporary file, empty when written directly
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
