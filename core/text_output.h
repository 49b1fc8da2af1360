// Where the session's two files go, and the buffered text stream the writers
// format into. The session never names a file system call itself: whoever
// runs it (the command line, the plug-in, a test) hands it an OutputFiles.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// The bytes of one open output. Write may be called many times; Finish is
// called once at the end and reports whether everything reached its target.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // False when the bytes could not be written; error tells why.
  virtual bool Write(const char* data, std::size_t size, std::string* error) = 0;
  virtual bool Finish(std::string* error) = 0;
};

enum class OutputKind { kSmd, kLog };

class OutputFiles {
 public:
  virtual ~OutputFiles() = default;
  // Opens path for writing (created or truncated, text mode). Null with error
  // set when it cannot be opened.
  virtual std::unique_ptr<ByteSink> Open(const std::string& path, OutputKind kind,
                                         std::string* error) = 0;
};

// Plain files through the C runtime, "w" text mode: CR LF line ends on
// Windows, LF elsewhere.
class DiskFiles : public OutputFiles {
 public:
  std::unique_ptr<ByteSink> Open(const std::string& path, OutputKind kind,
                                 std::string* error) override;
};

// A buffered text stream over a sink. Numbers are formatted without the
// process locale: "." is always the decimal separator. The first failed write
// is kept; later writes are dropped and Close reports it.
class TextStream {
 public:
  explicit TextStream(std::unique_ptr<ByteSink> sink);
  ~TextStream();
  TextStream(const TextStream&) = delete;
  TextStream& operator=(const TextStream&) = delete;

  void Put(std::string_view text);
  void Put(char c);
  // "%d"
  void PutInt(int value);
  // "%3d": right-aligned in three columns, wider when it needs more.
  void PutInt3(int value);
  // "%f" of a float widened to double: six decimals.
  void PutFixed(double value);

  bool Failed() const { return failed_; }
  const std::string& Error() const { return error_; }
  // Flushes and finishes the sink; false (with Error() set) when any write failed.
  bool Close();

 private:
  void Reserve(std::size_t size);
  void Flush();

  std::unique_ptr<ByteSink> sink_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
  bool closed_ = false;
  std::string error_;
};
