// One process of a name in a user's session: it listens on an abstract Unix socket named after
// the user, the name and the session's displays, which the kernel takes back with the process
// (nothing is left behind by a crash). Another process of the same user asks it to end by
// connecting; connections from other users are refused.
#pragma once

#include <string>

// The listening socket (non-blocking, closed on exec), or -1: alreadyRunning when another process
// holds the name, otherwise error says why.
int ListenAsInstance(const std::string& name, bool& alreadyRunning, std::string& error);
// Takes the connections waiting on fd; true when one came from a process of this user, which
// asks the instance to end.
bool TakeStopRequest(int fd);
// Asks the process holding name in this session to end; false when none holds it.
bool RequestInstanceStop(const std::string& name);
