// The adapter the host loads: its answers, and the order of steps DoExport
// takes around the export, with a scripted options step and files on disk.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "export/export_scene.h"
#include "plugin/shell/kestrelworks.h"
#include "readers/scene_file/scene_file.h"
#include "scene/memory_scene.h"
#include "support/camera_scene.h"
#include "support/scene_spy.h"

namespace {

namespace fs = std::filesystem;

class Spy : public kw::test::SceneSpy {
 public:
  using SceneSpy::SceneSpy;
  bool raiseOnInitialise = false;
  bool Initialise(bool selectedOnly) override {
    if (raiseOnInitialise) Scene().Errors().Raise(7, "no node %d", 3);
    return SceneSpy::Initialise(selectedOnly);
  }
};

class Host : public kw::PluginHost, public Interface {
 public:
  explicit Host(Spy& spy) : spy_(spy) {}
  int redraws = 0;

  IGameScene* GetScene() override { return spy_.GetScene(); }
  IGameConversionManager* GetConversionManager() override { return spy_.GetConversionManager(); }
  void SetErrorCallBack(IGameErrorCallBack* callback) override { spy_.SetErrorCallBack(callback); }
  const char* GetLastErrorText() const override { return spy_.GetLastErrorText(); }
  Interface* GetCoreInterface() override { return this; }
  HostWindow GetMAXHWnd() override { return nullptr; }
  void ForceCompleteRedraw() override { ++redraws; }

 private:
  Spy& spy_;
};

class ScriptedStep : public kw::OptionsStep {
 public:
  explicit ScriptedStep(Spy& spy) : spy_(spy) {}
  int answer = 1;
  bool throws = false;
  kw::ExportOptions choice;  // what an answer other than 0 leaves
  int calls = 0;
  kw::FrameRange frames{99, 99};
  kw::ExportOptions given;
  int initialisedBefore = -1;

  int Run(const kw::FrameRange& sceneFrames, kw::ExportOptions& options, HostWindow) override {
    ++calls;
    frames = sceneFrames;
    given = options;
    initialisedBefore = spy_.InitialiseCalls();
    if (throws) throw std::runtime_error("the dialog went away");
    if (answer != 0) options = choice;
    return answer;
  }

 private:
  Spy& spy_;
};

class Warnings : public kw::WarningPresenter {
 public:
  std::vector<std::string> messages;
  void Show(const kw::Warning& warning) override { messages.push_back(warning.text); }
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Each test in a folder of its own: the log always goes to the current one.
class Adapter : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::temp_directory_path() / "kw_plugin_XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    folder_ = name;
    previous_ = fs::current_path();
    fs::current_path(folder_);
    SetDebugSink(
        [](const char* line, void* lines) {
          static_cast<std::vector<std::string>*>(lines)->push_back(line);
        },
        &debug);

    scene.SetTiming(-5, 330, 160);
    kw::MemoryNode& helper = scene.AddNode(1, "helper");
    scene.MakeObject(helper, kObjectHelper);
    helper.SetSelected(true);
  }
  void TearDown() override {
    SetDebugSink(nullptr, nullptr);
    fs::current_path(previous_);
    fs::remove_all(folder_);
  }

  int Export(std::uint32_t hostOptions = 0) {
    return exporter.DoExport("out.smd", nullptr, nullptr, 0, hostOptions);
  }

  kw::MemoryScene scene;
  Spy spy{scene};
  Host host{spy};
  ScriptedStep step{spy};
  Warnings warnings;
  kw::Kestrelworks exporter{host, step, warnings};
  std::vector<std::string> debug;

 private:
  fs::path folder_;
  fs::path previous_;
};

TEST_F(Adapter, AnswersTheHostsQueriesAndStartsFromTheDefaultOptions) {
  EXPECT_EQ(exporter.ExtCount(), 1);
  EXPECT_STREQ(exporter.Ext(0), "smd");
  EXPECT_STREQ(exporter.Ext(7), "smd");
  EXPECT_STREQ(exporter.LongDesc(), "Source Studio Model Data (SMD) Export");
  EXPECT_STREQ(exporter.ShortDesc(), "Source SMD");
  ASSERT_NE(exporter.OtherMessage2(), nullptr);
  EXPECT_STREQ(exporter.OtherMessage2(), "");
  EXPECT_EQ(exporter.Version(), 50u);
  EXPECT_EQ(exporter.SupportsOptions(0, 0xFFFFFFFFu), 1);

  const kw::ExportOptions& options = exporter.Options();
  EXPECT_FALSE(options.exportSequence);
  EXPECT_EQ(options.startFrame, 0);
  EXPECT_EQ(options.endFrame, 1);
  EXPECT_FALSE(options.reverseSequence);
  EXPECT_FALSE(options.logWarnings);
  EXPECT_FALSE(options.selectedOnly);
}

TEST_F(Adapter, OptionsStepSeesFramesTruncatedTowardZeroAndTheLastOptionsBeforeInitialise) {
  step.choice.exportSequence = true;
  Export();
  EXPECT_EQ(step.frames.first, 0);  // -5 / 160, where flooring would give -1
  EXPECT_EQ(step.frames.last, 2);
  EXPECT_EQ(step.initialisedBefore, 0);
  EXPECT_FALSE(step.given.exportSequence);

  Export();
  EXPECT_EQ(step.initialisedBefore, 1);
  EXPECT_TRUE(step.given.exportSequence);
}

TEST_F(Adapter, ExportsWithTheChosenOptionsThenRedrawsOnce) {
  step.choice.exportSequence = true;
  step.choice.startFrame = 1;
  step.choice.endFrame = 2;
  step.choice.reverseSequence = true;
  EXPECT_EQ(Export(), 1);

  ASSERT_FALSE(debug.empty());
  EXPECT_EQ(debug.front(), "3ds max compatible version 9.00\n");
  EXPECT_EQ(spy.InitialiseCalls(), 1);
  EXPECT_EQ(spy.ReleaseCalls(), 1);
  EXPECT_EQ(host.redraws, 1);
  EXPECT_TRUE(exporter.Options().exportSequence);
  EXPECT_TRUE(exporter.Options().reverseSequence);
  const std::string smd = ReadFile("out.smd");
  EXPECT_EQ(smd.rfind("version 1\nnodes\n", 0), 0u) << smd;
  EXPECT_NE(smd.find("time 1\n"), std::string::npos) << smd;
  EXPECT_EQ(smd.find("time 2\n"), std::string::npos) << smd;
  EXPECT_TRUE(fs::exists(kw::kLogFileName));
}

TEST_F(Adapter, CancelOpensNothingAndLeavesTheSceneAlone) {
  step.answer = 0;
  step.choice.exportSequence = true;
  EXPECT_EQ(Export(), 1);

  EXPECT_EQ(step.calls, 1);
  EXPECT_FALSE(fs::exists("out.smd"));
  EXPECT_FALSE(fs::exists(kw::kLogFileName));
  EXPECT_EQ(spy.InitialiseCalls(), 0);
  EXPECT_EQ(spy.ReleaseCalls(), 0);
  EXPECT_EQ(host.redraws, 0);
  EXPECT_FALSE(exporter.Options().exportSequence);
}

TEST_F(Adapter, SelectedOnlyIsBitZeroOfTheHostOptions) {
  step.choice.selectedOnly = true;
  Export(0xFFFFFFFEu);
  EXPECT_FALSE(spy.InitialisedSelectedOnly());
  EXPECT_FALSE(exporter.Options().selectedOnly);

  step.choice.selectedOnly = false;
  Export(SCENE_EXPORT_SELECTED);
  EXPECT_TRUE(spy.InitialisedSelectedOnly());
  EXPECT_TRUE(exporter.Options().selectedOnly);
}

TEST_F(Adapter, NonPositiveTicksPerFrameSkipsTheOptionsStepAndTheExportSaysWhy) {
  scene.SetTiming(0, 100, 0);
  EXPECT_EQ(Export(), 1);
  EXPECT_EQ(step.calls, 0);
  ASSERT_EQ(warnings.messages.size(), 1u);
  EXPECT_NE(warnings.messages[0].find("ticks per frame"), std::string::npos);
  EXPECT_FALSE(fs::exists("out.smd"));
}

TEST_F(Adapter, AnExceptionBecomesOneWarningInsteadOfReachingTheHost) {
  step.throws = true;
  EXPECT_EQ(Export(), 1);
  ASSERT_EQ(warnings.messages.size(), 1u);
  EXPECT_EQ(warnings.messages[0],
            "The export stopped: the dialog went away.\nThe SMD file may be incomplete.");
}

TEST_F(Adapter, SceneErrorsReachTheHostsDebugOutput) {
  spy.raiseOnInitialise = true;
  Export();
  EXPECT_NE(std::find(debug.begin(), debug.end(), "ErrorCode = 7 ErrorText = no node 3\n"),
            debug.end());
}

}  // namespace

namespace {

// A bone under a camera, through the adapter as through the export alone:
// the camera is not exported, so the bone is a root posed in the world.
TEST_F(Adapter, ABoneUnderACameraIsPosedInTheWorld) {
  const std::string text = kw::test::kBoneUnderCameraScene;
  std::string error;
  const std::unique_ptr<kw::MemoryScene> camera = kw::ParseSceneText(text, "camera.json", &error);
  ASSERT_TRUE(camera) << error;
  Spy cameraSpy(*camera);
  Host cameraHost(cameraSpy);
  ScriptedStep sequence(cameraSpy);
  sequence.choice.exportSequence = true;
  sequence.choice.startFrame = 0;
  sequence.choice.endFrame = 2;
  kw::Kestrelworks cameraExporter(cameraHost, sequence, warnings);
  EXPECT_EQ(cameraExporter.DoExport("camera.smd", nullptr, nullptr, 0, 0), 1);
  EXPECT_TRUE(warnings.messages.empty());
  EXPECT_EQ(ReadFile("camera.smd"),
            ReadFile(KW_TEST_DATA_DIR "/export/golden/skeleton_camera_child_sequence.smd"));
}

}  // namespace
