#include "desktop/windows/installer/service/firewall_manager.h"

#include <windows.h>
#include <initguid.h>  // Defines the firewall class and interface identifiers below.
#include <netfw.h>
#include <oleauto.h>

#include <string_view>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/win/scoped_bstr.h"
#include "base/win/scoped_variant.h"
#include "desktop/windows/installer/service/product_naming.h"

namespace installer {

namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kMdnsPort[] = L"5353";

// Bounds the removal loop should the firewall keep a rule it was told to remove.
constexpr int kMaxRemovals = 16;

bool IsSameProgram(std::wstring_view a, const base::FilePath& b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.value().c_str(),
                                static_cast<int>(b.value().size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

// static
std::unique_ptr<FirewallManager> FirewallManager::Create(const ProductNaming& naming,
                                                         const base::FilePath& program) {
  if (program.empty())
    return nullptr;
  ComPtr<INetFwPolicy2> policy;
  const HRESULT hr = ::CoCreateInstance(CLSID_NetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_INetFwPolicy2,
                                        reinterpret_cast<void**>(policy.GetAddressOf()));
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot create the firewall policy object";
    return nullptr;
  }
  return std::unique_ptr<FirewallManager>(
      new FirewallManager(policy, naming.GetProductName(), program));
}

FirewallManager::FirewallManager(ComPtr<INetFwPolicy2> policy,
                                 const std::wstring& product_name,
                                 const base::FilePath& program)
    : policy_(policy),
      program_(program),
      mdns_rule_name_(product_name + L" (mDNS-In)"),
      mdns_rule_description_(L"Inbound rule for " + product_name +
                             L" to allow mDNS traffic."),
      group_name_(product_name) {}

FirewallManager::~FirewallManager() = default;

ComPtr<INetFwRules> FirewallManager::GetRules() {
  ComPtr<INetFwRules> rules;
  const HRESULT hr = policy_->get_Rules(rules.GetAddressOf());
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot read the firewall rules";
    rules.Reset();
  }
  return rules;
}

bool FirewallManager::AddFirewallRules() {
  ComPtr<INetFwRules> rules = GetRules();
  if (!rules)
    return false;
  // Installing again over the same program must not leave a second copy of the rule.
  RemoveFirewallRules();

  ComPtr<INetFwRule> rule;
  HRESULT hr = ::CoCreateInstance(CLSID_NetFwRule, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_INetFwRule, reinterpret_cast<void**>(rule.GetAddressOf()));
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot create a firewall rule object";
    return false;
  }
  base::win::ScopedBstr name(mdns_rule_name_);
  base::win::ScopedBstr description(mdns_rule_description_);
  base::win::ScopedBstr application(program_.value());
  base::win::ScopedBstr port(kMdnsPort);
  base::win::ScopedBstr group(group_name_);
  hr = rule->put_Name(name.Get());
  if (SUCCEEDED(hr))
    hr = rule->put_Description(description.Get());
  if (SUCCEEDED(hr))
    hr = rule->put_ApplicationName(application.Get());
  // The protocol goes before the port: ports are refused for a rule of any protocol.
  if (SUCCEEDED(hr))
    hr = rule->put_Protocol(NET_FW_IP_PROTOCOL_UDP);
  if (SUCCEEDED(hr))
    hr = rule->put_LocalPorts(port.Get());
  if (SUCCEEDED(hr))
    hr = rule->put_Direction(NET_FW_RULE_DIR_IN);
  if (SUCCEEDED(hr))
    hr = rule->put_Action(NET_FW_ACTION_ALLOW);
  if (SUCCEEDED(hr))
    hr = rule->put_Profiles(NET_FW_PROFILE2_ALL);
  if (SUCCEEDED(hr))
    hr = rule->put_Grouping(group.Get());
  if (SUCCEEDED(hr))
    hr = rule->put_Enabled(VARIANT_TRUE);
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot set up the firewall rule " << mdns_rule_name_;
    return false;
  }
  hr = rules->Add(rule.Get());
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot add the firewall rule " << mdns_rule_name_;
    return false;
  }
  return true;
}

int FirewallManager::CountOwnMdnsRules(INetFwRules* rules) {
  ComPtr<IUnknown> unknown;
  ComPtr<IEnumVARIANT> items;
  if (FAILED(rules->get__NewEnum(unknown.GetAddressOf())) || !unknown ||
      FAILED(unknown.As(&items))) {
    return -1;
  }
  int count = 0;
  for (;;) {
    base::win::ScopedVariant item;
    ULONG fetched = 0;
    if (items->Next(1, item.Receive(), &fetched) != S_OK || fetched == 0)
      break;
    if (V_VT(&item.Get()) != VT_DISPATCH || !V_DISPATCH(&item.Get()))
      continue;
    ComPtr<INetFwRule> rule;
    if (FAILED(V_DISPATCH(&item.Get())
                   ->QueryInterface(IID_INetFwRule, reinterpret_cast<void**>(rule.GetAddressOf())))) {
      continue;
    }
    base::win::ScopedBstr name;
    base::win::ScopedBstr application;
    if (SUCCEEDED(rule->get_Name(name.Receive())) && name.View() == mdns_rule_name_ &&
        SUCCEEDED(rule->get_ApplicationName(application.Receive())) &&
        IsSameProgram(application.View(), program_)) {
      ++count;
    }
  }
  return count;
}

bool FirewallManager::RemoveFirewallRules() {
  ComPtr<INetFwRules> rules = GetRules();
  if (!rules)
    return false;
  // Rules can be removed only by name. When the rules can be listed, only a rule of this
  // program leads to a removal, repeated while one is left; otherwise the name alone decides.
  int remaining = CountOwnMdnsRules(rules.Get());
  if (remaining == 0)
    return true;
  base::win::ScopedBstr name(mdns_rule_name_);
  for (int attempt = 0; attempt < kMaxRemovals; ++attempt) {
    const HRESULT hr = rules->Remove(name.Get());
    if (FAILED(hr)) {
      ELOG(ERROR, hr) << "Cannot remove the firewall rule " << mdns_rule_name_;
      return false;
    }
    if (remaining < 0)
      return true;
    remaining = CountOwnMdnsRules(rules.Get());
    if (remaining <= 0)
      return true;
  }
  LOG(ERROR) << "The firewall keeps the rule " << mdns_rule_name_;
  return false;
}

int FirewallManager::CountFirewallRules() {
  ComPtr<INetFwRules> rules = GetRules();
  return rules ? CountOwnMdnsRules(rules.Get()) : -1;
}

RemoveFirewallRulesOperation::RemoveFirewallRulesOperation(const ProductNaming& naming,
                                                           const base::FilePath& program)
    : naming_(naming), program_(program) {}

RemoveFirewallRulesOperation::~RemoveFirewallRulesOperation() = default;

bool RemoveFirewallRulesOperation::Do() {
  manager_ = FirewallManager::Create(naming_, program_);
  if (!manager_) {
    LOG(ERROR) << "Failed creating a FirewallManager.";
    return false;
  }
  had_rules_ = manager_->CountFirewallRules() != 0;
  return manager_->RemoveFirewallRules();
}

void RemoveFirewallRulesOperation::Rollback() {
  if (!manager_ || !had_rules_)
    return;
  had_rules_ = false;
  if (!manager_->AddFirewallRules())
    LOG(ERROR) << "Cannot restore the firewall rules of " << program_;
}

}  // namespace installer
