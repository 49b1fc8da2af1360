// Where the session's two files go, and the buffered text stream the writers
// format into. The session never names a file system call itself: whoever
// runs it (the command line, the plug-in, a test) hands it an OutputFiles.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "smd/number_format.h"

namespace kw {

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

// Appends everything written to a string the caller owns.
class StringSink : public ByteSink {
 public:
  explicit StringSink(std::string* text) : text_(text) {}
  bool Write(const char* data, std::size_t size, std::string*) override {
    text_->append(data, size);
    return true;
  }
  bool Finish(std::string*) override { return true; }

 private:
  std::string* text_;
};

// Outputs kept in memory by path, so that a whole export can run without a
// disk: tests, fuzzing, benchmarks. A path in `refused` cannot be opened.
class MemoryFiles : public OutputFiles {
 public:
  std::set<std::string> refused;

  std::unique_ptr<ByteSink> Open(const std::string& path, OutputKind kind,
                                 std::string* error) override;
  // The text written to path; null when it was never opened.
  const std::string* Find(const std::string& path) const;

 private:
  // std::map keeps each string where it is while others are added.
  std::map<std::string, std::string> contents_;
};

// A buffered text stream over a sink. Numbers are formatted without the
// process locale: "." is always the decimal separator. The first failed write
// is kept; later writes are dropped and Close reports it. The sink gets one
// write per filled buffer, or several buffers' worth of a long text at once.
// The Put calls are inline: the writers make a few of them for every number
// of every line.
class TextStream {
 public:
  // A quarter megabyte per write: smaller writes cost the kernel measurably
  // more per byte on big files.
  static constexpr std::size_t kDefaultBufferSize = std::size_t{1} << 18;
  // The longest text a single Put reserves room for; smaller buffers are
  // taken as this.
  static constexpr std::size_t kMinBufferSize = std::size_t{1} << 12;

  explicit TextStream(std::unique_ptr<ByteSink> sink, std::size_t bufferSize = kDefaultBufferSize);
  ~TextStream();
  TextStream(const TextStream&) = delete;
  TextStream& operator=(const TextStream&) = delete;

  void Put(std::string_view text) {
    if (text.size() > bufferSize_ - used_) {
      PutLong(text);
      return;
    }
    if (text.empty()) return;  // data() may be null
    std::memcpy(buffer_.get() + used_, text.data(), text.size());
    used_ += text.size();
  }
  void Put(char c) {
    if (used_ == bufferSize_) Flush();
    buffer_[used_++] = c;
  }
  // "%d"
  void PutInt(int value) {
    Reserve(11);
    used_ += FormatInt(value, buffer_.get() + used_);
  }
  // "%3d": right-aligned in three columns, wider when it needs more.
  void PutInt3(int value) {
    Reserve(11);
    if (value >= 0 && value < 1000) {
      char* out = buffer_.get() + used_;
      out[0] = value >= 100 ? static_cast<char>('0' + value / 100) : ' ';
      out[1] = value >= 10 ? static_cast<char>('0' + value / 10 % 10) : ' ';
      out[2] = static_cast<char>('0' + value % 10);
      used_ += 3;
      return;
    }
    PutIntPadded(value);
  }
  // "%f" of a float widened to double: six decimals.
  void PutFixed(double value) {
    Reserve(kMaxFixedLength);
    used_ += FormatFixed6(value, buffer_.get() + used_);
  }

  // Safe to ask from the export's thread while a worker writes: a long
  // export stops at the first refused write instead of computing on.
  bool Failed() const { return failed_.load(std::memory_order_relaxed); }
  const std::string& Error() const { return error_; }
  // Flushes and finishes the sink; false (with Error() set) when any write failed.
  bool Close();

 private:
  void Reserve(std::size_t size) {
    if (bufferSize_ - used_ < size) Flush();
  }
  void Flush();
  void Send(const char* data, std::size_t size);
  void PutLong(std::string_view text);
  void PutIntPadded(int value);

  std::unique_ptr<ByteSink> sink_;
  std::size_t bufferSize_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  std::atomic<bool> failed_{false};
  bool closed_ = false;
  std::string error_;
};

}  // namespace kw
