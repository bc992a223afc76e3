#include "desktop/windows/installer/service/wmi_launch.h"

#include <windows.h>
#include <wbemidl.h>
#include <wrl/client.h>

#include "base/logging.h"
#include "base/win/scoped_bstr.h"
#include "base/win/scoped_variant.h"

namespace installer {

namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kNamespace[] = L"ROOT\\CIMV2";
constexpr wchar_t kProcessClass[] = L"Win32_Process";
constexpr wchar_t kCreateMethod[] = L"Create";

// Reads an integer property of a method's out-parameters.
bool GetUint32Property(IWbemClassObject* object, const wchar_t* name, uint32_t* value) {
  base::win::ScopedVariant property;
  if (FAILED(object->Get(name, 0, property.Receive(), nullptr, nullptr)))
    return false;
  base::win::ScopedVariant converted;
  if (FAILED(::VariantChangeType(converted.Receive(), property.AsInput(), 0, VT_UI4)))
    return false;
  *value = V_UI4(&converted.Get());
  return true;
}

}  // namespace

uint32_t LaunchProcessViaWmi(const std::wstring& command_line) {
  ComPtr<IWbemLocator> locator;
  HRESULT hr = ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<void**>(locator.GetAddressOf()));
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot create the WMI locator";
    return 0;
  }
  ComPtr<IWbemServices> services;
  base::win::ScopedBstr name_space(kNamespace);
  hr = locator->ConnectServer(name_space.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                              services.GetAddressOf());
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot connect to WMI namespace " << kNamespace;
    return 0;
  }
  // The service must act as the caller to start the process in the caller's name.
  hr = ::CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                           RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                           EOAC_NONE);
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot set the security of the WMI connection";
    return 0;
  }

  base::win::ScopedBstr class_name(kProcessClass);
  ComPtr<IWbemClassObject> process_class;
  hr = services->GetObject(class_name.Get(), 0, nullptr, process_class.GetAddressOf(), nullptr);
  ComPtr<IWbemClassObject> in_parameters_class;
  if (SUCCEEDED(hr)) {
    hr = process_class->GetMethod(kCreateMethod, 0, in_parameters_class.GetAddressOf(),
                                  nullptr);
  }
  ComPtr<IWbemClassObject> in_parameters;
  if (SUCCEEDED(hr))
    hr = in_parameters_class->SpawnInstance(0, in_parameters.GetAddressOf());
  if (SUCCEEDED(hr)) {
    base::win::ScopedVariant command(command_line);
    hr = in_parameters->Put(L"CommandLine", 0, command.AsInput(), 0);
  }
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot prepare Win32_Process.Create";
    return 0;
  }

  base::win::ScopedBstr method(kCreateMethod);
  ComPtr<IWbemClassObject> out_parameters;
  hr = services->ExecMethod(class_name.Get(), method.Get(), 0, nullptr, in_parameters.Get(),
                            out_parameters.GetAddressOf(), nullptr);
  if (FAILED(hr) || !out_parameters) {
    ELOG(ERROR, hr) << "Win32_Process.Create failed for " << command_line;
    return 0;
  }
  uint32_t return_value = 0;
  uint32_t process_id = 0;
  if (!GetUint32Property(out_parameters.Get(), L"ReturnValue", &return_value) ||
      return_value != 0) {
    LOG(ERROR) << "Win32_Process.Create returned " << return_value << " for " << command_line;
    return 0;
  }
  if (!GetUint32Property(out_parameters.Get(), L"ProcessId", &process_id) || process_id == 0) {
    LOG(ERROR) << "Win32_Process.Create gave no process id for " << command_line;
    return 0;
  }
  return process_id;
}

}  // namespace installer
