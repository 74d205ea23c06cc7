#include "host/simrunner/interrupt.h"

#include <pthread.h>
#include <signal.h>

#include <csignal>
#include <cstdlib>
#include <thread>

#include "host/sim/files.h"

namespace installersim {

void RemoveDrivesOnInterrupt() {
  // A reader that goes away (installer-sim | head) makes writes fail, not
  // end the process with the drive still there.
  std::signal(SIGPIPE, SIG_IGN);
  sigset_t stops;
  sigemptyset(&stops);
  for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, number);
  // Removing folders is not safe in a signal handler; a thread that takes
  // the signals with sigwait runs ordinary code.
  if (pthread_sigmask(SIG_BLOCK, &stops, nullptr) != 0) return;
  std::thread([stops]() {
    int number = 0;
    if (sigwait(&stops, &number) != 0) return;
    sim::SimFiles::RemoveLiveDrives();
    // End as the signal would have ended the process, so the shell sees it.
    std::signal(number, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, number);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(number);
    std::_Exit(128 + number);
  }).detach();
}

}  // namespace installersim
