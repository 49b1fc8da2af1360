// Scenes that read fine but carry awkward content: many nodes, odd names,
// extreme transforms, reversed time, skins with unknown or repeated bones.
// The tool exports them (exit 0) with the warnings the exporter defines,
// word for word; --strict turns warnings into exit 4 without touching the
// earlier SMD; a good export replaces the earlier SMD whole.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "tests/cli/cli_runner.h"

namespace kw::test {
namespace {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

int CountLinesStartingWith(const std::string& text, const std::string& head) {
  int count = 0;
  for (const std::string& line : Lines(text)) count += line.rfind(head, 0) == 0 ? 1 : 0;
  return count;
}

class SceneContent : public ::testing::Test {
 protected:
  RunResult Export(const std::string& scene, std::vector<std::string> flags = {}) {
    WriteFile(folder / "scene.json", scene);
    std::vector<std::string> command = {"export", "scene.json", "-o", "out.smd"};
    command.insert(command.end(), flags.begin(), flags.end());
    return RunCli(folder, command);
  }

  ScratchFolder folder;
};

// The node table of the host's exporter holds 2048 entries; the export goes
// on past it, and a skin can bind to the last of 3000 bones.
TEST_F(SceneContent, MoreThan2048NodesAreAllExported) {
  constexpr int kBones = 3000;
  std::string nodes;
  for (int i = 1; i <= kBones; ++i) {
    nodes += "{\"id\": " + std::to_string(i) + ", \"name\": \"b" + std::to_string(i) +
             "\", \"type\": 6},\n";
  }
  const std::string scene = R"({"version": 1, "time": {"start": 0, "end": 0, "ticksPerFrame": 160},
    "materials": [{"key": "m", "class": "Standard"}],
    "nodes": [)" + nodes + R"({"id": 5000, "name": "mesh", "type": 2, "material": "m",
      "skin": [[{"bone": 3000, "weight": 1}], [{"bone": 2049, "weight": 1}], [{"bone": 1, "weight": 1}]],
      "mesh": {"vertices": [[0, 0, 0], [1, 0, 0], [0, 1, 0]], "texVertices": [[0, 0]],
               "faces": [{"vertex": [0, 1, 2], "texVertex": [0, 0, 0]}]}}]})";
  const RunResult run = Export(scene);
  ASSERT_EQ(run.status, kExitSuccess) << Describe(run);
  // Only three of them hold vertices: no node limit is reached.
  EXPECT_EQ(run.err, "");
  const std::string smd = ReadFile(folder / "out.smd");
  EXPECT_NE(smd.find("\n2999 \"b3000\"  -1\n"), std::string::npos);
  EXPECT_NE(smd.find("\n3000 \"mesh\"  -1\n"), std::string::npos);
  // Vertex lines: bone column, eight numbers, then the links.
  EXPECT_NE(smd.find("0.000000 1 2999 1.000000\n"), std::string::npos);
  EXPECT_NE(smd.find("0.000000 1 2048 1.000000\n"), std::string::npos);
  EXPECT_NE(smd.find("0.000000 1 0 1.000000\n"), std::string::npos);
  EXPECT_EQ(CountLinesStartingWith(smd, "time "), 1);
}

// Names reach the warnings as the scene gives them: no printf directive in a
// name is ever interpreted, nothing is cut, and only control characters are
// escaped, on stderr and in the log alike; only a quote or a line break,
// which would break the file, is replaced in the SMD.
TEST_F(SceneContent, OddNamesAppearLiterallyInWarningsAndTheLog) {
  const std::vector<std::string> names = {"say \"cheese\"",
                                          "two\nlines",
                                          "tab\there",
                                          "Kn\xC3\xB6tchen \xE2\x9C\x93 \xF0\x9F\x90\xA6",
                                          std::string(4096, 'n'),
                                          "%s%n%d%x%%",
                                          "%999999999s"};
  std::string nodes;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) nodes += ",\n";
    nodes += "{\"id\": " + std::to_string(i + 1) + ", \"name\": " + JsonString(names[i]) +
             ", \"type\": 2, \"mesh\": {}}";
  }
  const std::string scene = R"({"version": 1, "time": {"start": 0, "end": 0, "ticksPerFrame": 160},
    "nodes": [)" + nodes + "]}";

  const RunResult run = Export(scene, {"--log"});
  ASSERT_EQ(run.status, kExitSuccess) << Describe(run);
  // A quote or a line break would break the nodes section: such a name is
  // written with '_' in its place, and said once.
  std::string expected =
      "warning: The name of node 0 holds a double quote or a line break, which would break the "
      "file; it is written as \"say _cheese_\".\n"
      "warning: The name of node 1 holds a double quote or a line break, which would break the "
      "file; it is written as \"two_lines\".\n";
  std::vector<std::string> shown = names;
  shown[2] = "tab\\u0009here";
  for (const std::string& name : shown) {
    expected += "warning: Could not get a material for mesh \"" + name +
                "\". Skipping mesh.\nAssign a Standard or Multi/Sub-Object type material to it.\n";
  }
  expected += "warnings of kind missing-material: " + std::to_string(names.size()) + "\n";
  expected += "warnings of kind name-replaced: 2\n";
  EXPECT_EQ(run.err, expected);

  const std::string log = ReadFile(folder / "kestrelworks_log.txt");
  for (const std::string& name : shown) {
    const std::string line =
        " - Could not get a material for mesh \"" + name + "\". Skipping mesh.";
    EXPECT_NE(log.find(line), std::string::npos) << name;
  }
  // The nodes section carries each name whole between its quotes, but for
  // the characters that would end it.
  const std::string smd = ReadFile(folder / "out.smd");
  std::vector<std::string> written = names;
  written[0] = "say _cheese_";
  written[1] = "two_lines";
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_NE(smd.find("\"" + written[i] + "\"  -1\n"), std::string::npos) << written[i];
  }
}

TEST_F(SceneContent, StrictRefusesWarningsAndKeepsTheEarlierFile) {
  WriteFile(folder / "out.smd", EarlierOutput());
  const std::string scene = R"({"version": 1, "time": {"start": 0, "end": 0, "ticksPerFrame": 160},
    "nodes": [{"id": 1, "name": "bare", "type": 2, "mesh": {}}]})";
  const RunResult run = Export(scene, {"--strict"});
  EXPECT_EQ(run.status, kExitStrictWarnings) << Describe(run);
  EXPECT_EQ(run.err,
            "warning: Could not get a material for mesh \"bare\". Skipping mesh.\n"
            "Assign a Standard or Multi/Sub-Object type material to it.\n"
            "kestrelworks: out.smd: not written: 1 warning and --strict\n");
  EXPECT_EQ(ReadFile(folder / "out.smd"), EarlierOutput());
  for (const std::string& name : ListFolder(folder.Path())) {
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
  }
}

TEST_F(SceneContent, GoodExportReplacesTheEarlierFileWholeAndKeepsItsMode) {
  WriteFile(folder / "out.smd", EarlierOutput());
  ASSERT_EQ(::chmod((folder / "out.smd").c_str(), 0640), 0);
  const RunResult run = Export(SmallScene());
  ASSERT_EQ(run.status, kExitSuccess) << Describe(run);
  EXPECT_EQ(run.err, "");
  const std::string smd = ReadFile(folder / "out.smd");
  EXPECT_EQ(smd.rfind("version 1\nnodes\n  0 \"Bone\"  -1\n  1 \"Plane\"   0\nend\n", 0), 0u)
      << smd;
  EXPECT_EQ(smd.substr(smd.size() - 5), "\nend\n");
  struct stat st {};
  ASSERT_EQ(::stat((folder / "out.smd").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(ListFolder(folder.Path()), (std::vector<std::string>{"out.smd", "scene.json"}));
}

// A link is the user's way of saying where the file lives: the export
// updates the file it points to and the link stays a link.
TEST_F(SceneContent, OutputThroughASymbolicLinkUpdatesItsTarget) {
  ASSERT_EQ(::mkdir((folder / "real").c_str(), 0755), 0);
  WriteFile(folder / "real/model.smd", EarlierOutput());
  ASSERT_EQ(::symlink("real/model.smd", (folder / "out.smd").c_str()), 0);
  const RunResult run = Export(SmallScene());
  ASSERT_EQ(run.status, kExitSuccess) << Describe(run);
  struct stat st {};
  ASSERT_EQ(::lstat((folder / "out.smd").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFile(folder / "real/model.smd").rfind("version 1\nnodes\n  0 \"Bone\"", 0), 0u);
  EXPECT_EQ(ListFolder(folder / "real"), std::vector<std::string>{"model.smd"});
}

// A scene whose end comes before its start: the range is swapped, as the
// dialog does, and each frame is written once.
TEST_F(SceneContent, StartAfterEndExportsTheRangeSwapped) {
  const std::string scene =
      Replaced(SmallScene(), "\"start\": 0, \"end\": 2560", "\"start\": 2560, \"end\": 0");
  const RunResult run = Export(scene, {"--sequence"});
  ASSERT_EQ(run.status, kExitSuccess) << Describe(run);
  const std::string smd = ReadFile(folder / "out.smd");
  EXPECT_EQ(CountLinesStartingWith(smd, "time "), 17);
  EXPECT_NE(smd.find("\ntime 16\n"), std::string::npos);

  const RunResult ranged = Export(SmallScene(), {"--sequence", "--range", "5", "2"});
  ASSERT_EQ(ranged.status, kExitSuccess) << Describe(ranged);
  EXPECT_EQ(CountLinesStartingWith(ReadFile(folder / "out.smd"), "time "), 4);
}

// Unknown bones make the vertex fall back to its own mesh, silently; a bone
// named twice is written twice, with the weights as given.
TEST_F(SceneContent, SkinWithUnknownOrRepeatedBones) {
  const std::string scene = R"({"version": 1, "time": {"start": 0, "end": 0, "ticksPerFrame": 160},
    "materials": [{"key": "m", "class": "Standard"}],
    "nodes": [
      {"id": 1, "name": "bone", "type": 6},
      {"id": 2, "name": "mesh", "type": 2, "material": "m",
       "skin": [[{"bone": 1, "weight": 0.5}, {"bone": 77, "weight": 0.5}],
                [{"bone": 1, "weight": 0.25}, {"bone": 1, "weight": 0.75}],
                [{"bone": -1, "weight": 1}]],
       "mesh": {"vertices": [[0, 0, 0], [1, 0, 0], [0, 1, 0]], "texVertices": [[0, 0]],
                "faces": [{"vertex": [0, 1, 2], "texVertex": [0, 0, 0]}]}}]})";
  const RunResult run = Export(scene);
  ASSERT_EQ(run.status, kExitSuccess) << Describe(run);
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> lines = Lines(ReadFile(folder / "out.smd"));
  std::vector<std::string> vertexLines;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i] == "null.bmp") vertexLines.assign(lines.begin() + i + 1, lines.begin() + i + 4);
  }
  ASSERT_EQ(vertexLines.size(), 3u);
  // Face normal (0, 0, 1), no smoothing group; UV (0, 0) at every corner.
  EXPECT_EQ(vertexLines[0],
            "  1 0.000000 0.000000 0.000000 0.000000 0.000000 1.000000 0.000000 0.000000 1 1 "
            "1.000000");
  EXPECT_EQ(vertexLines[1],
            "  1 1.000000 0.000000 0.000000 0.000000 0.000000 1.000000 0.000000 0.000000 2 0 "
            "0.250000 0 0.750000");
  EXPECT_EQ(vertexLines[2],
            "  1 0.000000 1.000000 0.000000 0.000000 0.000000 1.000000 0.000000 0.000000 1 1 "
            "1.000000");
}

// Finite numbers whose products overflow: the pose turns infinite or NaN in
// the computation. The export ends with one line saying so, and the earlier
// file is kept.
TEST_F(SceneContent, TransformsThatOverflowToInfinityOrNaNAreNotWritten) {
  const std::string scene =
      R"({"version": 1, "time": {"start": 0, "end": 160, "ticksPerFrame": 160},
    "nodes": [
      {"id": 1, "name": "huge", "type": 6,
       "transform": {"matrix": [[3e38, 0, 0], [0, 3e38, 0], [0, 0, 3e38], [3e38, -3e38, 3e38]]}},
      {"id": 2, "name": "child", "type": 6, "parent": 1,
       "transform": {"matrix": [[3e38, 3e38, 0], [0, 3e38, 3e38], [3e38, 0, 3e38], [3e38, 3e38, 3e38]]}},
      {"id": 3, "name": "flat", "type": 5, "parent": 2,
       "transform": {"scale": [{"tick": 0, "value": [0, 0, 0]}]}}]})";
  for (const std::vector<std::string>& flags :
       {std::vector<std::string>{}, std::vector<std::string>{"--sequence", "--reverse"}}) {
    WriteFile(folder / "out.smd", EarlierOutput());
    const RunResult run = Export(scene, flags);
    EXPECT_EQ(run.status, kExitExportFailed) << Describe(run);
    EXPECT_NE(run.err.find("kestrelworks: out.smd: not written: "), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(folder / "out.smd"), EarlierOutput());
  }
}

}  // namespace
}  // namespace kw::test
