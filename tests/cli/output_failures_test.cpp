// Outputs the tool cannot write: each failure is one line on stderr naming
// the file and the cause, exit status 1, and an earlier good SMD stays
// byte for byte what it was, with no temporary file left beside it.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "tests/cli/cli_runner.h"

namespace kw::test {
namespace {

class OutputFailures : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(folder / "scene.json", SmallScene());
    ::chmod((folder / "scene.json").c_str(), 0644);
  }

  RunResult Export(const std::string& output, const RunOptions& options = RunOptions()) {
    return RunCli(folder, {"export", folder / "scene.json", "-o", output}, options);
  }

  void ExpectOneLineFailure(const RunResult& run, const std::string& file,
                            const std::string& cause) {
    EXPECT_EQ(run.status, kExitExportFailed) << Describe(run);
    EXPECT_TRUE(IsOneLine(run.err)) << Describe(run);
    EXPECT_NE(run.err.find(file), std::string::npos) << Describe(run);
    EXPECT_NE(run.err.find(cause), std::string::npos) << Describe(run);
  }

  // Only the files the test made, and the log file, are in the folder.
  void ExpectNoTemporaryFiles(const std::string& where) {
    for (const std::string& name : ListFolder(where)) {
      EXPECT_EQ(name.find(".tmp"), std::string::npos) << "left behind: " << name;
    }
  }

  ScratchFolder folder;
};

TEST_F(OutputFailures, MissingFolderIsNamedAndNothingIsCreated) {
  const RunResult run = Export(folder / "missing/out.smd");
  ExpectOneLineFailure(run, folder / "missing/out.smd", "does not exist");
  EXPECT_FALSE(Exists(folder / "missing"));
}

TEST_F(OutputFailures, DirectoryIsRefusedAndLeftAsItWas) {
  ASSERT_EQ(::mkdir((folder / "out.smd").c_str(), 0755), 0);
  WriteFile(folder / "out.smd/inside.txt", "keep");
  const RunResult run = Export(folder / "out.smd");
  ExpectOneLineFailure(run, folder / "out.smd", "is a directory");
  EXPECT_EQ(ListFolder(folder / "out.smd"), std::vector<std::string>{"inside.txt"});
  ExpectNoTemporaryFiles(folder.Path());
}

TEST_F(OutputFailures, ReadOnlyFileIsKeptByteForByte) {
  WriteFile(folder / "out.smd", EarlierOutput());
  ASSERT_EQ(::chmod((folder / "out.smd").c_str(), 0444), 0);
  const RunResult run = Export(folder / "out.smd");
  ExpectOneLineFailure(run, folder / "out.smd", "read-only");
  EXPECT_EQ(ReadFile(folder / "out.smd"), EarlierOutput());
  struct stat st {};
  ASSERT_EQ(::stat((folder / "out.smd").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  ExpectNoTemporaryFiles(folder.Path());
}

// A device is refused before anything is read; it stays a device.
TEST_F(OutputFailures, DevicesAreRefusedAndStayDevices) {
  for (const char* device : {"/dev/full", "/dev/null"}) {
    const RunResult run = Export(device);
    ExpectOneLineFailure(run, device, "character device, not a regular file");
    struct stat st {};
    ASSERT_EQ(::stat(device, &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
  }
}

// A disk that fills up halfway: the file-size limit stops the write of the
// temporary file part way, as a full disk would.
TEST_F(OutputFailures, WriteCutShortHalfwayKeepsTheEarlierFile) {
  // Many frames make a sequence SMD far larger than the limit.
  WriteFile(folder / "scene.json", Replaced(SmallScene(), "\"end\": 2560", "\"end\": 160000"));
  WriteFile(folder / "out.smd", EarlierOutput());
  RunOptions limited;
  limited.fileSizeLimit = 64 * 1024;
  const RunResult run = RunCli(
      folder, {"export", folder / "scene.json", "-o", folder / "out.smd", "--sequence"}, limited);
  EXPECT_EQ(run.signal, 0) << "killed by a signal instead of reporting: " << Describe(run);
  ExpectOneLineFailure(run, folder / "out.smd", "File too large");
  // The message names the target, not the temporary file it was written to.
  EXPECT_EQ(run.err.find(".tmp"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(folder / "out.smd"), EarlierOutput());
  ExpectNoTemporaryFiles(folder.Path());
}

// stdout to a reader that went away, as in "kestrelworks ... -o - | head -1".
TEST_F(OutputFailures, PipeWithoutReaderIsAFailureNotASignal) {
  RunOptions closedPipe;
  closedPipe.stdoutToClosedPipe = true;
  const RunResult run = Export("-", closedPipe);
  EXPECT_EQ(run.signal, 0) << "killed by a signal instead of reporting: " << Describe(run);
  ExpectOneLineFailure(run, "stdout", "Broken pipe");
}

TEST_F(OutputFailures, FolderTheUserCannotWriteToIsNamedWithTheCause) {
  if (::geteuid() == 0 && !CanRunAsNobody(folder)) GTEST_SKIP() << "cannot run as \"nobody\"";
  ASSERT_EQ(::mkdir((folder / "locked").c_str(), 0755), 0);
  WriteFile(folder / "locked/out.smd", EarlierOutput());
  ::chmod((folder / "locked/out.smd").c_str(), 0666);
  ASSERT_EQ(::chmod((folder / "locked").c_str(), 0555), 0);
  // The log goes to a folder the user may write to.
  ASSERT_EQ(::mkdir((folder / "work").c_str(), 0777), 0);
  ::chmod((folder / "work").c_str(), 0777);
  RunOptions options;
  options.asNobody = ::geteuid() == 0;
  options.workingDirectory = folder / "work";
  const RunResult run = Export(folder / "locked/out.smd", options);
  ExpectOneLineFailure(run, folder / "locked/out.smd", "Permission denied");
  EXPECT_EQ(ReadFile(folder / "locked/out.smd"), EarlierOutput());
  ExpectNoTemporaryFiles(folder / "locked");
}

// The SMD is whole, so the export succeeds, but a log that could not be
// written is said, and counts as a warning under --strict.
TEST_F(OutputFailures, LostLogIsAWarningAndUnderStrictAFailure) {
  ASSERT_EQ(::symlink("/dev/full", (folder / "kestrelworks_log.txt").c_str()), 0);
  const RunResult run =
      RunCli(folder, {"export", folder / "scene.json", "-o", folder / "out.smd", "--log"});
  EXPECT_EQ(run.status, kExitSuccess) << Describe(run);
  EXPECT_EQ(run.err,
            "warning: kestrelworks_log.txt: cannot write the log: it is a symbolic link; the "
            "export goes on without it\n");
  EXPECT_EQ(ReadFile(folder / "out.smd").rfind("version 1\nnodes\n", 0), 0u);

  WriteFile(folder / "out.smd", EarlierOutput());
  const RunResult strict = RunCli(
      folder, {"export", folder / "scene.json", "-o", folder / "out.smd", "--log", "--strict"});
  EXPECT_EQ(strict.status, kExitStrictWarnings) << Describe(strict);
  EXPECT_EQ(ReadFile(folder / "out.smd"), EarlierOutput());
  ExpectNoTemporaryFiles(folder.Path());
}

// As root, permission bits do not stop a write, so the run drops to "nobody".
// Without --log nothing is written there.
TEST_F(OutputFailures, ReadOnlyWorkingDirectoryHoldsNoLogAndTheSmdIsWritten) {
  if (::geteuid() == 0 && !CanRunAsNobody(folder)) GTEST_SKIP() << "cannot run as \"nobody\"";
  ASSERT_EQ(::mkdir((folder / "readonly").c_str(), 0555), 0);
  ASSERT_EQ(::mkdir((folder / "out").c_str(), 0777), 0);
  ::chmod((folder / "out").c_str(), 0777);
  WriteFile(folder / "out/out.smd", EarlierOutput());
  RunOptions options;
  options.asNobody = ::geteuid() == 0;
  options.workingDirectory = folder / "readonly";
  const RunResult run = Export(folder / "out/out.smd", options);
  EXPECT_EQ(run.status, kExitSuccess) << Describe(run);
  EXPECT_EQ(ReadFile(folder / "out/out.smd").rfind("version 1\nnodes\n", 0), 0u);
  EXPECT_EQ(ListFolder(folder / "readonly"), std::vector<std::string>{});
  ExpectNoTemporaryFiles(folder / "out");
}

TEST_F(OutputFailures, EmptyOutputPathIsAUsageError) {
  const RunResult run = Export("");
  EXPECT_EQ(run.status, kExitUsage) << Describe(run);
  EXPECT_TRUE(IsOneLine(run.err)) << Describe(run);
  EXPECT_NE(run.err.find("--output"), std::string::npos) << run.err;
  EXPECT_EQ(ListFolder(folder.Path()), std::vector<std::string>{"scene.json"});
}

}  // namespace
}  // namespace kw::test
