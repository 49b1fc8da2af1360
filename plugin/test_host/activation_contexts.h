// What an activation context holds, as the system reports it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kw::test {

struct ContextContents {
  std::string rootManifest;             // the manifest (or module) the context was made from
  std::vector<std::string> assemblies;  // encoded identities, root first

  bool HasCommonControls6() const;
};

ContextContents DescribeContext(HANDLE context);

// Same file, whatever the letter case.
bool SamePath(const std::string& a, const std::string& b);

}  // namespace kw::test
