// A picture of what an SMD holds: a reference in four views (front, side,
// top, three-quarter perspective; Z up), or skinned by chosen frames of a
// sequence, one row of views per frame. Triangles are shaded by their normal
// and coloured by texture name, with the skeleton drawn over them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "smd/smd_file.h"

typedef struct _cairo_surface cairo_surface_t;

namespace kw::preview {

// Largest width or height of a picture, in pixels.
constexpr int kMaxSide = 8192;
constexpr int kMinSide = 128;

struct Options {
  int width = 0;  // of the whole picture; 0: a size fitting the layout
  int height = 0;
  // Frames of the sequence to show, by their place in the file (0 = the
  // first "time" block); empty: the first and the two whose poses differ
  // most from it and from each other (ChooseFrames).
  std::vector<int> frames;
  // Shapes of the VTA to show, by their time number (1 = the first shape);
  // empty: the first kDefaultShapes.
  std::vector<int> shapes;
};

// Shapes a flex preview shows when none are asked for.
constexpr int kDefaultShapes = 4;

struct Subject {
  const smd::File* reference = nullptr;
  std::string referenceName;            // shown in the caption
  const smd::File* sequence = nullptr;  // null: the reference alone
  std::string sequenceName;
  // A VTA whose shapes move the reference's corners, one row each after a
  // row of the reference; not with a sequence.
  const smd::File* flex = nullptr;
  std::string flexName;
  // A collision model (<model>_phys.smd) drawn as wireframes over the
  // reference as it stands; not over a sequence's or a shape's poses.
  const smd::File* collision = nullptr;
};

// The subject of a reference alone, or posed by a sequence.
inline Subject SubjectOf(const smd::File* reference, std::string referenceName,
                         const smd::File* sequence = nullptr, std::string sequenceName = "") {
  Subject subject;
  subject.reference = reference;
  subject.referenceName = std::move(referenceName);
  subject.sequence = sequence;
  subject.sequenceName = std::move(sequenceName);
  return subject;
}

class Picture {
 public:
  Picture();
  ~Picture();
  Picture(Picture&&) noexcept;
  Picture& operator=(Picture&&) noexcept;

  int Width() const;
  int Height() const;
  // 0xRRGGBB of one pixel.
  std::uint32_t Pixel(int x, int y) const;
  // The picture as PNG bytes. False with *error when encoding failed.
  bool EncodePng(std::string* bytes, std::string* error) const;
  // A PNG file read back, for comparisons. False with *error when it is not one.
  static bool ReadPng(const std::string& path, Picture* picture, std::string* error);

 private:
  friend bool Render(const Subject&, const Options&, Picture*, std::string*);
  cairo_surface_t* surface_ = nullptr;
};

// The frames a preview of this sequence shows under these options, or false
// with *error naming a frame that is not there. By default: the first frame,
// the one whose pose (every node's origin and axes) lies farthest from it,
// and the one farthest from both, in order; fewer when the poses do not
// differ. It looks at the poses of at most 2^24 node-frames.
bool ChooseFrames(const smd::File& sequence, const std::vector<int>& asked,
                  std::vector<int>* frames, std::string* error);

// The places in vta.shapeFrames of the shapes asked for by time number, or
// by default the first kDefaultShapes after time 0; false with *error naming
// a shape that is not there.
bool ChooseShapes(const smd::File& vta, const std::vector<int>& asked, std::vector<int>* places,
                  std::string* error);

// False when no node of the sequence has the name of a node of the
// reference: skinned by it, the reference would not move.
bool SharesNodeNames(const smd::File& reference, const smd::File& sequence);

// True when the subject makes a picture under these options: its frames
// are there and its views fit the size. False with *error saying why: the
// caller's request, not the drawing, is at fault.
bool CheckRequest(const Subject& subject, const Options& options, std::string* error);

// Draws the picture. False with *error when the size is out of bounds, a
// frame is missing or the picture's memory cannot be had. Not while another
// thread draws with cairo: the font caches are let go at the end.
bool Render(const Subject& subject, const Options& options, Picture* picture, std::string* error);

}  // namespace kw::preview
