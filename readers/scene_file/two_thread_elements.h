// The elements of a big array read on two threads. The reading thread cuts
// the text into chunks of whole elements; reading each chunk's elements, the
// slow part, is done by whichever thread is free, and they join in the order
// of the text.
//
// A cut is found without reading the text before it: for the arrays of a
// scene, whose elements are all arrays or all objects, a closing bracket of
// that kind, a comma and an opening one meet only between two elements, and
// such a bracket followed by the array's own ']' only at its end. That holds
// for every file taken; for any other text a cut may be wrong, but a chunk
// must read as whole elements to its last byte, so a wrong cut only refuses
// a text that reading one element after the other refuses too.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "readers/scene_file/json_pull.h"

namespace kw::scene_file {

// Chunks smaller than this are read on the reading thread alone: a thread
// would cost more than it saves.
constexpr std::size_t kChunkWorthAThread = 4096;
// Chunks cut and waiting for the helper before the reading thread reads one.
constexpr std::size_t kChunksAhead = 3;

namespace two_thread_elements {

inline bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

// Where in text, at from or after, a chunk of elements written as open ...
// close may end: the place of the comma between two elements. npos when
// there is none, or when the array ends before it.
inline std::size_t FindCut(std::string_view text, std::size_t from, char open, char close) {
  std::size_t at = 0;
  std::size_t cut = std::string_view::npos;
  while (at < text.size()) {
    const void* found = std::memchr(text.data() + at, close, text.size() - at);
    if (!found) return std::string_view::npos;
    const std::size_t closed =
        static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
    std::size_t next = closed + 1;
    while (next < text.size() && IsSpace(text[next])) ++next;
    if (next == text.size() || text[next] == ']') return std::string_view::npos;
    at = closed + 1;
    if (text[next] != ',' || closed < from) continue;
    std::size_t opened = next + 1;
    while (opened < text.size() && IsSpace(text[opened])) ++opened;
    if (opened < text.size() && text[opened] == open) {
      cut = next;
      break;
    }
  }
  return cut;
}

}  // namespace two_thread_elements

// read(JsonPull&) reads one element and returns it; it must touch nothing
// else, as it may run on either thread. chunkBytes: the least text of a chunk.
template <typename Element, typename Read>
void ReadElementsOnTwoThreads(JsonPull& in, std::size_t chunkBytes, const Read& read,
                              std::vector<Element>& out) {
  struct Chunk {
    std::vector<char> text;  // the elements' text and a 0
    std::vector<Element> elements;
    std::exception_ptr failure;
    bool taken = false;
    bool done = false;
  };
  const auto readChunk = [&read](Chunk& chunk) {
    try {
      JsonPull elements(chunk.text.data(), chunk.text.size() - 1);
      do {
        chunk.elements.push_back(read(elements));
      } while (elements.Consume(','));
      if (!elements.AtEnd()) Refuse();
    } catch (...) {
      chunk.failure = std::current_exception();
    }
  };

  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::unique_ptr<Chunk>> chunks;  // cut and not yet joined, in order
  std::vector<std::unique_ptr<Chunk>> spare;
  bool ending = false;
  std::thread helper;

  // The first chunk no thread has taken, or null; under the lock.
  const auto untaken = [&chunks]() -> Chunk* {
    for (const auto& chunk : chunks)
      if (!chunk->taken) return chunk.get();
    return nullptr;
  };
  // Reads a chunk no thread has taken, if there is one.
  const auto readOne = [&] {
    Chunk* chunk;
    {
      std::lock_guard<std::mutex> lock(mutex);
      chunk = untaken();
      if (!chunk) return false;
      chunk->taken = true;
    }
    readChunk(*chunk);
    {
      std::lock_guard<std::mutex> lock(mutex);
      chunk->done = true;
    }
    changed.notify_all();
    return true;
  };
  const auto helperLoop = [&] {
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return ending || untaken() != nullptr; });
        if (ending) return;
      }
      readOne();  // the reading thread may have taken it first; then this waits again
    }
  };
  const auto waiting = [&] {
    std::lock_guard<std::mutex> lock(mutex);
    std::size_t count = 0;
    for (const auto& chunk : chunks) count += chunk->taken ? 0 : 1;
    return count;
  };
  // Joins the finished chunks at the front; with all, waits for every one.
  const auto joinFinished = [&](bool all) {
    for (;;) {
      std::unique_ptr<Chunk> chunk;
      {
        std::unique_lock<std::mutex> lock(mutex);
        if (chunks.empty()) return;
        if (all) changed.wait(lock, [&] { return chunks.front()->done; });
        if (!chunks.front()->done) return;
        chunk = std::move(chunks.front());
        chunks.pop_front();
      }
      if (chunk->failure) std::rethrow_exception(chunk->failure);
      out.insert(out.end(), std::make_move_iterator(chunk->elements.begin()),
                 std::make_move_iterator(chunk->elements.end()));
      chunk->elements.clear();
      spare.push_back(std::move(chunk));
    }
  };
  // Declared after everything the helper uses, so that it is joined first,
  // also when a refusal leaves early.
  struct Join {
    std::thread& helper;
    std::mutex& mutex;
    std::condition_variable& changed;
    bool& ending;
    ~Join() {
      if (!helper.joinable()) return;
      {
        std::lock_guard<std::mutex> lock(mutex);
        ending = true;
      }
      changed.notify_all();
      helper.join();
    }
  } join{helper, mutex, changed, ending};

  in.Expect('[');
  if (in.Consume(']')) return;
  const char open = in.Peek();
  const char close = open == '[' ? ']' : '}';
  if (open == '[' || open == '{') {
    for (;;) {
      const std::string_view text = in.Ahead(2 * chunkBytes);
      const std::size_t cut = two_thread_elements::FindCut(text, chunkBytes, open, close);
      if (cut == std::string_view::npos) break;
      std::unique_ptr<Chunk> chunk;
      if (spare.empty()) {
        chunk = std::make_unique<Chunk>();
      } else {
        chunk = std::move(spare.back());
        spare.pop_back();
      }
      chunk->text.assign(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(cut));
      chunk->text.push_back('\0');
      chunk->failure = nullptr;
      chunk->taken = chunk->done = false;
      in.Skip(cut);
      in.Expect(',');
      {
        std::lock_guard<std::mutex> lock(mutex);
        chunks.push_back(std::move(chunk));
      }
      if (!helper.joinable() && chunkBytes >= kChunkWorthAThread) {
        try {
          helper = std::thread(helperLoop);
        } catch (const std::system_error&) {
        }
      }
      changed.notify_all();
      // Without a helper this thread reads every chunk. With one, cutting is
      // cheap, so a few chunks wait for the helper; beyond that this thread
      // reads one rather than cutting ever further ahead.
      if (!helper.joinable() || waiting() > kChunksAhead) readOne();
      joinFinished(false);
    }
  }
  // The last elements, read here while the helper finishes.
  std::vector<Element> last;
  do {
    last.push_back(read(in));
  } while (in.Consume(','));
  in.Expect(']');
  while (readOne()) {
  }
  joinFinished(true);
  out.insert(out.end(), std::make_move_iterator(last.begin()), std::make_move_iterator(last.end()));
}

}  // namespace kw::scene_file
