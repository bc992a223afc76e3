#ifndef BASE_WIN_SHORTCUT_H_
#define BASE_WIN_SHORTCUT_H_

#include <stdint.h>

#include <string>

#include "base/files/file_path.h"

namespace base {
namespace win {

// The fields of a shell shortcut (.lnk). |options| tells which fields are set: only those
// are written, and only those are read back by ResolveShortcutProperties.
struct ShortcutProperties {
  enum IndividualProperties : uint32_t {
    PROPERTIES_TARGET = 1u << 0,
    PROPERTIES_WORKING_DIR = 1u << 1,
    PROPERTIES_ARGUMENTS = 1u << 2,
    PROPERTIES_DESCRIPTION = 1u << 3,
    PROPERTIES_ICON = 1u << 4,
    PROPERTIES_APP_ID = 1u << 5,
    PROPERTIES_ALL = (1u << 6) - 1,
  };

  void set_target(const FilePath& value) {
    target = value;
    options |= PROPERTIES_TARGET;
  }
  void set_working_dir(const FilePath& value) {
    working_dir = value;
    options |= PROPERTIES_WORKING_DIR;
  }
  void set_arguments(const std::wstring& value) {
    arguments = value;
    options |= PROPERTIES_ARGUMENTS;
  }
  void set_description(const std::wstring& value) {
    description = value;
    options |= PROPERTIES_DESCRIPTION;
  }
  void set_icon(const FilePath& path, int index) {
    icon = path;
    icon_index = index;
    options |= PROPERTIES_ICON;
  }
  void set_app_id(const std::wstring& value) {
    app_id = value;
    options |= PROPERTIES_APP_ID;
  }

  FilePath target;
  FilePath working_dir;
  std::wstring arguments;
  std::wstring description;
  FilePath icon;
  int icon_index = -1;
  // The application user model id that groups the program's windows on the taskbar.
  std::wstring app_id;
  uint32_t options = 0;
};

enum ShortcutOperation {
  // Writes a new shortcut, replacing any file of that name. Needs a target.
  SHORTCUT_CREATE_ALWAYS = 0,
  // Like SHORTCUT_CREATE_ALWAYS, but fails when no shortcut exists at the path.
  SHORTCUT_REPLACE_EXISTING,
  // Changes the given fields of an existing shortcut and keeps the others; fails when no
  // shortcut exists at the path.
  SHORTCUT_UPDATE_EXISTING,
};

// All functions below use COM: the calling thread must have initialised it (CoInitializeEx,
// apartment-threaded for the shell verbs).

// Writes the shortcut at |shortcut_path| as |operation| says. Returns false, with an error
// log, when it cannot be written.
bool CreateOrUpdateShortcut(const FilePath& shortcut_path,
                            const ShortcutProperties& properties,
                            ShortcutOperation operation);

// Reads the fields named by |options| from the shortcut into |properties|, whose |options|
// become the fields actually read (a missing application id leaves its flag clear).
// Returns false when the shortcut cannot be loaded.
bool ResolveShortcutProperties(const FilePath& shortcut_path,
                               uint32_t options,
                               ShortcutProperties* properties);

// The target and arguments of a shortcut (either output may be null). The target is read
// as stored: the shell is not asked to search for a target that moved.
bool ResolveShortcut(const FilePath& shortcut_path, FilePath* target, std::wstring* arguments);

// The target as the shortcut's item ID list names it. The stored target text may have been
// narrowed to the ANSI code page when the shortcut was written (Wine keeps only that form),
// so that a folder named outside the code page reads back with substituted letters; the ID
// list keeps every name in full. False when the shortcut cannot be loaded, or its ID list is
// missing or names no file system path.
bool ResolveShortcutIdListTarget(const FilePath& shortcut_path, FilePath* target);

// Whether the shell pins shortcuts to the taskbar through its "taskbarpin" verb: Windows 7
// to 8.1.
bool CanPinToTaskbar();

// Pins the shortcut to the taskbar through the shell verb "taskbarpin". Returns whether the
// shell carried it out.
bool PinToTaskbar(const FilePath& shortcut);

// Unpins the shortcut through the shell verb "taskbarunpin". False before Windows 7 (there
// is no taskbar pinning there) and when the shell does not carry it out.
bool UnpinFromTaskbar(const FilePath& shortcut);

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SHORTCUT_H_
