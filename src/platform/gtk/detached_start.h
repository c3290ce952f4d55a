// Starting a companion program from the settings dialog apart from it: in a session of its own,
// so that it outlives the dialog and no hang-up or signal to the dialog's group reaches it.
#pragma once

#include <functional>
#include <string>
#include <vector>

// What became of a program started apart.
struct TDetachedStart {
  bool Started = false;  // it was started; else Reason says why not
  bool Ended = false;    // it ended within the wait; Status says how
  int Status = 0;        // as waitpid gives it
  std::string Reason;
};

// Starts argv (the program first, by its path) and waits up to waits times 100 ms for it to
// end, or, where serving is given, for serving(process id) to say it serves. The child is not
// reaped while it is waited for, so its process id names no other process; one that runs on is
// reaped by the dialog's loop should it end while the dialog is still open.
TDetachedStart StartDetached(const std::vector<std::string>& argv, int waits,
                             const std::function<bool(int)>& serving = nullptr);

// "it ended at once with status N" or "... on signal N", for a started program's waitpid status.
std::string EndedAtOnce(int status);
