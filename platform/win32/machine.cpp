#include "platform/machine.h"

#include <windows.h>

#include <dxgi.h>

#include <cwchar>

#include "platform/win32/system_library.h"

namespace platform {

namespace {

// IID_IDXGIFactory, spelled out so that no GUID library is needed.
constexpr GUID kIidDxgiFactory = {0x7b7166ec, 0x21c7, 0x44ae, {0xb2, 0x1a, 0xc9, 0xae, 0x32, 0x1a, 0xe3, 0x69}};

constexpr DWORD kNameUnits = 256;

std::u16string Units(const wchar_t* text, size_t capacity) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), wcsnlen(text, capacity));
}

}  // namespace

std::vector<DisplayAdapter> DisplayAdapters() {
  const auto createFactory = SystemFunction<decltype(&CreateDXGIFactory)>(L"dxgi.dll", "CreateDXGIFactory");
  IDXGIFactory* factory = nullptr;
  if (createFactory == nullptr || FAILED(createFactory(kIidDxgiFactory, reinterpret_cast<void**>(&factory))) ||
      !factory) {
    return {};
  }
  std::vector<DisplayAdapter> adapters;
  // Ends at DXGI_ERROR_NOT_FOUND, or at any other failure.
  for (UINT index = 0;; ++index) {
    IDXGIAdapter* adapter = nullptr;
    if (FAILED(factory->EnumAdapters(index, &adapter)) || !adapter) break;
    DXGI_ADAPTER_DESC desc{};
    const HRESULT described = adapter->GetDesc(&desc);
    adapter->Release();
    if (FAILED(described)) continue;
    adapters.push_back(DisplayAdapter{
        .vendorId = desc.VendorId,
        .dedicatedVideoMemory = desc.DedicatedVideoMemory,
        .description = Units(desc.Description, sizeof desc.Description / sizeof desc.Description[0]),
    });
  }
  factory->Release();
  return adapters;
}

std::u16string UserName() {
  wchar_t buffer[kNameUnits] = {};
  DWORD size = kNameUnits;
  if (!GetUserNameW(buffer, &size)) return {};
  return Units(buffer, kNameUnits);
}

std::u16string ComputerName() {
  wchar_t buffer[kNameUnits] = {};
  DWORD size = kNameUnits;
  if (!GetComputerNameW(buffer, &size)) return {};
  return Units(buffer, kNameUnits);
}

bool ProcessIsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD returned = 0;
  if (!GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &returned)) {
    elevation.TokenIsElevated = 0;
  }
  CloseHandle(token);
  return elevation.TokenIsElevated != 0;
}

}  // namespace platform
