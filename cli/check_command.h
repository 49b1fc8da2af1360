// `kestrelworks check FILE.smd...`, and the same check on every SMD the
// export writes: the compiler's limits (smd/limit_check.h) on what is in the
// file as written.
#pragma once

#include <string>
#include <vector>

namespace kw {

class WarningPresenter;
namespace smd {
class StreamCheck;
}

// Prints each finding as "FILE: KIND: message" on stdout, or "FILE: clean"
// with what the file holds. 0 when every file is clean, 4 when one has a
// finding, 3 when one is not a readable SMD (each such file one line on
// stderr); every file is checked either way. 2 for an empty file name, before
// anything is read; 1 when the report cannot be written. A VTA (.vta, or a
// vertexanimation section) gets smd/vta_check.h's check too, its vertex
// numbers against the last reference before it in paths.
int RunCheck(const std::vector<std::string>& paths);

// Before an SMD is opened: false with a one-line error when it is a FIFO or
// a device, which would keep a reader waiting for a
// writer or reading for ever. A missing file passes; the reader says so.
bool CheckSmdInput(const std::string& path, std::string* error);

// Shows each finding in the SMD just written as a warning of its kind, naming
// the file as shownName (the user's output, not a temporary). It takes the
// findings of written, which was fed every byte, or when that declined reads
// back the file at path (nothing when path is empty: stdout). A file that
// cannot be read back is a warning too.
void CheckWrittenSmd(const std::string& path, const std::string& shownName,
                     WarningPresenter* warnings, smd::StreamCheck* written = nullptr);

}  // namespace kw
