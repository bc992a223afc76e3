#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_FIREWALL_MANAGER_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_FIREWALL_MANAGER_H_

#include <wrl/client.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/operation.h"

struct INetFwPolicy2;
struct INetFwRules;

namespace installer {

class ProductNaming;

// The Windows Firewall rules of the browser: one inbound rule that lets the program receive
// mDNS (UDP port 5353) on every profile, grouped under the product name. Changing rules
// needs an administrator. COM must be initialised on the calling thread.
class FirewallManager {
 public:
  // Null when the program path is empty or the firewall policy object cannot be created.
  static std::unique_ptr<FirewallManager> Create(const ProductNaming& naming,
                                                 const base::FilePath& program);

  ~FirewallManager();

  FirewallManager(const FirewallManager&) = delete;
  FirewallManager& operator=(const FirewallManager&) = delete;

  // Adds the rules, replacing those this program already has.
  bool AddFirewallRules();

  // Removes the rules of this program. True when nothing failed.
  bool RemoveFirewallRules();

  // How many rules this program has; -1 when the rules cannot be listed.
  int CountFirewallRules();

  const std::wstring& mdns_rule_name() const { return mdns_rule_name_; }
  const std::wstring& mdns_rule_description() const { return mdns_rule_description_; }
  const std::wstring& group_name() const { return group_name_; }

 private:
  FirewallManager(Microsoft::WRL::ComPtr<INetFwPolicy2> policy,
                  const std::wstring& product_name,
                  const base::FilePath& program);

  Microsoft::WRL::ComPtr<INetFwRules> GetRules();
  // How many rules of the mDNS name belong to this program; -1 when the rules cannot be
  // listed.
  int CountOwnMdnsRules(INetFwRules* rules);

  Microsoft::WRL::ComPtr<INetFwPolicy2> policy_;
  const base::FilePath program_;
  const std::wstring mdns_rule_name_;
  const std::wstring mdns_rule_description_;
  const std::wstring group_name_;
};

// Removes the firewall rules of |program| (FirewallManager::RemoveFirewallRules); the undo
// adds them again when the program had any, or when that could not be told. Needs what the
// manager needs.
class RemoveFirewallRulesOperation : public Operation {
 public:
  // |naming| must outlive the operation.
  RemoveFirewallRulesOperation(const ProductNaming& naming, const base::FilePath& program);
  ~RemoveFirewallRulesOperation() override;

  bool Do() override;
  void Rollback() override;

 private:
  const ProductNaming& naming_;
  const base::FilePath program_;
  std::unique_ptr<FirewallManager> manager_;
  bool had_rules_ = false;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_FIREWALL_MANAGER_H_
