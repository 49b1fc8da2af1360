// What a warning is about, beside its text: callers act on the kind (the
// command line's exit status and --strict, its count per kind) and show the
// text as it is.
//
// A new kind is one enumerator and one row of kWarningKinds, in the same
// place of both.
#pragma once

#include <cstddef>
#include <string>

namespace kw {

enum class WarningKind {
  // The export ended without a file; the text ends "Nothing was exported.".
  kNothingExported,
  // The output could not be written whole; the text ends "The file is incomplete.".
  kFileIncomplete,
  kBadTicksPerFrame,
  kFramesOutOfTime,
  kUnreadableMesh,
  kMissingMaterial,
  kUnsupportedMaterial,
  kMissingSubMaterial,
  kBadVertexIndex,
  kBadNormalLength,
  kBadUvIndex,
  // The SMD is whole, the log file that goes with it was lost.
  kLogNotWritten,
  // A model importer's note on what it changed or left out.
  kModelImport,
  // The compiler's limits, checked on the SMD as written (smd/limit_check.h).
  kTooManyNodes,
  kTooManyLinks,
  kTooManyVertices,
  kTooManyMaterials,
  kBadMaterialName,
  kRepeatedNodeName,
  kNonFiniteNumber,
  kUnparsedLine,
  kIncompleteFrame,
  kBogusBoneIndex,
  kIrregularTime,
  // A VTA's shapes, checked against the format and the reference
  // (smd/vta_check.h).
  kBadVertexNumber,
  kVertexNotInBase,
  kIrregularShapeTime,
  kShapeTimesMismatch,
  // A sequence drawn on a reference that shares no node name with it: the
  // picture shows the reference unmoved.
  kNoSharedNodes,
  // Two meshes bind one bone differently; the reference takes one bind.
  kBindConflict,
  // --max-links dropped bone links the compiler would drop.
  kLinksTrimmed,
  // Meshes without texture coordinates, written with u, v = 0, 0.
  kNoTextureCoordinates,
  // A second set of texture coordinates, which SMD cannot hold.
  kExtraUvSet,
  // The export holds no node at all (nothing selected, an empty scene).
  kNoNodes,
  // A number that is not finite (NaN, infinity) was about to be written;
  // the text names the node or mesh and the frame.
  kNonFinite,
  // A name held a character that would break its quotes in the file.
  kNameReplaced,
  // Animation an SMD cannot carry: a node's animated scale, a mesh's morph
  // targets; the text says how much is lost.
  kAnimatedScale,
  kMorphAnimation,
  // A file of export --all named otherwise than the model has it: a name too
  // long for a file, or one Windows keeps for a device.
  kFileNameChanged,
  // A file made from the SMDs (a picture, the QC) not written over a file
  // the tool did not write.
  kFileNotReplaced,
  // export --all made no collision model for a mesh: no part of it spans a
  // volume, or no bone carries enough of it.
  kNoCollisionModel,
  // A shape's name made fit for a flex controller (letters, digits, '_', unique).
  kFlexRenamed,
  // A mesh's morph target written under another name: the mesh has two of its name.
  kMorphTargetRenamed,
};

struct Warning {
  WarningKind kind;
  std::string text;
};

struct WarningKindRow {
  WarningKind kind;
  const char* name;  // lower case, words joined by '-'
  bool endsExport;   // the export failed; its failure says so already
  // Information rather than a warning: what the user asked for and got
  // (--max-links). Shown, but --strict does not fail on it.
  bool note = false;
};

inline constexpr WarningKindRow kWarningKinds[] = {
    {WarningKind::kNothingExported, "nothing-exported", true},
    {WarningKind::kFileIncomplete, "file-incomplete", true},
    {WarningKind::kBadTicksPerFrame, "bad-ticks-per-frame", false},
    {WarningKind::kFramesOutOfTime, "frames-out-of-time", false},
    {WarningKind::kUnreadableMesh, "unreadable-mesh", false},
    {WarningKind::kMissingMaterial, "missing-material", false},
    {WarningKind::kUnsupportedMaterial, "unsupported-material", false},
    {WarningKind::kMissingSubMaterial, "missing-sub-material", false},
    {WarningKind::kBadVertexIndex, "bad-vertex-index", false},
    {WarningKind::kBadNormalLength, "bad-normal-length", false},
    {WarningKind::kBadUvIndex, "bad-uv-index", false},
    {WarningKind::kLogNotWritten, "log-not-written", false},
    {WarningKind::kModelImport, "model-import", false},
    {WarningKind::kTooManyNodes, "too-many-nodes", false},
    {WarningKind::kTooManyLinks, "too-many-links", false},
    {WarningKind::kTooManyVertices, "too-many-vertices", false},
    {WarningKind::kTooManyMaterials, "too-many-materials", false},
    {WarningKind::kBadMaterialName, "bad-material-name", false},
    {WarningKind::kRepeatedNodeName, "repeated-node-name", false},
    {WarningKind::kNonFiniteNumber, "non-finite-number", false},
    {WarningKind::kUnparsedLine, "unparsed-line", false},
    {WarningKind::kIncompleteFrame, "incomplete-frame", false},
    {WarningKind::kBogusBoneIndex, "bogus-bone-index", false},
    {WarningKind::kIrregularTime, "irregular-time", false},
    {WarningKind::kBadVertexNumber, "bad-vertex-number", false},
    {WarningKind::kVertexNotInBase, "vertex-not-in-base", false},
    {WarningKind::kIrregularShapeTime, "irregular-shape-time", false},
    {WarningKind::kShapeTimesMismatch, "shape-times-mismatch", false},
    {WarningKind::kNoSharedNodes, "no-shared-nodes", false},
    {WarningKind::kBindConflict, "bind-conflict", false},
    {WarningKind::kLinksTrimmed, "links-trimmed", false, true},
    {WarningKind::kNoTextureCoordinates, "no-texture-coordinates", false},
    {WarningKind::kExtraUvSet, "extra-uv-set", false},
    {WarningKind::kNoNodes, "no-nodes", false},
    {WarningKind::kNonFinite, "non-finite", false},
    {WarningKind::kNameReplaced, "name-replaced", false},
    {WarningKind::kAnimatedScale, "animated-scale", false},
    {WarningKind::kMorphAnimation, "morph-animation", false},
    {WarningKind::kFileNameChanged, "file-name-changed", false},
    {WarningKind::kFileNotReplaced, "file-not-replaced", false},
    {WarningKind::kNoCollisionModel, "no-collision-model", false},
    {WarningKind::kFlexRenamed, "flex-renamed", false},
    {WarningKind::kMorphTargetRenamed, "morph-target-renamed", false},
};

inline constexpr std::size_t kWarningKindCount = sizeof kWarningKinds / sizeof kWarningKinds[0];

constexpr bool WarningKindsInOrder() {
  for (std::size_t i = 0; i < kWarningKindCount; ++i) {
    if (static_cast<std::size_t>(kWarningKinds[i].kind) != i) return false;
  }
  return true;
}
static_assert(WarningKindsInOrder(), "kWarningKinds has one row per WarningKind, in order");

constexpr std::size_t WarningKindIndex(WarningKind kind) { return static_cast<std::size_t>(kind); }

constexpr const char* WarningKindName(WarningKind kind) {
  return WarningKindIndex(kind) < kWarningKindCount ? kWarningKinds[WarningKindIndex(kind)].name
                                                    : "unnamed";
}

// True for the kinds that inform rather than warn.
constexpr bool IsNote(WarningKind kind) {
  return WarningKindIndex(kind) < kWarningKindCount && kWarningKinds[WarningKindIndex(kind)].note;
}

// True for the kinds that tell why the export failed.
constexpr bool EndsExport(WarningKind kind) {
  return WarningKindIndex(kind) < kWarningKindCount &&
         kWarningKinds[WarningKindIndex(kind)].endsExport;
}

}  // namespace kw
