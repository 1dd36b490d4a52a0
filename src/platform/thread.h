// Detached worker threads that can be told to stop, and waited for.
#pragma once

#include <chrono>
#include <stop_token>

namespace luting {

// Starts body on a new detached worker; false when no thread could be started.
bool startDetachedThread(void (*body)());

// Asks every live worker to stop. A stopped worker's request is abandoned and
// the control operations it issues from then on are dropped.
void stopAllThreads();

// The calling worker's stop token (a token that never stops on other threads).
std::stop_token currentStopToken();
bool stopRequested();

// Blocks the calling worker until every worker started before it has ended,
// or until the caller itself is asked to stop.
void waitForEarlierThreads();

// Waits up to timeout for every worker to end; true when none is left.
bool waitForAllThreads(std::chrono::milliseconds timeout);

// Makes the next starts fail, as when the system has no thread to give.
void setThreadStartFailsForTesting(bool fails);

}  // namespace luting
