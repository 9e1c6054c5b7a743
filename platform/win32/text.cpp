#include "platform/text.h"

#include <windows.h>

#include <climits>

namespace platform {

std::u16string Utf8ToUtf16(std::string_view utf8) {
  if (utf8.empty() || utf8.size() > static_cast<size_t>(INT_MAX)) return {};
  const int inLen = static_cast<int>(utf8.size());
  const int outLen = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), inLen, nullptr, 0);
  if (outLen <= 0) return {};
  std::u16string out(static_cast<size_t>(outLen), u'\0');
  const int written =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), inLen, reinterpret_cast<wchar_t*>(out.data()), outLen);
  if (written <= 0) return {};
  out.resize(static_cast<size_t>(written));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  if (utf16.empty() || utf16.size() > static_cast<size_t>(INT_MAX)) return {};
  const auto* in = reinterpret_cast<const wchar_t*>(utf16.data());
  const int inLen = static_cast<int>(utf16.size());
  const int outLen = WideCharToMultiByte(CP_UTF8, 0, in, inLen, nullptr, 0, nullptr, nullptr);
  if (outLen <= 0) return {};
  std::string out(static_cast<size_t>(outLen), '\0');
  const int written = WideCharToMultiByte(CP_UTF8, 0, in, inLen, out.data(), outLen, nullptr, nullptr);
  if (written <= 0) return {};
  out.resize(static_cast<size_t>(written));
  return out;
}

}  // namespace platform
