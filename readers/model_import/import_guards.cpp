#include "readers/model_import/import_guards.h"

#include <assimp/DefaultLogger.hpp>

#include <sys/stat.h>

#include <cfloat>
#include <cstdio>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <unordered_set>
#include <vector>

#if defined(__linux__)
#include <unistd.h>
#endif

namespace kw::model_import {
namespace {

constexpr std::uintmax_t kBaseBudget = std::uintmax_t(1) << 30;
constexpr std::uintmax_t kBudgetPerFileByte = 256;

#if defined(__linux__)
std::uintmax_t CurrentAddressSpace() {
  std::ifstream statm("/proc/self/statm");
  std::uintmax_t pages = 0;
  if (!(statm >> pages)) return 0;
  const long pageSize = sysconf(_SC_PAGESIZE);
  return pageSize > 0 ? pages * static_cast<std::uintmax_t>(pageSize) : 0;
}
#endif

bool Finite(float x) { return std::isfinite(x); }
bool Finite(const aiVector3D& v) { return Finite(v.x) && Finite(v.y) && Finite(v.z); }
bool Finite(const aiQuaternion& q) {
  return Finite(q.x) && Finite(q.y) && Finite(q.z) && Finite(q.w);
}
bool Finite(const aiMatrix4x4& m) {
  const float* entries = &m.a1;
  for (int i = 0; i < 16; ++i) {
    if (!Finite(entries[i])) return false;
  }
  return true;
}

template <typename Key>
bool FiniteKeys(const Key* keys, unsigned count) {
  for (unsigned k = 0; k < count; ++k) {
    if (!std::isfinite(keys[k].mTime) || !Finite(keys[k].mValue)) return false;
  }
  return true;
}

std::string Quoted(const aiString& name) { return std::string("\"") + name.C_Str() + "\""; }

}  // namespace

AddressSpaceCap::AddressSpaceCap(bool enabled, std::uintmax_t fileSize) {
#if defined(__linux__)
  if (!enabled || getrlimit(RLIMIT_AS, &previous_) != 0) return;
  const std::uintmax_t current = CurrentAddressSpace();
  if (current == 0) return;
  const std::uintmax_t most = std::numeric_limits<rlim_t>::max() / 2;
  const std::uintmax_t perByte =
      fileSize > most / kBudgetPerFileByte ? most : fileSize * kBudgetPerFileByte;
  const std::uintmax_t wanted = std::min(most, current + kBaseBudget + std::min(perByte, most));
  if (previous_.rlim_cur != RLIM_INFINITY && previous_.rlim_cur <= wanted) return;
  rlimit capped = previous_;
  capped.rlim_cur = static_cast<rlim_t>(wanted);
  applied_ = setrlimit(RLIMIT_AS, &capped) == 0;
#else
  (void)enabled;
  (void)fileSize;
#endif
}

AddressSpaceCap::~AddressSpaceCap() {
#if defined(__linux__)
  if (applied_) setrlimit(RLIMIT_AS, &previous_);
#endif
}

class DroppedDataLog::Stream : public Assimp::LogStream {
 public:
  explicit Stream(std::string* firstDrop) : firstDrop_(firstDrop) {}

  void write(const char* message) override {
    if (!firstDrop_->empty() || !message) return;
    std::string text = message;
    // "Warn,  T0: text\n": keep the text.
    const std::size_t colon = text.find(": ");
    if (colon != std::string::npos && colon < 16) text.erase(0, colon + 2);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (TellsOfDroppedData(text)) *firstDrop_ = text;
  }

 private:
  std::string* firstDrop_;
};

DroppedDataLog::DroppedDataLog() : stream_(std::make_unique<Stream>(&firstDrop_)) {
  if (Assimp::DefaultLogger::isNullLogger()) {
    Assimp::DefaultLogger::create("", Assimp::Logger::NORMAL, 0);
    ownsLogger_ = true;
  }
  Assimp::DefaultLogger::get()->attachStream(stream_.get(),
                                             Assimp::Logger::Warn | Assimp::Logger::Err);
}

// Detaching hands the stream back to us before the logger could delete it.
DroppedDataLog::~DroppedDataLog() {
  Assimp::DefaultLogger::get()->detachStream(stream_.get(),
                                             Assimp::Logger::Warn | Assimp::Logger::Err);
  if (ownsLogger_) Assimp::DefaultLogger::kill();
}

bool TellsOfDroppedData(const std::string& message) {
  std::string text = message;
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  const auto holds = [&](const char* phrase) { return text.find(phrase) != std::string::npos; };
  if (holds("index overflow") || holds("were dropped")) return true;
  for (const char* range : {"out of range", "out-of-range", "out of-range", "out-of range"}) {
    if (holds(range)) return true;
  }
  // "invalid index", or one word of letters and '-' between: "invalid vertex index".
  const std::string invalid = "invalid ";
  for (std::size_t at = text.find(invalid); at != std::string::npos;
       at = text.find(invalid, at + 1)) {
    const std::size_t word = at + invalid.size();
    std::size_t end = word;
    while (end < text.size() && ((text[end] >= 'a' && text[end] <= 'z') || text[end] == '-')) ++end;
    if (text.compare(word, 5, "index") == 0) return true;
    if (end > word && text.compare(end, 6, " index") == 0) return true;
  }
  return false;
}

bool CheckFinite(const aiScene& scene, const aiAnimation* animation, std::string* error) {
  std::vector<const aiNode*> pending{scene.mRootNode};
  std::unordered_set<const aiNode*> visited;
  while (!pending.empty()) {
    const aiNode* node = pending.back();
    pending.pop_back();
    if (!node || !visited.insert(node).second) continue;
    if (!Finite(node->mTransformation)) {
      *error = "node " + Quoted(node->mName) + " has a transform that is not a finite number";
      return false;
    }
    for (unsigned i = 0; i < node->mNumChildren; ++i) pending.push_back(node->mChildren[i]);
  }

  for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
    const aiMesh& mesh = *scene.mMeshes[m];
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
      if (!Finite(mesh.mVertices[v])) {
        *error = "mesh " + Quoted(mesh.mName) + ": vertex " + std::to_string(v) +
                 " has a position that is not a finite number";
        return false;
      }
    }
    if (mesh.HasTextureCoords(0)) {
      for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
        if (!Finite(mesh.mTextureCoords[0][v])) {
          *error = "mesh " + Quoted(mesh.mName) + ": vertex " + std::to_string(v) +
                   " has texture coordinates that are not finite numbers";
          return false;
        }
      }
    }
    for (unsigned a = 0; a < mesh.mNumAnimMeshes; ++a) {
      const aiAnimMesh* target = mesh.mAnimMeshes[a];
      if (!target) continue;
      const std::string which = "mesh " + Quoted(mesh.mName) + ": morph target " +
                                std::to_string(a) +
                                (target->mName.length > 0 ? " " + Quoted(target->mName) : "");
      if (target->mNumVertices != mesh.mNumVertices) {
        *error = which + " has " + std::to_string(target->mNumVertices) + " vertices, the mesh " +
                 std::to_string(mesh.mNumVertices);
        return false;
      }
      for (unsigned v = 0; v < target->mNumVertices; ++v) {
        if ((target->mVertices && !Finite(target->mVertices[v])) ||
            (target->mNormals && !Finite(target->mNormals[v]))) {
          *error = which + ": vertex " + std::to_string(v) +
                   " has a position or normal that is not a finite number";
          return false;
        }
      }
    }
    for (unsigned b = 0; b < mesh.mNumBones; ++b) {
      const aiBone& bone = *mesh.mBones[b];
      bool finite = Finite(bone.mOffsetMatrix);
      for (unsigned w = 0; finite && w < bone.mNumWeights; ++w)
        finite = Finite(bone.mWeights[w].mWeight);
      if (!finite) {
        *error = "mesh " + Quoted(mesh.mName) + ": bone " + Quoted(bone.mName) +
                 " has an offset or a weight that is not a finite number";
        return false;
      }
    }
  }

  if (animation) {
    if (!std::isfinite(animation->mDuration) || !std::isfinite(animation->mTicksPerSecond)) {
      *error =
          "animation " + Quoted(animation->mName) + " has a length that is not a finite number";
      return false;
    }
    for (unsigned c = 0; c < animation->mNumChannels; ++c) {
      const aiNodeAnim& channel = *animation->mChannels[c];
      if (!FiniteKeys(channel.mPositionKeys, channel.mNumPositionKeys) ||
          !FiniteKeys(channel.mRotationKeys, channel.mNumRotationKeys) ||
          !FiniteKeys(channel.mScalingKeys, channel.mNumScalingKeys)) {
        *error = "animation " + Quoted(animation->mName) + ": the keys of node " +
                 Quoted(channel.mNodeName) + " hold a number that is not finite";
        return false;
      }
    }
  }
  return true;
}

namespace {

std::string Canonical(const std::string& path) {
  std::error_code code;
  const std::filesystem::path absolute = std::filesystem::absolute(path, code);
  if (code) return path;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, code);
  return code ? absolute.lexically_normal().string() : canonical.string();
}

}  // namespace

FolderIOSystem::FolderIOSystem(const std::string& modelPath, bool allowOutside)
    : allowOutside_(allowOutside) {
  folder_ = std::filesystem::path(Canonical(modelPath)).parent_path().string();
  if (folder_.empty() || folder_.back() != '/') folder_ += '/';
}

bool FolderIOSystem::Allowed(const char* path) const {
  if (!path) return false;
  struct stat st {};
  // What does not exist reads nothing; the importer says it is missing.
  if (::stat(path, &st) != 0) return true;
  const char* because = nullptr;
  if (!S_ISREG(st.st_mode)) {
    because = "it is not a regular file";
  } else if (!allowOutside_ && Canonical(path).rfind(folder_, 0) != 0) {
    because = "it lies outside the model's folder";
  }
  if (!because) return true;
  if (refused_.empty()) {
    refused_ = path;
    refusedBecause_ = because;
  }
  return false;
}

bool FolderIOSystem::Exists(const char* path) const {
  return Allowed(path) && Assimp::DefaultIOSystem::Exists(path);
}

Assimp::IOStream* FolderIOSystem::Open(const char* path, const char* mode) {
  if (!Allowed(path)) return nullptr;
  return Assimp::DefaultIOSystem::Open(path, mode);
}

bool CheckScaleFits(const aiScene& scene, double scale, std::string* error) {
  // Room for the rotations and sums that follow in the export.
  const double largest = FLT_MAX / 16 / scale;
  char scaleText[32];
  std::snprintf(scaleText, sizeof scaleText, "%g", scale);
  for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
    const aiMesh& mesh = *scene.mMeshes[m];
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
      const aiVector3D& p = mesh.mVertices[v];
      if (std::fabs(p.x) > largest || std::fabs(p.y) > largest || std::fabs(p.z) > largest) {
        *error = std::string("--scale ") + scaleText + " sends vertex " + std::to_string(v) +
                 " of mesh " + Quoted(mesh.mName) +
                 " past the range of a float; use a smaller scale";
        return false;
      }
    }
  }
  std::vector<const aiNode*> pending{scene.mRootNode};
  while (!pending.empty()) {
    const aiNode* node = pending.back();
    pending.pop_back();
    if (!node) continue;
    const aiMatrix4x4& m = node->mTransformation;
    if (std::fabs(m.a4) > largest || std::fabs(m.b4) > largest || std::fabs(m.c4) > largest) {
      *error = std::string("--scale ") + scaleText + " sends node " + Quoted(node->mName) +
               " past the range of a float; use a smaller scale";
      return false;
    }
    for (unsigned i = 0; i < node->mNumChildren; ++i) pending.push_back(node->mChildren[i]);
  }
  return true;
}

}  // namespace kw::model_import
