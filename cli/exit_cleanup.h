// However the command line ends, no temporary SMD is left behind: SIGINT,
// SIGTERM and SIGHUP remove it and exit 128+N, and an exception nobody
// caught (memory running out on a writer's thread) removes it and ends in
// one line instead of an abort.
#pragma once

#include <string>

namespace kw {

// Once, before anything is written. Signals the process was started with
// ignored (nohup, a background job) stay ignored.
void InstallExitCleanup();

// A temporary file that exists from now on / no longer needs removing.
void AddTemporaryFile(const std::string& path);
void ForgetTemporaryFile(const std::string& path);

// Removes every temporary file still registered. Safe in a signal handler.
void RemoveTemporaryFiles();

// What the line on a signal says after "stopped by signal N; " (by
// default "no file was replaced").
void SetStoppedNote(const std::string& note);

// How an uncaught failure ends: its exit status (3 while the scene is read,
// 1 afterwards) and what it says when memory ran out ("FILE: not enough
// memory to ...").
void SetUncaughtFailure(int status, const std::string& outOfMemoryLine);

// When set (>= 0), each temporary file added or forgotten is also told on
// this descriptor, one line "+PATH" or "-PATH", for a parent process that
// cleans up after a child that crashed.
void ReportTemporaryFilesTo(int fd);

}  // namespace kw
