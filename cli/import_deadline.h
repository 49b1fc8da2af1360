// A model importer that loops for ever on a damaged file must not hang a
// build: past its deadline the tool stops with one line naming the file and
// exit status 3. Nothing is written while a scene is read, so stopping
// there loses nothing.
#pragma once

#include <cstdint>
#include <string>

namespace kw {

class ImportDeadline {
 public:
  // seconds < 0: DefaultSeconds of ModelBytes; 0: no deadline.
  ImportDeadline(const std::string& path, double seconds);
  ~ImportDeadline();  // disarms
  ImportDeadline(const ImportDeadline&) = delete;
  ImportDeadline& operator=(const ImportDeadline&) = delete;

  // Five seconds, and a second more for every 64 KiB: far beyond what
  // reading a sound file takes, short enough that a damaged small file is
  // given up at once.
  static unsigned DefaultSeconds(std::uintmax_t fileBytes);
  // The bytes the import of the model at path may read: its own and those of
  // the files beside it whose names begin with its name.
  static std::uintmax_t ModelBytes(const std::string& path);

 private:
  bool armed_ = false;
};

}  // namespace kw
