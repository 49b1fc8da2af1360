#include "readers/model_import/source_unit.h"

#include <assimp/scene.h>

#include <cctype>
#include <cmath>
#include <cstdio>

namespace kw {

namespace {

struct NamedUnit {
  const char* name;
  double meters;
};

constexpr NamedUnit kUnits[] = {
    {"inch", kMetersPerInch}, {"m", 1.0}, {"cm", 0.01}, {"mm", 0.001}, {"ft", 0.3048},
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string NameOf(double meters) {
  for (const NamedUnit& unit : kUnits) {
    if (std::fabs(unit.meters - meters) <= 1e-9 * unit.meters) return unit.name;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%g m", meters);
  return text;
}

// FBX stores centimeters per unit as a float; assimp hands it on as such.
double FbxMeters(const aiScene& scene) {
  if (!scene.mMetaData) return 0;
  float factor = 0;
  double wide = 0;
  if (scene.mMetaData->Get("UnitScaleFactor", factor)) wide = factor;
  if (wide == 0) scene.mMetaData->Get("UnitScaleFactor", wide);
  return std::isfinite(wide) && wide > 0 ? wide * 0.01 : 0;
}

}  // namespace

double MetersPerUnit(const std::string& name) {
  const std::string lower = Lower(name);
  for (const NamedUnit& unit : kUnits) {
    if (lower == unit.name) return unit.meters;
  }
  return 0;
}

namespace model_import {

SourceUnit ChooseSourceUnit(const aiScene& scene, const std::string& format,
                            const SourceUnitOptions& options) {
  SourceUnit unit;
  const std::string lower = Lower(format);
  if (lower.find("gltf") != std::string::npos || lower == "glb" ||
      lower.find("collada") != std::string::npos || lower == "dae" || lower == "zae") {
    unit.meters = 1.0;
    unit.reason = "format";
  } else if (lower.find("fbx") != std::string::npos) {
    unit.meters = FbxMeters(scene);
    unit.reason = "file metadata";
  }
  if (unit.meters == 0) {
    unit.meters = MetersPerUnit(options.fallback);
    unit.reason = unit.meters > 0 ? "--units" : "";
  }
  if (unit.meters > 0) unit.name = NameOf(unit.meters);
  if (options.toInches && unit.meters > 0) unit.scale = unit.meters / kMetersPerInch;
  return unit;
}

}  // namespace model_import
}  // namespace kw
