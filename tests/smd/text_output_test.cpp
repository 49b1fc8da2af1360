#include "smd/text_output.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "smd/c_locale.h"

using kw::ByteSink;
using kw::CLocale;
using kw::DiskFiles;
using kw::kMaxFixedLength;
using kw::OutputKind;
using kw::TextStream;

namespace {

constexpr std::size_t kBuffer = 1 << 16;

// Keeps what it is given. After `capacity` bytes it takes only what still
// fits, then refuses, like a full disk.
class RecordingSink : public ByteSink {
 public:
  struct Log {
    std::string bytes;
    std::vector<std::size_t> writeSizes;
    int finishCalls = 0;
    int writesAfterFailure = 0;
    int writesAfterFinish = 0;
  };

  RecordingSink(Log* log, std::size_t capacity, bool finishFails)
      : log_(log), capacity_(capacity), finishFails_(finishFails) {}

  bool Write(const char* data, std::size_t size, std::string* error) override {
    log_->writeSizes.push_back(size);
    if (refused_) ++log_->writesAfterFailure;
    if (log_->finishCalls > 0) ++log_->writesAfterFinish;
    const std::size_t room = capacity_ - std::min(capacity_, log_->bytes.size());
    log_->bytes.append(data, std::min(room, size));
    if (size <= room) return true;
    refused_ = true;
    *error = "disk full";
    return false;
  }

  bool Finish(std::string* error) override {
    ++log_->finishCalls;
    if (!finishFails_) return true;
    *error = "cannot close";
    return false;
  }

 private:
  Log* log_;
  std::size_t capacity_;
  bool finishFails_;
  bool refused_ = false;
};

std::unique_ptr<TextStream> StreamInto(RecordingSink::Log* log, std::size_t capacity = SIZE_MAX,
                                       bool finishFails = false) {
  return std::make_unique<TextStream>(std::make_unique<RecordingSink>(log, capacity, finishFails),
                                      kBuffer);
}

std::string Written(void (*write)(TextStream&)) {
  RecordingSink::Log log;
  {
    TextStream stream(std::make_unique<RecordingSink>(&log, SIZE_MAX, false));
    write(stream);
    EXPECT_TRUE(stream.Close());
  }
  return log.bytes;
}

// Writes the same random mix of keywords, names, "%d", "%3d" and "%f" items
// to a stream and, through the C runtime's printf, to a string.
class MixedContent {
 public:
  // longNames: now and then a name longer than a whole buffer.
  MixedContent(unsigned seed, std::size_t lines, bool longNames)
      : seed_(seed), lines_(lines), longNames_(longNames) {}

  void WriteTo(TextStream& stream) const { Run(&stream, nullptr); }

  std::string Expected() const {
    std::string text;
    Run(nullptr, &text);
    return text;
  }

 private:
  void Run(TextStream* stream, std::string* text) const {
    std::mt19937 random(seed_);
    char item[kMaxFixedLength + 16];
    auto reference = [&](const char* format, auto value) {
      const int length = CLocale::Shared().Format(item, sizeof item, format, value);
      text->append(item, static_cast<std::size_t>(length));
    };
    for (std::size_t line = 0; line < lines_; ++line) {
      switch (random() % 5) {
        case 0: {  // a vertex-like line
          const int bone = static_cast<int>(random() % 1200) - 100;
          if (stream)
            stream->PutInt3(bone);
          else
            reference("%3d", bone);
          for (int i = 0; i < 8; ++i) {
            const float value = std::ldexp(static_cast<float>(random() % 2000001) - 1e6f,
                                           -static_cast<int>(random() % 40));
            if (stream) {
              stream->Put(' ');
              stream->PutFixed(value);
            } else {
              reference(" %f", static_cast<double>(value));
            }
          }
          const int links = static_cast<int>(random() % 4);
          if (stream) {
            stream->Put(' ');
            stream->PutInt(links);
          } else
            reference(" %d", links);
          break;
        }
        case 1: {  // a keyword or a name of any length, sometimes past a whole buffer
          const bool isLong = longNames_ && random() % 64 == 0;
          std::string name(isLong ? random() % (3 * kBuffer) : random() % 40, 'a');
          for (char& c : name) c = static_cast<char>('a' + random() % 26);
          if (stream)
            stream->Put(name);
          else
            text->append(name);
          break;
        }
        case 2: {  // any int
          const int value = static_cast<int>(random());
          if (stream)
            stream->PutInt(value);
          else
            reference("%d", value);
          if (stream)
            stream->PutInt3(value % 2000);
          else
            reference("%3d", value % 2000);
          break;
        }
        case 3: {  // any finite float, huge ones included
          float value;
          std::uint32_t bits = static_cast<std::uint32_t>(random());
          if ((bits & 0x7F800000u) == 0x7F800000u) bits &= 0xBFFFFFFFu;
          std::memcpy(&value, &bits, sizeof value);
          if (stream)
            stream->PutFixed(value);
          else
            reference("%f", static_cast<double>(value));
          break;
        }
        default:
          if (stream)
            stream->Put("");
          else
            text->append("");
          break;
      }
      if (stream)
        stream->Put('\n');
      else
        text->push_back('\n');
    }
  }

  unsigned seed_;
  std::size_t lines_;
  bool longNames_;
};

TEST(TextStream, WritesTheSameBytesAsPrintf) {
  for (unsigned seed : {1u, 2u}) {
    const MixedContent content(seed, 8000, true);
    RecordingSink::Log log;
    auto stream = StreamInto(&log);
    content.WriteTo(*stream);
    ASSERT_TRUE(stream->Close()) << stream->Error();
    const std::string expected = content.Expected();
    ASSERT_GT(expected.size(), 4 * kBuffer);
    EXPECT_TRUE(log.bytes == expected)
        << "seed " << seed << ": first difference at byte "
        << std::mismatch(log.bytes.begin(), log.bytes.end(), expected.begin(), expected.end())
                   .first -
               log.bytes.begin();
  }
}

TEST(TextStream, HandsTheSinkFilledBuffersAndLongTextsWhole) {
  const MixedContent content(4, 8000, true);
  RecordingSink::Log log;
  auto stream = StreamInto(&log);
  content.WriteTo(*stream);
  ASSERT_TRUE(stream->Close());
  ASSERT_GT(log.writeSizes.size(), 3u);
  std::size_t whole = 0;
  for (std::size_t i = 0; i + 1 < log.writeSizes.size(); ++i) {
    const std::size_t size = log.writeSizes[i];
    if (size > kBuffer) {
      // Straight from a long text: whole buffers of it, never a copy's worth less.
      EXPECT_EQ(size % kBuffer, 0u) << "write " << i;
      ++whole;
      continue;
    }
    // A buffer is sent when the next number may not fit: never much earlier.
    EXPECT_GT(size, kBuffer - kMaxFixedLength) << "write " << i;
  }
  EXPECT_GT(whole, 0u);
  EXPECT_EQ(log.finishCalls, 1);
}

TEST(TextStream, PadsIntegersToThreeColumns) {
  const std::string text = Written([](TextStream& out) {
    for (int value : {0, 7, 42, 100, 999, 1000, -1, -12, -100, 123456, INT_MIN, INT_MAX}) {
      out.PutInt3(value);
      out.Put('|');
    }
  });
  EXPECT_EQ(text, "  0|  7| 42|100|999|1000| -1|-12|-100|123456|-2147483648|2147483647|");
}

TEST(TextStream, WritesNumbersWithAPointUnderAnyProcessLocale) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  bool found = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"}) {
    if (std::setlocale(LC_ALL, name)) {
      found = true;
      break;
    }
  }
  if (!found) GTEST_SKIP() << "no locale with a decimal comma installed";
  const std::string text = Written([](TextStream& out) {
    out.PutFixed(1.5f);
    out.Put(' ');
    out.PutFixed(-1234567.25);
    out.Put(' ');
    out.PutInt(-1234567);
  });
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(text, "1.500000 -1234567.250000 -1234567");
}

TEST(TextStream, ReportsAFullSinkFromCloseAtEveryLength) {
  const MixedContent content(5, 8000, false);
  const std::string expected = content.Expected();
  ASSERT_GT(expected.size(), 3 * kBuffer);
  std::vector<std::size_t> capacities;
  for (std::size_t n = 0; n <= expected.size() + 1; n += 1999) capacities.push_back(n);
  // Around every place where a buffer may be sent.
  for (std::size_t edge = kBuffer; edge < expected.size() + kBuffer; edge += kBuffer) {
    for (std::size_t n = edge - kMaxFixedLength - 2; n <= edge + 2; n += 37)
      capacities.push_back(n);
    for (std::size_t n = edge - 2; n <= edge + 2; ++n) capacities.push_back(n);
  }
  for (std::size_t n = expected.size() - 3; n <= expected.size() + 3; ++n) capacities.push_back(n);

  for (std::size_t capacity : capacities) {
    SCOPED_TRACE("sink capacity " + std::to_string(capacity));
    RecordingSink::Log log;
    auto stream = StreamInto(&log, capacity);
    content.WriteTo(*stream);
    const bool fits = capacity >= expected.size();
    EXPECT_EQ(stream->Close(), fits);
    EXPECT_EQ(stream->Failed(), !fits);
    EXPECT_EQ(stream->Error(), fits ? "" : "disk full");
    // What reached the sink is the start of the text, and nothing followed
    // the refusal.
    EXPECT_EQ(log.bytes, expected.substr(0, std::min(capacity, expected.size())));
    EXPECT_EQ(log.writesAfterFailure, 0);
    EXPECT_EQ(log.finishCalls, 1);
    // Closing again changes nothing.
    EXPECT_EQ(stream->Close(), fits);
    stream.reset();
    EXPECT_EQ(log.finishCalls, 1);
  }
}

TEST(TextStream, ReportsASinkThatCannotFinish) {
  RecordingSink::Log log;
  auto stream = StreamInto(&log, SIZE_MAX, true);
  stream->Put("version 1\n");
  EXPECT_FALSE(stream->Close());
  EXPECT_EQ(stream->Error(), "cannot close");
  EXPECT_EQ(log.bytes, "version 1\n");

  // A write failure comes first and is the one reported.
  RecordingSink::Log fullLog;
  auto full = StreamInto(&fullLog, 3, true);
  full->Put("version 1\n");
  EXPECT_FALSE(full->Close());
  EXPECT_EQ(full->Error(), "disk full");
}

TEST(TextStream, ClosesItsSinkWhenDestroyed) {
  RecordingSink::Log log;
  {
    auto stream = StreamInto(&log);
    stream->Put("end\n");
  }
  EXPECT_EQ(log.bytes, "end\n");
  EXPECT_EQ(log.finishCalls, 1);
}

TEST(TextStream, RefusesTextAfterCloseWithoutTouchingTheSink) {
  RecordingSink::Log log;
  auto stream = StreamInto(&log);
  stream->Put("end\n");
  ASSERT_TRUE(stream->Close());
  const std::string big(3 * kBuffer, 'x');
  stream->Put(big);
  stream->PutFixed(1.0f);
  EXPECT_TRUE(stream->Failed());
  EXPECT_FALSE(stream->Close());
  EXPECT_EQ(log.writesAfterFinish, 0);
  EXPECT_EQ(log.bytes, "end\n");
}

TEST(TextStream, ReportsAMissingSink) {
  TextStream stream(nullptr);
  stream.Put(std::string(2 * kBuffer, 'x'));
  EXPECT_FALSE(stream.Close());
  EXPECT_FALSE(stream.Error().empty());
}

TEST(DiskFiles, WritesTheStreamToTheFile) {
  const std::string path = ::testing::TempDir() + "kw_text_output_test.smd";
  DiskFiles files;
  std::string error;
  auto sink = files.Open(path, OutputKind::kSmd, &error);
  ASSERT_TRUE(sink) << error;
  const MixedContent content(6, 5000, true);
  {
    TextStream stream(std::move(sink));
    content.WriteTo(stream);
    ASSERT_TRUE(stream.Close()) << stream.Error();
  }
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(bytes == content.Expected());
  std::remove(path.c_str());
}

TEST(DiskFiles, ReportsAPathThatCannotBeOpened) {
  DiskFiles files;
  std::string error;
  auto sink =
      files.Open(::testing::TempDir() + "no_such_folder/x/out.smd", OutputKind::kSmd, &error);
  EXPECT_FALSE(sink);
  EXPECT_FALSE(error.empty());
}

}  // namespace
