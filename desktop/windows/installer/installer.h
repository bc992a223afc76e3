#ifndef DESKTOP_WINDOWS_INSTALLER_INSTALLER_H_
#define DESKTOP_WINDOWS_INSTALLER_INSTALLER_H_

#include <windows.h>

#include <stdint.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/callback.h"
#include "base/files/file_path.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/observer_list.h"
#include "base/single_thread_task_runner.h"
#include "base/win/object_watcher.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/installer_observer.h"
#include "desktop/windows/installer/service/install_status.h"
#include "desktop/windows/installer/service/protected_folder.h"
#include "desktop/windows/installer/service/registry_entry.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "desktop/windows/installer/staging_folder.h"

namespace base {
class CommandLine;
}

namespace installer {

class SavedSecurity;
class Settings;
class Status;

// The folder in which a shortcut is wanted, and the field of the installation's record that
// receives the path of the shortcut made there.
// Files of the package that an installation reads, beside those its files lists name.
extern const wchar_t kFilesListName[];
extern const wchar_t kRootFilesListName[];
extern const wchar_t kPrefDefaultOverridesFileName[];
extern const wchar_t kInstallerPrefsIncludeFileName[];

struct ShortcutLocation {
  base::FilePath folder;
  base::FilePath* path;
};

// What the run asks the system about the user. The default answers are the system's; tests
// put in those of a user the test system cannot be (under Wine every user is an
// administrator who may write everywhere).
struct InstallerUserRights {
  InstallerUserRights();

  // IsUserAdmin.
  std::function<bool(bool consider_linked_token)> is_user_admin;
  // Whether the user has every right of |access| on |folder| (HasAccess).
  std::function<bool(const base::FilePath& folder, ACCESS_MASK access)> has_folder_access;
  // Grants the user |access| on |folder|, inherited by everything in it (GrantAccess);
  // |saved| (may be null) receives the list it had before.
  std::function<bool(const base::FilePath& folder,
                     ACCESS_MASK access,
                     std::unique_ptr<SavedSecurity>* saved)>
      grant_folder_access;
  // Puts back what grant_folder_access saved (RestoreSecurity).
  std::function<bool(const SavedSecurity& saved)> restore_folder_access;
};

// Performs one installation, upgrade, uninstallation or protocol-handler registration for
// the Settings it is started with, as a list of steps that run one posted task at a time on
// the thread that created it (which must run a MessageLoop and have COM initialised for a
// single-threaded apartment). Every change to files and the registry is an operation of
// the installer's Transaction, up to the last point where the run can fail (the new status
// file; what follows, such as the scheduled task and the user's profile, can no longer fail
// it): a failure or a cancellation rolls all of them back; success makes the installation
// final (what the operations kept aside for an undo goes) before the rights the run was
// given on the install folder are given back. The Transaction keeps an undo journal in the
// install folder, so that a later run undoes what a run that never ended did, or finishes
// it when it had passed that point; a run first takes up such a journal. An uninstallation
// makes its changes final as soon as it passes that point, before it deletes the profile
// and starts its clean-up batch: once the batch has deleted the installer it runs from, no
// run would come back to finish them.
//
// The observers hear of every stage on that thread: InstallFolderReady, TotalSteps(n) and
// then exactly n Step calls and Success; or Error then Done(false) for a failure; or only
// Done(false) for a cancellation (the installation-interrupted event of the install
// folder). When another installer process does the work (an elevated restart, the
// package's own installer), the run blocks this thread until it has ended, between
// StartingNewMainProcess(false) and ReturnedToPreviousMainProcess, and then ends as that
// process did. Nothing runs after the run has ended or after the Installer is gone: the
// steps are bound to a weak pointer and check that the run is still under way.
class Installer : public base::win::ObjectWatcher::Delegate, public RegistryVariableResolver {
 public:
  Installer();
  ~Installer() override;

  Installer(const Installer&) = delete;
  Installer& operator=(const Installer&) = delete;

  void AddObserver(InstallerObserver* observer);
  void RemoveObserver(InstallerObserver* observer);

  // Fixes |settings| (they accept no changes from now on) and posts the run. |settings|
  // must outlive the run and have no install-folder read under way; starting twice is a
  // programming error that ends the process.
  void Start(Settings* settings);

  // Cancels the run at the next step boundary once |process| (not owned; it must stay open
  // while the run lasts) has ended: the front end the run works for, which may end while
  // a step keeps this thread busy. An administrator's run also unpacks the package from
  // the front end's program when no downloaded package lies beside its own folder: the
  // handle then needs query access too. Before Start.
  void CancelWhenEnded(HANDLE process) { cancel_when_ended_ = process; }

  // Whether "Installation succeeded" has been reached.
  bool succeeded() const { return succeeded_; }
  // Whether the run is under way (from Run until success, failure or cancellation).
  bool running() const { return running_; }

  // RegistryVariableResolver: the installer variables of the registry tables.
  std::wstring ResolveVariable(const std::wstring& name) override;
  RegistryRecord* GetRegistryRecord(HKEY root) override;

  // The product's key below the Windows uninstall key: "Software\...\Uninstall\" + the
  // product name, a blank, the full version and |suffix|.
  static std::wstring MakeUninstallKey(const std::wstring& suffix);

  // The shortcut file name: the visible product name with the stream, then (with
  // |with_version|) a blank and the major version, the configured suffix and ".lnk".
  static std::wstring GetMasterShortcutName(bool with_version);

  // An entry of the stored experiment lists: |name| + "@1" when enabled, "@2" when not.
  static std::string MakeFeatureStateString(const std::string& name, bool enabled);

  // The name of an older-generation product type: "" for 0, "Next", "Labs", else
  // "Invalid".
  static std::wstring GetOldProductTypeName(int type);

  // Whether |path| (a files-list entry, a recorded file or a component folder) stays below
  // the folder it is joined to: relative, without a drive, a stream or "..".
  static bool IsSafeRelativePath(std::wstring_view path);

  // The installer of the component |name| in |folder|: "<name>_installer.exe"; for the
  // component "suite" without its own installer there, the "assistant" installer.
  static base::FilePath GetComponentInstallerPath(const base::FilePath& folder,
                                                  const std::wstring& name);

  // Splits a registered "ReinstallCommand" into the program and its parameters: a quoted
  // program ends at the closing quote, an unquoted one at the first blank; the parameters
  // are the rest, trimmed. False for an empty command or a quote that is never closed.
  static bool ParseReinstallCommand(const std::wstring& command,
                                    std::wstring* program,
                                    std::wstring* parameters);

  // |folder| joined with |relative|, a path read back from a record, when that stays
  // strictly below |folder| (IsSafeRelativePath, and so after normalisation); empty, with a
  // warning, when it does not.
  static base::FilePath GetOwnedPath(const base::FilePath& folder, std::wstring_view relative);

  // Adds an entry that gives the Administrators group every right on |event| to its list.
  // For systems before Vista, where an elevated process is another user.
  static bool FixEventACL(HANDLE event);

 private:
  friend class InstallerTestPeer;
  using Step = void (Installer::*)();

  // ObjectWatcher::Delegate:
  void OnObjectSignaled(HANDLE object) override;

  // Run and its parts (installer.cc).
  void Run();
  // The run's checks of rights and events, and the install folder made. False when the
  // run has ended (failed, or handed over to another process).
  bool PrepareInstallFolder();
  // The access list an install folder this run creates gets: protected for all users.
  std::optional<Readers> InstallFolderProtection() const;
  bool OpenInterruptedEvent();
  // Opens the global event |base_name| of the install folder for waiting, logging its name
  // as the event for |label|; false, reported with |failure|, when it cannot be opened.
  bool OpenInstallFolderEvent(const wchar_t* base_name,
                              const char* label,
                              const char* failure,
                              base::win::ScopedHandle* event);
  void SaveLastInstallPath();
  // Handles the result of an elevated run; false when the run ends here.
  bool HandleElevatedResult(int result);
  bool ObtainWriteAccess(bool is_admin);
  void FillInstallStatus();
  bool ReadFilesLists();
  bool CreateInstallationSubfolder();
  void ApplyStoredExperiments();
  void BuildSteps();
  // How many Step notifications the step list gives, each copy step one per file (at least
  // one) and the last step one of its own.
  int CountStepNotifications() const;

  void ScheduleNextStep();
  // Posts |step| to run on this thread while the run is under way.
  void PostStep(const base::Location& from_here, base::Closure step);
  void RunStepIfRunning(const base::Closure& step);
  void StepCopyFile(int index,
                    const std::vector<std::string>& list,
                    base::Closure next,
                    std::vector<std::string>* copied,
                    bool root);
  // Tells the observers Error, cancels the run and returns |detail| for the caller's log.
  std::string ReportError(int code, const std::wstring& message, const std::string& detail);
  void Cancel();
  void ReleaseResources();
  void NotifyStep();

  // Accessors of the run's Settings.
  const Status& status() const;
  const base::FilePath& install_folder() const;
  const base::CommandLine& command_line() const;
  bool flag(int flag) const;
  uint32_t operation() const;
  // The installation subfolder of the install folder.
  base::FilePath installation_folder() const;
  // Performs |operation| in the installer's Transaction.
  bool Do(std::unique_ptr<Operation> operation);

  // Elevation, folder permission and the package hand-over (installer_elevation.cc).
  // Whether the user can become an administrator (an administrator already, or User
  // Account Control is on).
  bool CanElevate() const;
  // 0 success, 1 elevation failed or refused, 2 the elevated run failed, 3 set-up failed.
  int RunElevated();
  // The same codes; on success the helper's grant holds until ReleaseResources.
  int ObtainFolderPermission(const base::FilePath& folder, bool permanent);
  void WaitForPackage(bool post_elevated);
  // The package-ready event was signalled: the package's own installer does the rest.
  void OnPackageReady();
  void RunPostElevationTasks();
  // Tells the observers that another process works until it has ended.
  void NotifyStartingNewMainProcess();
  void NotifyReturnedToPreviousMainProcess();

  // The undo journal of the run (installer_recovery.cc): what an interrupted run left is
  // taken up first, then this run's operations are journaled. False when the run has ended.
  bool StartUndoJournal();
  // Copies a damaged status file beside the logs, before the run replaces or deletes it.
  void KeepDamagedStatusFile();
  // Removes, as operations of the run, the product's uninstall entries that name the
  // install folder other than the one the installation's record names.
  void RemoveUnrecordedUninstallEntries();

  // Adds to the files list what the package folder's own files list names beyond it and
  // the package lacks: files the front end fetched for the package, installed as data.
  void AddFilesListedOutsideThePackage();

  // Installation steps (installer_steps.cc).
  // Reads the files lists from where the package's files are installed from: the package
  // folder, or for an administrator's process a folder of its own (the package folder is
  // the user's) with the package file unpacked into it, its signer checked on the held
  // file in a signed build, and what the front end added to the package copied beside.
  // False, reported, when the run has ended.
  bool StagePackage();
  void StepCopyFiles(int index);
  void StepCopyRootFiles(int index);
  void StepInstallLauncher();
  void InstallLauncherAsBrowserExe();
  void StepWriteInstallerPrefs();
  void StepFinalizeInstallation();
  void StepInstallationSucceeded();
  void StepPreserveStatus();
  void StepRemoveInstalledFiles();
  void StepRemoveOldRootFiles();
  void StepRegisterProtocolHandler();

  // Component installers (installer_components.cc).
  void StepInstallComponents();
  // Starts, without waiting, the installer of a component recorded in the install folder's
  // status with the switches of |command|: only from below the install folder and with the
  // product's signature.
  void StartRecordedComponentInstaller(const InstallComponent& component,
                                       base::CommandLine command);

  // Registry steps (installer_registry_steps.cc).
  void StepSetupRegistry();
  void StepCleanupRegistry();
  // Applies one row of a registry table under |root|; false when it failed.
  bool ApplyRegistryRow(const RegistryTemplateRow& row, HKEY root);
  // Creates the first free uninstall key (the base name, then with 1, 2, ...) as an
  // operation of the run, and makes it the run's; false when none could be created.
  bool ChooseUninstallKey(HKEY root);
  void CleanupRegistryKey(HKEY root, const RegistryKeyRecord& key);
  // The deepest clean depth with which the registry tables write |path| below |root|, and
  // the names of the values they write there; false when they do not write that key (or it
  // is an uninstall entry of another folder).
  bool FindTableKey(HKEY root,
                    const std::wstring& path,
                    unsigned* max_depth,
                    std::vector<std::wstring>* value_names);
  // Whether |path| below |root| is an uninstall entry of the product whose InstallLocation
  // is this install folder.
  bool IsOwnUninstallEntry(HKEY root, const std::wstring& path);
  // The rows StepSetupRegistry writes: the main table, and the row that hides the browser
  // from the list of programs when that feature is on.
  std::vector<const RegistryTemplateRow*> GetRegistryRows() const;
  // Gives back what the browser's default-browser registration took over below |root| and
  // removes what of it still names this installation (written outside the recorded registry
  // steps, for the user after an elevated installation and for the default browser).
  void RemoveUnrecordedRegistrations(HKEY root);

  // Shortcuts (installer_shortcuts.cc).
  void StepInstallShortcuts();
  void StepUpdateShortcuts();
  bool CreateMasterShortcut(const std::vector<ShortcutLocation>& locations,
                            bool pin,
                            bool* with_version,
                            const base::FilePath& target);
  // Pins |shortcut| to the taskbar as the system allows; whether it did.
  bool PinShortcut(const base::FilePath& shortcut);
  void UnpinShortcuts(const std::vector<base::FilePath>& shortcuts);
  void DeleteMessageCenterShortcuts();

  // Uninstallation steps (installer_uninstall.cc).
  void StepRemoveShortcuts();
  void StepFinalizeUninstallation();
  void StepUninstallComponents();
  void StepCleanupAfterUninstall();
  // Deletes the recorded files of the installation; what cannot go now is added to
  // |files_left| for the clean-up batch.
  void DeleteInstalledFiles(std::vector<base::FilePath>* files_left);
  // Removes, as operations of the run, what an uninstallation ended before its clean-up
  // batch started left in the install folder (FindUninstallRemnants).
  void RemoveUninstallRemnants();
  // Past the point of no return: commits the run's changes at once and adds to |files_left|
  // what the commit could not delete.
  void MakeUninstallationFinal(std::vector<base::FilePath>* files_left);
  void WriteAndStartCleanupBatch(const std::vector<base::FilePath>& files_left);
  void DeleteUserProfile();
  // Gives the default browser back, shows the uninstall survey.
  void FinishUninstallation(const base::FilePath& install_folder);
  void ResetDefaultBrowser();
  void ShowUninstallSurvey();
  // Deletes the autoupdate task of the installation |app_id|, first the stale ones of
  // removed installations when asked.
  void RemoveAutoupdateTask(const std::string& app_id, bool delete_stale_tasks);

  // Finishing an installation (installer_finish.cc).
  // Tells the shell and the programs that file and protocol handlers changed.
  void NotifyAssociationsChanged();
  void SetUpDefaultBrowser();
  void CreateAutoupdateTask();
  // Records the browser's launch for LaunchBrowserAfterSuccess.
  void FinalizeSuccessfulInstallation();
  // Starts the browser recorded by FinalizeSuccessfulInstallation, if any.
  void LaunchBrowserAfterSuccess();
  // Brings the custom partner content of |profile| up to the package's; whether it changed.
  bool UpdateProfileCustomContent(const base::FilePath& profile);
  void UpdateFirewallRule(const base::FilePath& program, bool remove);
  // |text| with the older generation's "{Product}" and "{SPProduct}" (as its records name
  // keys) turned into its product type's name; unchanged for any other installation.
  std::wstring ReplaceProductPlaceholders(const std::wstring& text) const;

  base::scoped_refptr<base::SingleThreadTaskRunner> task_runner_;
  // The folder grant of this run, put back by ReleaseResources.
  std::unique_ptr<SavedSecurity> saved_security_;
  InstallerUserRights rights_;
  Transaction transaction_;
  base::ObserverList<InstallerObserver> observers_;
  // The folder of the running installer: the unpacked package when installing.
  base::FilePath own_folder_;
  // Where the package's files and lists are installed from (StagePackage): |own_folder_| or
  // |package_copy_|.
  base::FilePath package_source_;
  std::unique_ptr<StagingFolder> package_copy_;
  std::vector<std::string> files_list_;
  std::vector<std::string> root_files_list_;
  Settings* settings_ = nullptr;
  // The record of the installation being written.
  InstallStatus install_status_;
  // The install folder read again after an elevated child changed it; null before.
  std::unique_ptr<Status> reloaded_status_;
  // What {Uninstall} resolves to, set by the registry step.
  std::wstring uninstall_key_;
  bool started_ = false;
  bool running_ = false;
  // The observers heard how the run ended (Success, or Done(false)).
  bool ended_ = false;
  bool succeeded_ = false;
  // The browser to start once the run has succeeded; null for none.
  std::unique_ptr<base::CommandLine> browser_launch_;
  bool record_registry_ = false;
  // Success leaves the operations to the destructor, so that a test can still undo them.
  bool keep_undo_after_success_ = false;
  // The folder-permission helper's undo event, signalled by ReleaseResources.
  base::win::ScopedHandle undo_permission_event_;
  // The event an elevated child signals when its installation succeeded; none unless this
  // run is such a child.
  base::win::ScopedHandle completion_event_;
  uint32_t other_pid_ = 0;
  base::win::ScopedHandle interrupted_event_;
  base::win::ObjectWatcher interrupted_watcher_;
  // Not owned; null for none.
  HANDLE cancel_when_ended_ = nullptr;
  base::win::ScopedHandle package_ready_event_;
  base::win::ObjectWatcher package_ready_watcher_;
  // The package's installer only runs the post-elevation tasks.
  bool post_elevated_ = false;
  std::vector<base::Closure> steps_;
  size_t next_step_ = 0;
  // For each step, the files list it copies one file at a time, or null.
  std::vector<const std::vector<std::string>*> step_lists_;
  bool launcher_is_64_ = false;
  bool launcher_bitness_known_ = false;

  base::WeakPtrFactory<Installer> weak_factory_{this};
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_INSTALLER_H_
