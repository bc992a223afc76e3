#include "desktop/windows/installer/verified_package.h"

#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "desktop/windows/installer/package_fetcher/lzma_util.h"
#include "desktop/windows/installer/package_fetcher/payload_reader.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/signature.h"
#include "desktop/windows/installer/staging_folder.h"

namespace installer {

namespace {

constexpr wchar_t kArchiveName[] = L"package.7z";
constexpr DWORD kMaxImagePath = 32768;

}  // namespace

base::FilePath FindUnpackedPackage(const base::FilePath& package_folder, HANDLE front_end) {
  // The front end names the folder after the downloaded file, without its extension.
  const base::FilePath downloaded = package_folder.AddExtension(L"exe");
  if (base::PathExists(downloaded))
    return downloaded;
  if (!front_end) {
    LOG(ERROR) << "No package beside " << package_folder << " and no front end to ask";
    return base::FilePath();
  }
  // As long as any path the system can name.
  std::wstring image(kMaxImagePath, L'\0');
  DWORD length = kMaxImagePath;
  if (!::QueryFullProcessImageNameW(front_end, 0, &image[0], &length)) {
    PLOG(ERROR) << "No package beside " << package_folder
                << ", and the front end's program cannot be named";
    return base::FilePath();
  }
  image.resize(length);
  return base::FilePath(image);
}

bool UnpackVerifiedPackage(const base::FilePath& package,
                           bool check_signer,
                           const base::FilePath& destination,
                           std::string* error) {
  // Held until the last entry is written: what is checked is what is unpacked.
  const base::File held(package, base::File::FLAG_OPEN | base::File::FLAG_READ |
                                     base::File::FLAG_EXCLUSIVE_WRITE);
  if (!held.IsValid()) {
    ELOG(ERROR, held.error_details()) << "Cannot open the package " << package;
    *error = "Could not open the package " + package.ToUtf8();
    return false;
  }
  if (check_signer) {
    SignatureCheck signature(package, held.Duplicate());
    if (!signature.VerifySignedBy(ProductConfig::GetInstance().GetExpectedSigner())) {
      *error = "The package " + package.ToUtf8() + " does not carry the product's signature";
      return false;
    }
  }
  const PayloadReader payload(held, package);
  if (payload.type() != PayloadType::kFullPackage) {
    LOG(ERROR) << package << " carries no package but "
               << PayloadReader::GetTypeName(payload.type());
    *error = "Could not find the package in " + package.ToUtf8();
    return false;
  }
  // Out of the user's reach from its first byte to its last use.
  StagingFolder archive_folder;
  base::File archive;
  if (archive_folder.Create()) {
    archive.Initialize(archive_folder.path().Append(kArchiveName),
                       base::File::FLAG_CREATE | base::File::FLAG_READ | base::File::FLAG_WRITE |
                           base::File::FLAG_EXCLUSIVE_WRITE);
  }
  if (!archive.IsValid() ||
      !payload.WritePayload(&archive, archive_folder.path().Append(kArchiveName))) {
    LOG(ERROR) << "Cannot write out the archive of " << package;
    *error = "Could not write out the archive of the package";
    return false;
  }
  LzmaUtil unpacker;
  DWORD result = unpacker.OpenArchive(archive.Duplicate());
  if (result == ERROR_SUCCESS)
    result = unpacker.UnPack(destination, nullptr);
  if (result != ERROR_SUCCESS) {
    ELOG(ERROR, result) << "Unpacking the package " << package << " into " << destination
                        << " failed with status " << unpacker.status();
    *error = "Could not unpack the package";
    return false;
  }
  LOG(INFO) << "Unpacked the package " << package;
  return true;
}

}  // namespace installer
