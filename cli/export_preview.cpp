#include "cli/export_preview.h"

#include <sys/stat.h>

#include <cstdint>

#include "cli/failure_line.h"
#include "cli/replacing_files.h"
#include "preview/preview.h"
#include "smd/smd_reader.h"

namespace kw {
namespace {

constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
constexpr std::size_t kHeaderEnd = 8 + 8 + 13 + 4;  // the signature and IHDR
// A tEXt chunk "Software" = "kestrelworks" right after IHDR.
constexpr char kMarkText[] = "Software\0kestrelworks";
constexpr std::size_t kMarkTextSize = sizeof kMarkText - 1;

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::uint32_t Crc32(const std::string& bytes) {
  std::uint32_t crc = 0xffffffffu;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xffffffffu;
}

std::string BigEndian(std::uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (24 - 8 * i));
  return bytes;
}

std::string MarkChunk() {
  const std::string body = "tEXt" + std::string(kMarkText, kMarkTextSize);
  return BigEndian(kMarkTextSize) + body + BigEndian(Crc32(body));
}

bool IsPngWithHeader(const std::string& bytes) {
  return bytes.size() >= kHeaderEnd && bytes.compare(0, 8, kSignature) == 0 &&
         bytes.compare(12, 4, "IHDR") == 0;
}

// A read that failed names the temporary file; the user knows the SMD's name.
std::string Named(std::string error, const DrawnSmd& smd) {
  for (std::size_t at = error.find(smd.file); at != std::string::npos;
       at = error.find(smd.file, at + smd.name.size())) {
    error.replace(at, smd.file.size(), smd.name);
  }
  return error;
}

}  // namespace

std::string PreviewPath(const std::string& smdPath) {
  std::string path = smdPath;
  const std::size_t dot = path.find_last_of('.');
  if (dot != std::string::npos && path.find('/', dot) == std::string::npos) path.resize(dot);
  return path + ".png";
}

bool DrawPreview(const DrawnSmd& smd, const DrawnSmd* reference, std::string* png,
                 std::string* error) {
  smd::File file, referenceFile;
  std::string problem;
  if (!smd::ReadSmd(smd.file, &file, &problem)) {
    *error = Named(problem, smd);
    return false;
  }
  if (reference && !smd::ReadSmd(reference->file, &referenceFile, &problem)) {
    *error = Named(problem, *reference);
    return false;
  }
  preview::Subject subject;
  subject.reference = &file;
  subject.referenceName = BaseName(smd.name);
  if (reference) {
    subject.reference = &referenceFile;
    subject.referenceName = BaseName(reference->name);
    subject.sequence = &file;
    subject.sequenceName = BaseName(smd.name);
  } else if (!file.hasTriangles && file.frames.size() >= 2) {
    // A sequence on its own has no mesh to show, only its skeleton moving.
    subject.sequence = &file;
    subject.sequenceName = subject.referenceName;
  }
  const std::string pngName = PreviewPath(smd.name);
  preview::Picture picture;
  if (!preview::Render(subject, preview::Options(), &picture, &problem) ||
      !picture.EncodePng(png, &problem)) {
    *error = pngName + ": " + problem;
    return false;
  }
  if (IsPngWithHeader(*png)) png->insert(kHeaderEnd, MarkChunk());
  return true;
}

bool MayDrawPreview(const std::string& path, const std::vector<RunInput>& inputs, bool overwrite,
                    std::string* refusal) {
  std::string head, cause;
  const Found found = Look(path, kHeaderEnd + 8 + kMarkTextSize, &head);
  if (found == Found::kNothing) return true;
  if (!CheckNotAnInput(path, inputs, &cause)) {
    *refusal = cause;
    return false;
  }
  const std::string mark = MarkChunk().substr(0, 8 + kMarkTextSize);
  if (found == Found::kFile && IsPngWithHeader(head) &&
      head.compare(kHeaderEnd, mark.size(), mark) == 0) {
    return true;
  }
  struct stat st {};
  const bool link = ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  if (overwrite && (found == Found::kFile || link)) return true;
  if (link) {
    *refusal = "it is a symbolic link kestrelworks did not make; --overwrite replaces the link";
  } else if (found == Found::kFile) {
    *refusal = "a file kestrelworks did not draw is there; --overwrite replaces it";
  } else {
    *refusal = std::string("it is ") + FileTypeName(st.st_mode) + ", not a regular file";
  }
  return false;
}

}  // namespace kw
