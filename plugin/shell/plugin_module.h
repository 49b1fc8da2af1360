// What the library keeps for as long as it is loaded: its module handle,
// its activation context and the buffer its strings are loaded into.
#pragma once

#include <windows.h>

#include "plugin/shell/activation_context.h"

namespace kw {

// Null until the library has been attached to the process.
HINSTANCE PluginInstance();
const ActivationContext& PluginActivationContext();

// String id of the library's string table, loaded into one 256-byte buffer
// that every call overwrites: copy the text before asking for another. Null
// when the library is not attached yet or has no such string.
const char* GetString(int id);

}  // namespace kw
