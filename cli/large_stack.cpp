#include "cli/large_stack.h"

#include <pthread.h>

#include <cstddef>

namespace kw {

namespace {

constexpr std::size_t kStackBytes = std::size_t{1} << 30;

struct Call {
  const std::function<int()>* body;
  int result;
};

void* RunCall(void* argument) {
  Call* call = static_cast<Call*>(argument);
  call->result = (*call->body)();
  return nullptr;
}

}  // namespace

int RunOnLargeStack(const std::function<int()>& body) {
  Call call{&body, 0};
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return body();
  pthread_t thread;
  const bool started = pthread_attr_setstacksize(&attributes, kStackBytes) == 0 &&
                       pthread_create(&thread, &attributes, RunCall, &call) == 0;
  pthread_attr_destroy(&attributes);
  if (!started) return body();
  pthread_join(thread, nullptr);
  return call.result;
}

}  // namespace kw
