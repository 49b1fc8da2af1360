// Model files are read by a parser that is not ours and that a damaged file
// can crash. The whole command runs in a child process with its memory
// bounded; the parent waits, turns a crash into one line and exit status 3
// (or 1 once the scene was read and the export itself failed), and removes
// any temporary file the child left. The earlier SMD is never touched by it.
#pragma once

#include <functional>
#include <string>

namespace kw {

// Runs body in a child process and returns its exit status, or the status
// of its crash. SIGINT, SIGTERM and SIGHUP reach the child and end both
// with 128+N. Without fork, body runs here.
int RunIsolated(const std::string& scenePath, const std::function<int()>& body);

// Called by the child once the scene is read: a crash after it is the
// export's, not the importer's.
void NoteSceneRead();

}  // namespace kw
