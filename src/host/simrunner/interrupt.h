// installer-sim ended from outside (Ctrl+C, kill, a closed terminal) still
// leaves no simulated drive behind.
#pragma once

namespace installersim {

// Blocks SIGINT, SIGTERM and SIGHUP in this thread and every thread started
// after it, and waits for them on a thread of its own: on one, the drives'
// host folders are removed and the process ends by that signal. SIGPIPE is
// ignored. Call first in main, before any thread starts.
void RemoveDrivesOnInterrupt();

}  // namespace installersim
