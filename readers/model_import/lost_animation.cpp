#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "readers/model_import/import_parts.h"

namespace kw::model_import {
namespace {

// Scale keys written as floats of one constant scale differ by a few ulps.
constexpr double kSameScale = 1e-4;

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", value);
  return text;
}

std::string InAnimation(const aiAnimation& animation) {
  return animation.mName.length > 0 ? std::string(" in \"") + animation.mName.C_Str() + "\"" : "";
}

// How far the scale keys stray from the node's rest scale, as the largest
// factor either way (2 for both double and half size).
void ReportScale(const aiNodeAnim& channel, const aiNode& node, const std::string& name,
                 const std::string& where, std::vector<Warning>* warnings) {
  aiVector3D restScale, restPosition;
  aiQuaternion restRotation;
  node.mTransformation.Decompose(restScale, restRotation, restPosition);
  const double rest[3] = {std::fabs(restScale.x), std::fabs(restScale.y), std::fabs(restScale.z)};
  double lowest = INFINITY, highest = 0.0, most = 1.0;
  for (unsigned k = 0; k < channel.mNumScalingKeys; ++k) {
    const aiVector3D& key = channel.mScalingKeys[k].mValue;
    const double factors[3] = {std::fabs(key.x), std::fabs(key.y), std::fabs(key.z)};
    for (int axis = 0; axis < 3; ++axis) {
      const double factor = factors[axis];
      lowest = std::min(lowest, factor);
      highest = std::max(highest, factor);
      const double ratio = rest[axis] > 0.0 ? factor / rest[axis] : factor;
      if (ratio > 0.0) most = std::max({most, ratio, 1.0 / ratio});
    }
  }
  if (!(most > 1.0 + kSameScale)) return;
  warnings->push_back(
      Warning{WarningKind::kAnimatedScale,
              "node \"" + name + "\": animated scale" + where + " is lost (factors from " +
                  Number(lowest) + " to " + Number(highest) + ", up to " + Number(most) +
                  " times the rest scale); an SMD carries no scale, so what the node carries keeps "
                  "the size it has in the reference"});
}

}  // namespace

void ReportLostAnimation(const aiScene& scene, const aiAnimation& animation, const NodeTable& table,
                         std::vector<Warning>* warnings) {
  const std::string where = InAnimation(animation);
  // Channels bind to the first node of their name; a second channel for it is not sampled.
  std::vector<bool> seen(table.nodes.size(), false);
  for (unsigned c = 0; c < animation.mNumChannels; ++c) {
    const aiNodeAnim* channel = animation.mChannels[c];
    if (!channel) continue;
    const int id = table.FindByName(channel->mNodeName);
    if (id < 0 || seen[static_cast<std::size_t>(id)]) continue;
    seen[static_cast<std::size_t>(id)] = true;
    ReportScale(*channel, *table.source[static_cast<std::size_t>(id)],
                table.nodes[static_cast<std::size_t>(id)]->GetName(), where, warnings);
  }

  // Morph channels name the node (or mesh) whose targets they weigh; one
  // warning per name, with its targets and all its channels' keys.
  struct Morph {
    int channels = 0;
    unsigned keys = 0;
  };
  std::map<std::string, Morph> morphs;
  for (unsigned c = 0; c < animation.mNumMorphMeshChannels; ++c) {
    const aiMeshMorphAnim* channel = animation.mMorphMeshChannels[c];
    if (!channel) continue;
    Morph& morph = morphs[channel->mName.C_Str()];
    ++morph.channels;
    morph.keys += channel->mNumKeys;
  }
  for (const auto& [channelName, morph] : morphs) {
    std::string name = channelName;
    unsigned targets = 0;
    const int id = table.FindByName(aiString(channelName));
    if (id >= 0) {
      const aiNode& node = *table.source[static_cast<std::size_t>(id)];
      name = table.nodes[static_cast<std::size_t>(id)]->GetName();
      for (unsigned k = 0; k < node.mNumMeshes; ++k) {
        if (node.mMeshes[k] < scene.mNumMeshes && scene.mMeshes[node.mMeshes[k]])
          targets = std::max(targets, scene.mMeshes[node.mMeshes[k]]->mNumAnimMeshes);
      }
    } else {
      for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
        if (scene.mMeshes[m] && channelName == scene.mMeshes[m]->mName.C_Str())
          targets = std::max(targets, scene.mMeshes[m]->mNumAnimMeshes);
      }
    }
    warnings->push_back(Warning{
        WarningKind::kMorphAnimation,
        "mesh \"" + name + "\": morph-target animation" + where + " is lost (" +
            std::to_string(targets) + (targets == 1 ? " morph target, " : " morph targets, ") +
            std::to_string(morph.channels) +
            (morph.channels == 1 ? " animated channel of " : " animated channels of ") +
            std::to_string(morph.keys) + (morph.keys == 1 ? " key" : " keys") +
            "); an SMD carries no morph targets, so the mesh keeps its base shape"});
  }
}

}  // namespace kw::model_import
