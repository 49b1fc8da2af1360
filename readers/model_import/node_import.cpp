#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "readers/model_import/import_parts.h"

namespace kw::model_import {
namespace {

// assimp's own stand-in when a file does not state its rate.
constexpr double kDefaultSourceTicksPerSecond = 25.0;

Point3 ToPoint3(const aiVector3D& v) { return Point3(v.x, v.y, v.z); }

// Both quaternion conventions rotate a vector the same way, so the
// components carry over unchanged.
Quat ToQuat(const aiQuaternion& q) { return Quat(q.x, q.y, q.z, q.w); }

int ToTick(double sourceTime, double factor) {
  return static_cast<int>(std::llround(sourceTime * factor));
}

// SMD node names sit between double quotes, one per line: a quote or a
// control character would break the line, and studiomdl wants names unique.
std::string ExportName(const aiString& sourceName, int id, std::unordered_set<std::string>* used) {
  std::string name = sourceName.C_Str();
  for (char& c : name) {
    if (c == '"' || static_cast<unsigned char>(c) < 0x20) c = '_';
  }
  if (name.empty()) name = "node_" + std::to_string(id);
  if (used->insert(name).second) return name;
  for (int n = id;; ++n) {
    std::string candidate = name + "_" + std::to_string(n);
    if (used->insert(candidate).second) return candidate;
  }
}

template <typename Key, typename Value, typename Convert>
std::vector<AnimationKey<Value>> ConvertKeys(const Key* keys, unsigned count, double factor,
                                             const Value& rest, Convert convert) {
  std::vector<AnimationKey<Value>> result;
  if (count == 0) {
    result.push_back(AnimationKey<Value>{0, rest});
    return result;
  }
  result.reserve(count);
  for (unsigned k = 0; k < count; ++k) {
    result.push_back(AnimationKey<Value>{ToTick(keys[k].mTime, factor), convert(keys[k].mValue)});
  }
  return result;
}

// A channel that leaves a component without keys keeps the node's rest value
// there. On the root, frame turns every key upright: the root's local
// transform then becomes local * frame, which keeps the form
// Scale * Rotation * Translation because the frame's scale is uniform.
void ApplyChannel(const aiNodeAnim& channel, const aiMatrix4x4& rest, double factor,
                  const SceneFrame* frame, MemoryNode* node) {
  aiVector3D restScale, restPosition;
  aiQuaternion restRotation;
  rest.Decompose(restScale, restRotation, restPosition);

  auto positions = ConvertKeys(channel.mPositionKeys, channel.mNumPositionKeys, factor,
                               ToPoint3(restPosition), ToPoint3);
  auto rotations = ConvertKeys(channel.mRotationKeys, channel.mNumRotationKeys, factor,
                               ToQuat(restRotation), ToQuat);
  auto scales = ConvertKeys(channel.mScalingKeys, channel.mNumScalingKeys, factor,
                            ToPoint3(restScale), ToPoint3);
  if (frame) {
    for (auto& key : positions)
      key.value = VectorTransform(frame->rotation, key.value) * frame->scale;
    for (auto& key : rotations) key.value = MatrixToQuat(QuatToMatrix(key.value) * frame->rotation);
    for (auto& key : scales) key.value = key.value * frame->scale;
  }
  node->SetPositionKeys(std::move(positions));
  node->SetRotationKeys(std::move(rotations));
  node->SetScaleKeys(std::move(scales));
}

}  // namespace

int NodeTable::FindByName(const aiString& name) const {
  const auto found = idByName.find(name.C_Str());
  return found == idByName.end() ? -1 : found->second;
}

Matrix3 SceneFrame::AsMatrix() const {
  return Matrix3(rotation.GetRow(0) * scale, rotation.GetRow(1) * scale, rotation.GetRow(2) * scale,
                 Point3());
}

Matrix3 ToMatrix3(const aiMatrix4x4& m) {
  return Matrix3(Point3(m.a1, m.b1, m.c1), Point3(m.a2, m.b2, m.c2), Point3(m.a3, m.b3, m.c3),
                 Point3(m.a4, m.b4, m.c4));
}

double TickFactor(const aiAnimation& animation) {
  const double rate =
      animation.mTicksPerSecond > 0.0 ? animation.mTicksPerSecond : kDefaultSourceTicksPerSecond;
  return kModelTicksPerSecond / rate;
}

void AnimationRange(const aiAnimation& animation, double* startTick, double* endTick) {
  double first = 0.0;
  double last = animation.mDuration;
  auto widen = [&](double time) {
    first = std::min(first, time);
    last = std::max(last, time);
  };
  for (unsigned c = 0; c < animation.mNumChannels; ++c) {
    const aiNodeAnim* channel = animation.mChannels[c];
    if (!channel) continue;
    for (unsigned k = 0; k < channel->mNumPositionKeys; ++k) widen(channel->mPositionKeys[k].mTime);
    for (unsigned k = 0; k < channel->mNumRotationKeys; ++k) widen(channel->mRotationKeys[k].mTime);
    for (unsigned k = 0; k < channel->mNumScalingKeys; ++k) widen(channel->mScalingKeys[k].mTime);
  }
  const double factor = TickFactor(animation);
  *startTick = first * factor;
  *endTick = last * factor;
}

bool ChooseAnimation(const aiScene& scene, const ModelImportOptions& options, int* index,
                     std::string* error) {
  // A fixed pose samples nothing, but a name that is wrong stays an error.
  if (!FindAnimation(scene, options, index, error)) return false;
  if (options.pose != ModelPose::kAnimation) *index = -1;
  return true;
}

bool FindAnimation(const aiScene& scene, const ModelImportOptions& options, int* index,
                   std::string* error) {
  *index = -1;
  const unsigned count = scene.mNumAnimations;
  if (options.animation.empty()) {
    if (count > 0) *index = 0;
    return true;
  }
  for (unsigned i = 0; i < count; ++i) {
    if (options.animation == scene.mAnimations[i]->mName.C_Str()) {
      *index = static_cast<int>(i);
      return true;
    }
  }
  const std::string& wanted = options.animation;
  if (wanted.size() <= 9 &&
      std::all_of(wanted.begin(), wanted.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    const long position = std::stol(wanted);
    if (position < static_cast<long>(count)) {
      *index = static_cast<int>(position);
      return true;
    }
  }
  *error = "no animation \"" + wanted + "\"";
  if (count == 0) {
    *error += "; the file has none";
    return false;
  }
  *error += "; the file has";
  constexpr unsigned kListed = 8;
  for (unsigned i = 0; i < count && i < kListed; ++i) {
    *error += (i == 0 ? " " : ", ");
    *error += std::to_string(i) + " \"" + scene.mAnimations[i]->mName.C_Str() + "\"";
  }
  if (count > kListed) *error += ", ...";
  return false;
}

void BuildNodes(const aiScene& scene, const aiAnimation* animation, const SceneFrame& frame,
                MemoryScene* out, NodeTable* table) {
  std::unordered_set<std::string> usedNames;
  // A node listed twice, or as its own ancestor, is taken once: the walk
  // must end whatever a reader hands over.
  std::unordered_map<const aiNode*, MemoryNode*> visited;
  // Pre-order with an explicit stack: files nest nodes deeper than a call
  // stack should go.
  std::vector<std::pair<const aiNode*, MemoryNode*>> pending;
  pending.emplace_back(scene.mRootNode, nullptr);
  while (!pending.empty()) {
    auto [source, parent] = pending.back();
    pending.pop_back();
    if (visited.count(source) != 0) continue;
    // A node's transform is relative to its mParent, which the Half-Life
    // MDL reader sets to the bone's parent while listing every bone under
    // one node; it is taken when already numbered, so parents still come
    // first.
    const auto listed = visited.find(source->mParent);
    if (listed != visited.end()) parent = listed->second;
    const int id = static_cast<int>(table->source.size());
    MemoryNode& node = out->AddNode(id, ExportName(source->mName, id, &usedNames), parent);
    visited.emplace(source, &node);
    table->source.push_back(source);
    table->nodes.push_back(&node);
    table->idByName.emplace(source->mName.C_Str(), id);
    for (unsigned i = source->mNumChildren; i-- > 0;) {
      if (source->mChildren[i]) pending.emplace_back(source->mChildren[i], &node);
    }
  }

  std::vector<const aiNodeAnim*> channels(table->nodes.size(), nullptr);
  if (animation) {
    for (unsigned c = 0; c < animation->mNumChannels; ++c) {
      const aiNodeAnim* channel = animation->mChannels[c];
      if (!channel) continue;
      const int id = table->FindByName(channel->mNodeName);
      if (id >= 0 && !channels[static_cast<std::size_t>(id)]) {
        channels[static_cast<std::size_t>(id)] = channel;
      }
    }
  }

  const double factor = animation ? TickFactor(*animation) : 1.0;
  for (std::size_t id = 0; id < table->nodes.size(); ++id) {
    const aiNode& source = *table->source[id];
    const bool isRoot = id == 0;
    MemoryNode* node = table->nodes[id];
    if (channels[id]) {
      ApplyChannel(*channels[id], source.mTransformation, factor, isRoot ? &frame : nullptr, node);
    } else if (isRoot) {
      node->SetLocalTransform(ToMatrix3(source.mTransformation) * frame.AsMatrix());
    } else {
      node->SetLocalTransform(ToMatrix3(source.mTransformation));
    }
  }
}

}  // namespace kw::model_import
