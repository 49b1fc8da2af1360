// export --preview: the picture of an SMD just written, drawn from its
// temporary file before anything is put in place, so that a picture that
// cannot be drawn keeps every earlier file. Each picture carries the tool's
// mark, so that a later run knows it may replace it.
#pragma once

#include <string>
#include <vector>

#include "cli/output_guard.h"

namespace kw {

// OUT.png beside OUT.smd: the SMD's name with ".png" for its extension.
std::string PreviewPath(const std::string& smdPath);

// An SMD, read from file and named name in the picture and in messages.
struct DrawnSmd {
  std::string file;
  std::string name;
};

// The PNG of smd alone or, given a reference, of the reference skinned by
// smd's poses. False with *error, one line naming smd.name.
bool DrawPreview(const DrawnSmd& smd, const DrawnSmd* reference, std::string* png,
                 std::string* error);

// Whether the picture may go to path: nothing is there, a picture this tool
// drew, or with overwrite any regular file or link, but never a file the
// run reads. False with *refusal, the end of a line "PATH: not drawn: ...".
bool MayDrawPreview(const std::string& path, const std::vector<RunInput>& inputs, bool overwrite,
                    std::string* refusal);

}  // namespace kw
