#include "smd/text_output.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kw {

namespace {

class FileSink : public ByteSink {
 public:
  FileSink(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}
  ~FileSink() override {
    if (file_) std::fclose(file_);
  }

  bool Write(const char* data, std::size_t size, std::string* error) override {
    if (!file_) {
      *error = path_ + ": already closed";
      return false;
    }
    if (std::fwrite(data, 1, size, file_) == size) return true;
    *error = path_ + ": " + std::strerror(errno);
    return false;
  }

  bool Finish(std::string* error) override {
    if (!file_) return true;
    std::FILE* file = file_;
    file_ = nullptr;
    const bool flushed = std::fflush(file) == 0;
    const int flushErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (flushed && closed) return true;
    *error = path_ + ": " + std::strerror(flushed ? errno : flushErrno);
    return false;
  }

 private:
  std::FILE* file_;
  std::string path_;
};

}  // namespace

std::unique_ptr<ByteSink> DiskFiles::Open(const std::string& path, OutputKind, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file) {
    *error = std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<FileSink>(file, path);
}

std::unique_ptr<ByteSink> MemoryFiles::Open(const std::string& path, OutputKind,
                                            std::string* error) {
  if (refused.count(path) != 0) {
    *error = "refused by the caller";
    return nullptr;
  }
  std::string& text = contents_[path];
  text.clear();
  return std::make_unique<StringSink>(&text);
}

const std::string* MemoryFiles::Find(const std::string& path) const {
  const auto found = contents_.find(path);
  return found == contents_.end() ? nullptr : &found->second;
}

TextStream::TextStream(std::unique_ptr<ByteSink> sink, std::size_t bufferSize)
    : sink_(std::move(sink)),
      bufferSize_(std::max(bufferSize, kMinBufferSize)),
      buffer_(new char[bufferSize_]) {}

TextStream::~TextStream() { Close(); }

void TextStream::Flush() {
  if (used_ == 0) return;
  Send(buffer_.get(), used_);
  used_ = 0;
}

void TextStream::Send(const char* data, std::size_t size) {
  if (failed_) return;
  if (closed_) {
    // The sink is finished: whatever comes now cannot reach it.
    failed_ = true;
    error_ = "text written after the stream was closed";
  } else if (!sink_) {
    failed_ = true;
    error_ = "no output to write to";
  } else if (!sink_->Write(data, size, &error_)) {
    failed_ = true;
    if (error_.empty()) error_ = "write failed";
  }
}

void TextStream::PutLong(std::string_view text) {
  const std::size_t head = std::min(text.size(), bufferSize_ - used_);
  std::memcpy(buffer_.get() + used_, text.data(), head);
  used_ += head;
  text.remove_prefix(head);
  if (text.empty()) return;
  Flush();
  // Whole buffers of it go to the sink as they are, without a copy.
  const std::size_t whole = text.size() - text.size() % bufferSize_;
  if (whole > 0) Send(text.data(), whole);
  text.remove_prefix(whole);
  std::memcpy(buffer_.get(), text.data(), text.size());
  used_ = text.size();
}

void TextStream::PutIntPadded(int value) {
  char digits[11];
  const std::size_t length = FormatInt(value, digits);
  for (std::size_t pad = length; pad < 3; ++pad) buffer_[used_++] = ' ';
  std::memcpy(buffer_.get() + used_, digits, length);
  used_ += length;
}

bool TextStream::Close() {
  if (closed_) return !failed_;
  Flush();
  closed_ = true;
  std::string finishError;
  if (!sink_) {
    if (!failed_) {
      failed_ = true;
      error_ = "no output to write to";
    }
  } else if (!sink_->Finish(&finishError) && !failed_) {
    failed_ = true;
    error_ = finishError.empty() ? "closing the output failed" : finishError;
  }
  return !failed_;
}

}  // namespace kw
