// Prints, one a line, each interface id and method slot of abi_list.h as
// host/webview2.h declares them; abi_sdk.c prints the same from Microsoft's
// WebView2.h, and the release tier compares the two.
#include <cstddef>
#include <cstdio>

#include "host/webview2.h"

namespace {

void PrintId(const char* name, const GUID& id) {
  std::printf("%s %08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X\n", name, id.Data1, id.Data2, id.Data3, id.Data4[0],
              id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
}

}  // namespace

int main() {
#define QF_ABI_ID(I) PrintId(#I, __uuidof(I));
#define QF_ABI_SLOT(I, method) std::printf("%s.%s %zu\n", #I, #method, offsetof(I##Vtbl, method) / sizeof(void*));
#include "tests/webview2_abi/abi_list.h"
  return 0;
}
