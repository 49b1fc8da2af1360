#include "readers/scene_file/scene_file.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "readers/scene_file/direct_reader.h"
#include "readers/scene_file/document_reader.h"

namespace kw {

namespace {

// A refused file is read again as a whole document, at several times its size.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{1} << 30;

std::string TooLarge(const std::string& sourceName, std::uint64_t size) {
  return sourceName + ": the file holds " + std::to_string(size) +
         " bytes, more than the 1 GiB a scene file may have";
}

}  // namespace

// Nearly every text is taken by the direct reader; the rest are read again
// as a document, which says why it refuses them (or takes one the direct
// reader was too strict for).
std::unique_ptr<MemoryScene> ParseSceneText(const std::string& text, const std::string& sourceName,
                                            std::string* error) {
  if (text.size() > kMaxFileBytes) {
    if (error) *error = TooLarge(sourceName, text.size());
    return nullptr;
  }
  std::size_t at = 0;
  std::unique_ptr<MemoryScene> scene =
      scene_file::ReadSceneDirect([&](char* into, std::size_t size) {
        const std::size_t n = text.copy(into, size, at);
        at += n;
        return n;
      });
  if (scene) {
    if (error) error->clear();
    return scene;
  }
  return scene_file::ReadSceneDocument(text, sourceName, error);
}

// The file is streamed through the direct reader, so it is never held whole
// unless it is refused.
std::unique_ptr<MemoryScene> LoadSceneFile(const std::string& path, std::string* error) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    if (error) *error = path + ": cannot read the file: " + std::strerror(EISDIR);
    return nullptr;
  }
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             std::fclose);
  const auto cannotRead = [&](const char* reason) {
    if (error) *error = path + ": cannot read the file: " + reason;
    return nullptr;
  };
  if (!file) return cannotRead(std::strerror(errno));
  struct stat status;
  if (::fstat(::fileno(file.get()), &status) != 0 || !S_ISREG(status.st_mode)) {
    return cannotRead("not a regular file");
  }
  const auto size = static_cast<std::uint64_t>(status.st_size);
  if (size > kMaxFileBytes) {
    if (error) *error = TooLarge(path, size);
    return nullptr;
  }
  std::unique_ptr<MemoryScene> scene = scene_file::ReadSceneDirect(
      [&](char* into, std::size_t room) { return std::fread(into, 1, room, file.get()); });
  if (scene && !std::ferror(file.get())) {
    if (error) error->clear();
    return scene;
  }
  std::rewind(file.get());
  std::string text(static_cast<std::size_t>(size), '\0');
  if (std::fread(text.data(), 1, text.size(), file.get()) != text.size()) {
    return cannotRead(std::ferror(file.get()) ? std::strerror(errno) : "the file shrank");
  }
  return scene_file::ReadSceneDocument(text, path, error);
}

}  // namespace kw
