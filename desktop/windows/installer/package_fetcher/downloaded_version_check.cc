#include "desktop/windows/installer/package_fetcher/downloaded_version_check.h"

#include <string>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/path_registry.h"
#include "base/process/launch.h"
#include "base/process/launch_lock.h"
#include "base/version.h"
#include "desktop/windows/installer/service/pe_image.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/signature.h"
#include "desktop/windows/installer/wininet/stats.h"

namespace installer {

namespace {

// A version that downloads may have instead of this build's internal version; empty: none.
constexpr char kAllowedVersionOverride[] = "";
// How far above the build's own major version an override may reach.
constexpr uint32_t kMaxOverrideDistance = 50;

// What |file| prints when run with |query_switch|; false when it could not be run.
bool QueryInstaller(const base::FilePath& file, const char* query_switch, std::string* output) {
  base::CommandLine command_line(file);
  command_line.AppendSwitch(query_switch);
  base::AutoLaunchLock launch_lock(base::GetLaunchLock());
  if (!base::GetAppOutput(command_line, output)) {
    LOG(ERROR) << "Could not run " << file << " --" << query_switch;
    return false;
  }
  return true;
}

base::Version GetReferenceVersion() {
  base::Version reference(ProductInfo::GetInternalVersion());
  const base::Version override_version(kAllowedVersionOverride);
  if (override_version.IsValid() && reference.IsValid() &&
      override_version.components()[0] <= reference.components()[0] + kMaxOverrideDistance) {
    VLOG(1) << "Using allowed version override " << kAllowedVersionOverride;
    reference = override_version;
  }
  return reference;
}

}  // namespace

bool CheckDownloadedVersion(const base::FilePath& file, bool check_stream, Stats* record) {
  const base::Version reference = GetReferenceVersion();
  std::string version_text;
  if (!QueryInstaller(file, "internal-version", &version_text))
    return false;
  VLOG(1) << "Downloaded item version: " << version_text;
  record->SetString("internal_version", version_text);
  const base::Version version(version_text);
  if (!version.IsValid() || version < reference) {
    LOG(ERROR) << "Downloaded item is older than the installer";
    return false;
  }
  if (!check_stream)
    return true;

  std::string stream;
  if (!QueryInstaller(file, "stream", &stream))
    return false;
  VLOG(1) << "Downloaded item stream: " << stream;
  record->SetString("stream", stream);
  if (stream != ProductInfo::GetStream()) {
    LOG(ERROR) << "Downloaded item is of a different stream than the installer";
    return false;
  }
  return true;
}

bool VerifyDownloadedSigner(const base::FilePath& file) {
  base::FilePath own_file;
  bool own_file_signed = true;
  if (base::PathRegistry::Get(base::FILE_EXE, &own_file) &&
      HasCertificateTable(own_file, &own_file_signed) && !own_file_signed) {
    VLOG(1) << "This installer is not signed: the signer of " << file << " is not checked";
    return true;
  }
  return VerifySigner(file);
}

}  // namespace installer
