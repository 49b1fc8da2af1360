#include "core/text_output.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/number_format.h"

namespace {

constexpr std::size_t kBufferSize = 1 << 16;

class FileSink : public ByteSink {
 public:
  FileSink(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}
  ~FileSink() override {
    if (file_) std::fclose(file_);
  }

  bool Write(const char* data, std::size_t size, std::string* error) override {
    if (std::fwrite(data, 1, size, file_) == size) return true;
    *error = path_ + ": " + std::strerror(errno);
    return false;
  }

  bool Finish(std::string* error) override {
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

TextStream::TextStream(std::unique_ptr<ByteSink> sink)
    : sink_(std::move(sink)), buffer_(new char[kBufferSize]) {}

TextStream::~TextStream() { Close(); }

void TextStream::Flush() {
  if (used_ == 0) return;
  if (!failed_ && !sink_->Write(buffer_.get(), used_, &error_)) failed_ = true;
  used_ = 0;
}

void TextStream::Reserve(std::size_t size) {
  if (kBufferSize - used_ < size) Flush();
}

void TextStream::Put(std::string_view text) {
  while (!text.empty()) {
    if (used_ == kBufferSize) Flush();
    const std::size_t chunk = std::min(text.size(), kBufferSize - used_);
    std::memcpy(buffer_.get() + used_, text.data(), chunk);
    used_ += chunk;
    text.remove_prefix(chunk);
  }
}

void TextStream::Put(char c) {
  Reserve(1);
  buffer_[used_++] = c;
}

void TextStream::PutInt(int value) {
  Reserve(11);
  used_ += FormatInt(value, buffer_.get() + used_);
}

void TextStream::PutInt3(int value) {
  Reserve(11);
  char digits[11];
  const std::size_t length = FormatInt(value, digits);
  for (std::size_t pad = length; pad < 3; ++pad) buffer_[used_++] = ' ';
  std::memcpy(buffer_.get() + used_, digits, length);
  used_ += length;
}

void TextStream::PutFixed(double value) {
  Reserve(kMaxFixedLength);
  used_ += FormatFixed6(value, buffer_.get() + used_);
}

bool TextStream::Close() {
  if (closed_) return !failed_;
  closed_ = true;
  Flush();
  std::string finishError;
  if (!sink_->Finish(&finishError) && !failed_) {
    failed_ = true;
    error_ = finishError;
  }
  return !failed_;
}
