// Reads an SMD file, ours or another tool's, into the flat model of smd_file.h.
#pragma once

#include <string>
#include <string_view>

#include "smd/smd_file.h"

namespace kw::smd {

// False, with *error "PATH: reason", when the file cannot be read or is not an
// SMD at all (no "version" line, no "nodes" section). Lines inside the file that
// do not parse go to file->problems with their line number and the read goes on.
bool ReadSmd(const std::string& path, File* file, std::string* error);
// The same on text already in memory; name stands for the path in messages.
bool ParseSmd(std::string_view text, const std::string& name, File* file, std::string* error);

}  // namespace kw::smd
