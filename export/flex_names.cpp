#include "export/flex_names.h"

#include <cctype>
#include <unordered_map>
#include <unordered_set>

namespace kw {

namespace {

bool IsWordByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::string Folded(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded;
}

}  // namespace

std::vector<ControllerName> MakeControllerNames(const std::vector<std::string>& names) {
  std::vector<ControllerName> made;
  made.reserve(names.size());
  std::unordered_set<std::string> taken;
  // Where the search for a free suffix goes on for each name, so that many
  // names made alike do not each try every suffix from 2 again.
  std::unordered_map<std::string, std::size_t> nextSuffix;
  for (const std::string& name : names) {
    std::string safe;
    for (char c : name) safe += IsWordByte(static_cast<unsigned char>(c)) ? c : '_';
    if (safe.empty()) safe = "flex";
    if (safe[0] >= '0' && safe[0] <= '9') safe.insert(safe.begin(), '_');
    if (safe.size() > kMaxControllerName) safe.resize(kMaxControllerName);
    std::string unique = safe;
    if (taken.count(Folded(unique)) != 0) {
      std::size_t& n = nextSuffix.emplace(Folded(safe), 2).first->second;
      do {
        const std::string suffix = "_" + std::to_string(n++);
        unique = safe.substr(0, kMaxControllerName - suffix.size()) + suffix;
      } while (taken.count(Folded(unique)) != 0);
    }
    taken.insert(Folded(unique));
    made.push_back(ControllerName{unique, unique != name});
  }
  return made;
}

}  // namespace kw
