// The length of a model file's unit, and the scale that turns it into the
// compiler's unit, the inch (1 m = 39.37 units).
#pragma once

#include <string>

struct aiScene;

namespace kw {

struct SourceUnitOptions {
  // The source's unit when the file does not say: "" (unknown) or a name
  // MetersPerUnit knows.
  std::string fallback;
  // Scale the scene from its unit to inches; nothing happens while the unit
  // is unknown.
  bool toInches = false;
};

struct SourceUnit {
  double meters = 0;   // one unit of the source in meters; 0: unknown
  std::string name;    // "m", "cm", "inch", ..., or "0.0254 m" when it has no name
  std::string reason;  // "format", "file metadata" or "--units"
  double scale = 1;    // applied on import: meters in inches with toInches, else 1
};

constexpr double kMetersPerInch = 0.0254;

// "inch", "m", "cm", "mm" or "ft", in any case: its length in meters; else 0.
double MetersPerUnit(const std::string& name);

namespace model_import {

// The file's own unit where the file or its format says (glTF: meters;
// Collada: meters, as assimp scales the file by its <unit meter>; FBX: its
// UnitScaleFactor in centimeters), else options.fallback. format is the
// importer's name for the file's format.
SourceUnit ChooseSourceUnit(const aiScene& scene, const std::string& format,
                            const SourceUnitOptions& options);

}  // namespace model_import
}  // namespace kw
