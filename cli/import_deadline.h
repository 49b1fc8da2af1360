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
  // seconds < 0: DefaultSeconds of the file's size; 0: no deadline.
  ImportDeadline(const std::string& path, double seconds);
  ~ImportDeadline();  // disarms
  ImportDeadline(const ImportDeadline&) = delete;
  ImportDeadline& operator=(const ImportDeadline&) = delete;

  // A minute, and a second more for every 64 KiB: far beyond what reading a
  // sound file takes, short enough to notice.
  static unsigned DefaultSeconds(std::uintmax_t fileBytes);

 private:
  bool armed_ = false;
};

}  // namespace kw
