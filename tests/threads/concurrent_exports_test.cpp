// Two exports of two scenes at once, each on its own thread with its own
// exporter: nothing of one may reach the other. Run under ThreadSanitizer by
// scripts/test.sh --threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "bench/printf_export.h"
#include "bench/workloads.h"
#include "plugin/shell/kestrelworks.h"
#include "scene/scene_host.h"

using kw::ExportOptions;
using kw::ExportOutcome;
using kw::ExportSeams;
using kw::GivenOptions;
using kw::Kestrelworks;
using kw::MemoryFiles;
using kw::MemoryScene;
using kw::bench::BuildReferenceScene;
using kw::bench::BuildSequenceScene;
using kw::bench::ExportWithPrintf;

namespace {

std::string Export(MemoryScene& scene, const ExportOptions& options) {
  MemoryFiles files;
  GivenOptions step(options);
  Kestrelworks exporter(&scene, ExportSeams{&step, nullptr, &files});
  exporter.DoExport("out.smd", nullptr, nullptr, 0, 0);
  EXPECT_EQ(exporter.Outcome(), ExportOutcome::kCompleted) << exporter.FailureMessage();
  const std::string* smd = files.Find("out.smd");
  return smd ? *smd : std::string();
}

std::string Straightforward(MemoryScene& scene, const ExportOptions& options) {
  std::FILE* file = std::tmpfile();
  if (!file) return std::string();
  EXPECT_TRUE(ExportWithPrintf(scene, options, file));
  std::string text;
  std::rewind(file);
  char chunk[1 << 16];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
  std::fclose(file);
  return text;
}

TEST(ConcurrentExports, TwoScenesOnTwoThreadsEachGetTheirOwnFile) {
  // Both big enough for the writers' own second thread as well.
  auto mesh = BuildReferenceScene({100, 50});
  auto skeleton = BuildSequenceScene({40, 700});
  ExportOptions sequence;
  sequence.exportSequence = 1;
  sequence.startFrame = 0;
  sequence.endFrame = 699;
  const std::string meshExpected = Straightforward(*mesh, ExportOptions());
  const std::string skeletonExpected = Straightforward(*skeleton, sequence);

  std::string meshFile;
  std::string skeletonFile;
  std::thread first([&] { meshFile = Export(*mesh, ExportOptions()); });
  std::thread second([&] { skeletonFile = Export(*skeleton, sequence); });
  first.join();
  second.join();
  EXPECT_TRUE(meshFile == meshExpected);
  EXPECT_TRUE(skeletonFile == skeletonExpected);
  EXPECT_NE(meshFile.find("\ntriangles\n"), std::string::npos);
  EXPECT_NE(skeletonFile.find("\ntime 699\n"), std::string::npos);
}

// An export reads the text of a scene error in its callback; another export's
// error at the same moment must not replace it.
TEST(ConcurrentExports, EachThreadReadsItsOwnSceneErrors) {
  struct OwnText : IGameErrorCallBack {
    std::string text;
    int wrong = 0;
    void ErrorProc(int) override { wrong += text != GetLastIGameErrorText(); }
  };
  std::atomic<int> ready{0};
  auto raise = [&ready](OwnText* callback, const char* text) {
    callback->text = text;
    SetErrorCallBack(callback);
    for (++ready; ready < 2;) std::this_thread::yield();
    for (int i = 0; i < 100000; ++i) RaiseIGameError(1, text);
    SetErrorCallBack(nullptr);
  };
  OwnText a, b;
  std::thread first(raise, &a, "a node of the first scene has no mesh");
  std::thread second(raise, &b, "the second scene's material is missing");
  first.join();
  second.join();
  EXPECT_EQ(a.wrong, 0);
  EXPECT_EQ(b.wrong, 0);
}

}  // namespace
