#pragma once

// The system's requests to end the collector (SIGTERM, SIGINT and SIGHUP; on Windows a console
// close, Ctrl+C, logoff or shutdown) only note the request: the download loop looks at it, ends
// the task and writes what came, so no signal ever cuts a file short.
namespace headless {

void installStopHandlers();
bool stopRequested();
// Windows: the system ends the process once a close, logoff or shutdown handler returns; it waits
// for this (a few seconds at most), which the collector calls once its file is written.
void runEnded();

} // namespace headless
