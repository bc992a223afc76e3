#ifndef DESKTOP_WINDOWS_INSTALLER_PROFILE_DELETION_H_
#define DESKTOP_WINDOWS_INSTALLER_PROFILE_DELETION_H_

namespace installer {

class Installation;

// Deletes the user profile of |installation| as its installer preferences record it, and
// its local application-data counterpart, each with everything in it: never a folder that
// holds more than a profile (GetProfileDeletionRefusal), nor one that a link leads
// elsewhere from. Without such a record nothing is deleted. Failures are logged.
void DeleteRecordedUserProfile(const Installation& installation);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PROFILE_DELETION_H_
