#include "scene_file/scene_file.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "scene_file/direct_reader.h"
#include "scene_file/document_reader.h"

namespace kw {

namespace {

// The text is held in memory while it is read, and a refused file is read
// again as a whole document, at several times its size.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{1} << 30;

std::string TooLarge(const std::string& sourceName, std::uint64_t size) {
  return sourceName + ": the file holds " + std::to_string(size) +
         " bytes, more than the 1 GiB a scene file may have";
}

// Text with the room past its end that the direct reader reads ahead into.
std::unique_ptr<char[]> PaddedBuffer(std::size_t size) {
  const std::size_t padding = scene_file::DirectReaderPadding();
  std::unique_ptr<char[]> buffer(new char[size + padding]);
  std::memset(buffer.get() + size, 0, padding);
  return buffer;
}

// Nearly every file is taken by the direct reader; the rest are read again
// as a document, which says why it refuses them (or takes one the direct
// reader was too strict for).
std::unique_ptr<MemoryScene> Read(const char* text, std::size_t size, const std::string& sourceName,
                                  std::string* error) {
  std::unique_ptr<MemoryScene> scene = scene_file::ReadSceneDirect(text, size);
  if (scene) {
    if (error) error->clear();
    return scene;
  }
  return scene_file::ReadSceneDocument(std::string(text, size), sourceName, error);
}

}  // namespace

std::unique_ptr<MemoryScene> ParseSceneText(const std::string& text, const std::string& sourceName,
                                            std::string* error) {
  if (text.size() > kMaxFileBytes) {
    if (error) *error = TooLarge(sourceName, text.size());
    return nullptr;
  }
  const std::unique_ptr<char[]> padded = PaddedBuffer(text.size());
  std::memcpy(padded.get(), text.data(), text.size());
  return Read(padded.get(), text.size(), sourceName, error);
}

std::unique_ptr<MemoryScene> LoadSceneFile(const std::string& path, std::string* error) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    if (error) *error = path + ": cannot read the file: " + std::strerror(EISDIR);
    return nullptr;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    const int reason = errno;
    if (error) *error = path + ": cannot read the file: " + std::strerror(reason);
    return nullptr;
  }
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  file.seekg(0, std::ios::beg);
  if (size < 0) {
    if (error) *error = path + ": cannot read the file: not a regular file";
    return nullptr;
  }
  if (static_cast<std::uint64_t>(size) > kMaxFileBytes) {
    if (error) *error = TooLarge(path, static_cast<std::uint64_t>(size));
    return nullptr;
  }
  const std::unique_ptr<char[]> text = PaddedBuffer(static_cast<std::size_t>(size));
  if (!file.read(text.get(), size)) {
    const int reason = errno;
    if (error) *error = path + ": cannot read the file: " + std::strerror(reason);
    return nullptr;
  }
  return Read(text.get(), static_cast<std::size_t>(size), path, error);
}

}  // namespace kw
