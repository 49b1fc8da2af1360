// The compiler's limits checked on SMD text as it is written, a chunk at a
// time, keeping only what the limits need: the nodes, the materials, a set of
// vertex hashes, link and frame statistics. It judges only the text our
// writer writes; at anything else it declines, and the caller reads the
// file back (smd/smd_reader.h) and checks that instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "smd/limit_check.h"

namespace kw::smd {

class StreamCheck {
 public:
  StreamCheck();
  ~StreamCheck();
  StreamCheck(const StreamCheck&) = delete;
  StreamCheck& operator=(const StreamCheck&) = delete;

  // The next bytes of the text; lines may run across chunks.
  void Feed(const char* data, std::size_t size);
  // After the last chunk: the tally that TallyOf gives for a read-back of
  // the same bytes. False when it declined; Declined() says why.
  bool Finish(Tally* tally);
  // Why it declined, with the line; empty while it has not.
  const std::string& Declined() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kw::smd
