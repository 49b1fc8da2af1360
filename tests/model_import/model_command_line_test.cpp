// The command line on model files: exports and info on real models, and
// broken or hostile files refused with one line, exit 3 and no output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model_import/source_reference.h"
#include "cli/cli_runner.h"

namespace {

using kwcli::RunCli;
using kwtest::kModelDir;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

int CountLines(const std::string& text, const std::string& prefix) {
  int count = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    if (text.compare(at, prefix.size(), prefix) == 0) ++count;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return count;
}

TEST(ModelCommandLine, ExportsAnObjAsWorkedOutByHand) {
  kwcli::ScratchFolder folder;
  const std::string plate = std::string(KW_TEST_DATA_DIR) + "/model_import/data/plate.obj";
  const kwcli::RunResult run = RunCli(folder, {"export", plate, "-o", "plate.smd"});
  ASSERT_EQ(run.status, 0) << kwcli::Describe(run);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(kwcli::ReadFile(folder / "plate.smd"),
            kwcli::ReadFile(std::string(KW_TEST_DATA_DIR) + "/model_import/golden/plate.smd"));
}

TEST(ModelCommandLine, ExportsTheNamedAnimationAsASequence) {
  kwcli::ScratchFolder folder;
  const std::string model = kModelDir + "X/Testwuson.X";
  kwcli::RunResult run =
      RunCli(folder, {"export", model, "-o", "walk.smd", "--sequence", "--animation", "Wuson_Walk"});
  ASSERT_EQ(run.status, 0) << kwcli::Describe(run);
  const std::string walk = kwcli::ReadFile(folder / "walk.smd");
  EXPECT_EQ(CountLines(walk, "time "), 3 * 36 + 1);  // 3.6 s at 30 frames a second
  EXPECT_EQ(walk.find("triangles"), std::string::npos);

  run = RunCli(folder, {"export", model, "-o", "run.smd", "--sequence", "--fps", "24"});
  ASSERT_EQ(run.status, 0) << kwcli::Describe(run);
  // The first animation, 4640 ticks: 23.2 frames at 200 ticks a frame, so
  // frames 0 to 24, the last at the last key.
  EXPECT_EQ(CountLines(kwcli::ReadFile(folder / "run.smd"), "time "), 25);

  run = RunCli(folder, {"export", model, "-o", "swim.smd", "--sequence", "--animation", "Swim"});
  EXPECT_EQ(run.status, 3);
  EXPECT_TRUE(kwcli::IsOneLine(run.err)) << run.err;
  EXPECT_NE(run.err.find("no animation \"Swim\""), std::string::npos) << run.err;
  EXPECT_FALSE(kwcli::Exists(folder / "swim.smd"));
}

TEST(ModelCommandLine, AMeshWithoutUvsWarnsOnceAndKeepsItsFaces) {
  kwcli::ScratchFolder folder;
  const kwcli::RunResult run = RunCli(folder, {"export", kModelDir + "3DS/fels.3ds", "-o", "fels.smd"});
  ASSERT_EQ(run.status, 0) << kwcli::Describe(run);
  EXPECT_EQ(run.err, "warning: " + kModelDir +
                         "3DS/fels.3ds: mesh \"3DSMesh_0\" has no texture coordinates; its faces are "
                         "written with u, v = 0, 0\n");
  // Untextured, its material is written under its own name.
  EXPECT_EQ(CountLines(kwcli::ReadFile(folder / "fels.smd"), "Default\n"), 768);

  // The importer's warnings count under --strict like the exporter's.
  const kwcli::RunResult strict =
      RunCli(folder, {"export", kModelDir + "3DS/fels.3ds", "-o", "strict.smd", "--strict"});
  EXPECT_EQ(strict.status, 4) << kwcli::Describe(strict);
  EXPECT_FALSE(kwcli::Exists(folder / "strict.smd"));
}

TEST(ModelCommandLine, InfoShowsWhatTheExporterWillSee) {
  kwcli::ScratchFolder folder;
  kwcli::RunResult run = RunCli(folder, {"info", kModelDir + "X/Testwuson.X", "--animation", "Wuson_Walk"});
  ASSERT_EQ(run.status, 0) << kwcli::Describe(run);
  const std::string& text = run.out;
  for (const char* line : {"format: Direct3D XFile Importer\n", "up axis: y (format), turned to z, scale 1\n",
                           "animations: 3\n", "  0 \"Wuson_Run\": 0.967 s, frames 0 to 29, 39 channels\n",
                           "  1 \"Wuson_Walk\": 3.600 s, frames 0 to 108, 39 channels (sampled)\n",
                           "time: ticks 0 to 17280, 160 ticks per frame: frames 0 to 108\n", "nodes: 40\n",
                           "  0 \"$dummy_root\" helper\n",
                           "    1 \"Wuson\" mesh, 3732 faces, 11196 vertices, skinned, material \"material_0\"\n",
                           "skins: 1\n", "warnings: 0\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << "missing: " << line << "in:\n" << text;
  }

  run = RunCli(folder, {"info", kModelDir + "OBJ/spider.obj"});
  ASSERT_EQ(run.status, 0) << kwcli::Describe(run);
  EXPECT_NE(run.out.find("  \"HLeibTex\" Standard, texture \".\\SpiderTex.jpg\"\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("animations: 0\n"), std::string::npos);

  run = RunCli(folder, {"info", kModelDir + "X/kwxport_test_cubewithvcolors.x"});
  ASSERT_EQ(run.status, 0) << kwcli::Describe(run);
  EXPECT_NE(run.out.find(" Multi/Sub-Object, 3 sub-materials\n    id 0: "), std::string::npos) << run.out;

  run = RunCli(folder, {"info", std::string(KW_SOURCE_DIR) + "/samples/figure.json"});
  ASSERT_EQ(run.status, 0) << kwcli::Describe(run);
  EXPECT_NE(run.out.find("    10 \"Body\" mesh, 56 faces, 36 vertices, skinned, material \"Figure\"\n"),
            std::string::npos)
      << run.out;
}

TEST(ModelCommandLine, InfoWorksOnEveryModelTheTestsUse) {
  kwcli::ScratchFolder folder;
  for (const char* file : {"FBX/animation_with_skeleton.fbx", "FBX/huesitos.fbx", "FBX/spider.fbx",
                           "glTF2/simple_skin/simple_skin.gltf", "glTF2/BoxTextured-glTF-Binary/BoxTextured.glb",
                           "X/BCN_Epileptic.X", "Collada/duck.dae", "Collada/regr01.dae", "MS3D/jeep1.ms3d",
                           "B3D/WusonBlitz.b3d", "MD5/SimpleCube.md5mesh", "3DS/fels.3ds"}) {
    const kwcli::RunResult run = RunCli(folder, {"info", kModelDir + file});
    ASSERT_EQ(run.status, 0) << file << ": " << kwcli::Describe(run);
    Assimp::Importer importer;
    const aiScene* source = kwtest::ReadSource(importer, kModelDir + file);
    ASSERT_NE(source, nullptr);
    const std::string nodes = "nodes: " + std::to_string(kwtest::PreOrder(*source).size()) + "\n";
    EXPECT_NE(run.out.find(nodes), std::string::npos) << file << " lacks " << nodes;
    EXPECT_NE(run.out.find("animations: " + std::to_string(source->mNumAnimations) + "\n"), std::string::npos)
        << file;
  }
}

// Each names the fault it carries; all must end alike.
const char* const kBrokenFiles[] = {
    "invalid/malformed.obj",                              // vertex index out of range
    "glTF2/IndexOutOfRange/IndexOutOfRange.gltf",         // assimp drops the faces
    "glTF2/IndexOutOfRange/AllIndicesOutOfRange.gltf",
    "glTF2/IncorrectVertexArrays/Cube.gltf",              // assimp drops vertices
    "glTF2/SchemaFailures/sceneWrongType.gltf",           // schema failure
    "glTF2/wrongTypes/badArray.gltf",
    "glTF2/wrongTypes/badNumber.gltf",
    "glTF2/wrongTypes/badUint.gltf",
    "glTF2/MissingBin/BoxTextured.gltf",                  // missing buffer
    "glTF2/BoxWithInfinites-glTF-Binary/BoxWithInfinites.glb",  // infinities
    "glTF2/RecursiveNodes/RecursiveNodes.gltf",
    "glTF2/TestNoRootNode/NoScene.gltf",
    "glTF2/issue_3269/texcoord_crash.gltf",
    "FBX/transparentTest.fbx",
    "invalid/empty.3ds",
    "invalid/empty.x",
    "invalid/empty.obj",
    "invalid/readme.txt",                                 // no reader for it
    "invalid/OutOfMemory.off",                            // claims 35 billion vertices
};

TEST(ModelCommandLine, BrokenFilesEndWithOneLineExitThreeAndNoOutput) {
  kwcli::ScratchFolder folder;
  kwcli::WriteFile(folder / "kept.smd", "an earlier export\n");
  for (const char* file : kBrokenFiles) {
    if (kAddressSanitizer && std::string(file) == "invalid/OutOfMemory.off") continue;  // its allocator aborts
    const std::string path = kModelDir + file;
    for (const char* output : {"new.smd", "kept.smd"}) {
      for (const char* command : {"export", "info"}) {
        std::vector<std::string> arguments = {command, path};
        if (std::string(command) == "export") arguments.insert(arguments.end(), {"-o", output});
        kwcli::RunOptions options;
        options.seconds = 30;
        const kwcli::RunResult run = RunCli(folder, arguments, options);
        EXPECT_FALSE(run.hung) << file;
        EXPECT_EQ(run.signal, 0) << file;
        EXPECT_EQ(run.status, 3) << file << ": " << kwcli::Describe(run);
        EXPECT_TRUE(kwcli::IsOneLine(run.err)) << file << ": " << run.err;
        EXPECT_EQ(run.err.rfind("kestrelworks: " + path + ": ", 0), 0u) << run.err;
        EXPECT_EQ(run.out, "") << file;
      }
    }
    EXPECT_FALSE(kwcli::Exists(folder / "new.smd")) << file;
    EXPECT_EQ(kwcli::ReadFile(folder / "kept.smd"), "an earlier export\n") << file;
  }
}

TEST(ModelCommandLine, BrokenFilesSayWhatIsWrong) {
  kwcli::ScratchFolder folder;
  struct Case {
    const char* file;
    const char* says;
  };
  for (const Case& c : {Case{"glTF2/IndexOutOfRange/IndexOutOfRange.gltf",
                             ": damaged: Some faces had out-of-range indices. Those faces were dropped.\n"},
                        Case{"glTF2/BoxWithInfinites-glTF-Binary/BoxWithInfinites.glb",
                             ": mesh \"Mesh\": vertex 0 has a position that is not a finite number\n"},
                        Case{"glTF2/MissingBin/BoxTextured.gltf",
                             ": GLTF: could not open referenced file \"BoxTextured0.bin\"\n"}}) {
    const kwcli::RunResult run = RunCli(folder, {"export", kModelDir + c.file, "-o", "out.smd"});
    EXPECT_EQ(run.err, "kestrelworks: " + kModelDir + c.file + c.says);
  }
}

}  // namespace
