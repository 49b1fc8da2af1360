// What a run may write over. A run writes only the files the user named
// (-o, --log) and the files derived from them (OUT.png, the QC of --all):
// never over a file it reads, never through a link it did not expect, and a
// derived file never over a file the tool did not write itself.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kw {

// A file the run reads, and what it is to the user ("the scene being
// exported").
struct RunInput {
  std::string path;
  std::string role;
};

// False with *cause ("that is ROLE (PATH)") when output names one of inputs
// by any name: the same path, a symbolic link or a hard link to it. An
// output that does not exist yet is none of them.
bool CheckNotAnInput(const std::string& output, const std::vector<RunInput>& inputs,
                     std::string* cause);

// True when a and b name one file: the same file now, or, when neither
// exists yet, the same place once made (links followed).
bool SameDestination(const std::string& a, const std::string& b);

// What is at the place of a file the run would make.
enum class Found {
  kNothing,  // no file: it is made
  kFile,     // a regular file; its first bytes are in *head
  kOther,    // a link, a folder, a device, or a file that cannot be read
};

// Looks at path without following a link; reads at most limit bytes of a
// regular file into head.
Found Look(const std::string& path, std::size_t limit, std::string* head);

}  // namespace kw
