/* Prints what abi_ours.cpp prints, from Microsoft's WebView2.h in its C form
   (CINTERFACE: each interface a table of function pointers, as COM lays it
   out). Built by the release tier, which restores the SDK. */
#define CINTERFACE
#include <stddef.h>
#include <stdio.h>
#include <windows.h>

#include "WebView2.h"

static void PrintId(const char* name, const GUID* id) {
  printf("%s %08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X\n", name, id->Data1, id->Data2, id->Data3, id->Data4[0],
         id->Data4[1], id->Data4[2], id->Data4[3], id->Data4[4], id->Data4[5], id->Data4[6], id->Data4[7]);
}

int main(void) {
#define QF_ABI_ID(I) PrintId(#I, &IID_##I);
#define QF_ABI_SLOT(I, method) printf("%s.%s %zu\n", #I, #method, offsetof(I##Vtbl, method) / sizeof(void*));
#include "tests/webview2_abi/abi_list.h"
  return 0;
}
