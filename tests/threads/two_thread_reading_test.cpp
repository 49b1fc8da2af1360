// Big arrays of a scene file are read on two threads; the scene must be the
// one the generator makes, whatever the window. Run under ThreadSanitizer by
// scripts/test.sh --threads.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bench/workloads.h"
#include "export/export_scene.h"
#include "readers/scene_file/direct_reader.h"

namespace {

std::string Export(kw::MemoryScene& scene) {
  kw::MemoryFiles files;
  kw::ExportScene(scene, kw::ExportOptions(), "out.smd", files, kw::ExportReports());
  const std::string* smd = files.Find("out.smd");
  return smd ? *smd : std::string();
}

std::unique_ptr<kw::MemoryScene> Read(const std::string& text, std::size_t window) {
  std::size_t at = 0;
  return kw::scene_file::ReadSceneDirect(
      [&](char* into, std::size_t size) {
        const std::size_t n = text.copy(into, size, at);
        at += n;
        return n;
      },
      window);
}

TEST(TwoThreadReading, BigArraysReadInChunksMakeTheGeneratedScene) {
  const kw::bench::ReferenceShape shape{60, 40};
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(kw::bench::WriteReferenceSceneFile(shape, file));
  std::string text;
  std::rewind(file);
  char piece[1 << 16];
  for (std::size_t n; (n = std::fread(piece, 1, sizeof piece, file)) > 0;) text.append(piece, n);
  std::fclose(file);

  const std::string want = Export(*kw::bench::BuildReferenceScene(shape));
  ASSERT_FALSE(want.empty());
  // Windows whose chunks are worth a thread, and smaller ones read alone.
  for (std::size_t window :
       {std::size_t{1} << 20, std::size_t{1} << 17, std::size_t{1} << 14, std::size_t{100}}) {
    std::unique_ptr<kw::MemoryScene> scene = Read(text, window);
    ASSERT_NE(scene, nullptr) << "window " << window;
    EXPECT_TRUE(Export(*scene) == want) << "window " << window;
  }

  // A fault in a chunk deep in the faces, read while the helper has others
  // in hand, refuses the file like any fault.
  const std::size_t fault = text.find("\"vertex\"", text.size() / 2);
  ASSERT_NE(fault, std::string::npos);
  text.replace(fault, 8, "\"vertez\"");
  for (std::size_t window : {std::size_t{1} << 20, std::size_t{1} << 17}) {
    EXPECT_EQ(Read(text, window), nullptr) << "window " << window;
  }
}

}  // namespace
