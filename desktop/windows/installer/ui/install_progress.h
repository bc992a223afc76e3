#ifndef DESKTOP_WINDOWS_INSTALLER_UI_INSTALL_PROGRESS_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_INSTALL_PROGRESS_H_

#include <stdint.h>

namespace installer {

// The phases of a run with the window, in order; the progress bar gives each a share of its
// length by the phase's weight.
enum InstallPhase : int32_t {
  PHASE_REQUESTING_URL = 0,  // Asking the autoupdate server for the package's address.
  PHASE_DOWNLOADING = 1,
  PHASE_UNPACKING = 2,
  PHASE_ADDITIONAL_FILES = 3,
  PHASE_PACKAGE_READY = 4,  // The package is there; its tracking-data actions are due.
  PHASE_INSTALLING = 5,     // The package is complete; the backend installs.
  PHASE_COUNT = 6,
};

// The share of |phase| (1, 1000, 200, 1, 1, 100).
int32_t GetPhaseWeight(int32_t phase);
// The length of the whole bar: the sum of the weights, at least 1.
int32_t GetTotalProgressWeight();
// The position of the bar in |phase| with |current| of |total| steps of that phase done:
// the weights of the phases before it and the done part of its own (none when |total| is
// 0), truncated toward zero; never more than the phase's own share.
int32_t GetProgressPosition(int32_t phase, int32_t current, int32_t total);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_INSTALL_PROGRESS_H_
