#include "catalogue/init_message.h"

#include <cstdint>

#include "catalogue/tweak_index.h"
#include "protocol/json_text.h"

namespace {

const char* Bool(bool value) { return value ? "true" : "false"; }

}  // namespace

std::string WriteCategoriesJson(const Catalogue& catalogue) {
  std::string out = "\"categories\":[";
  int32_t id = 0;
  for (size_t c = 0; c < catalogue.size(); ++c) {
    const Category& category = catalogue[c];
    if (c > 0) out += ',';
    out += "{\"key\":";
    out += JsonQuote(category.key);
    out += ",\"name\":";
    out += JsonQuote(category.name);
    out += ",\"tweaks\":[";
    for (size_t t = 0; t < category.tweaks.size(); ++t) {
      const Tweak& tweak = category.tweaks[t];
      if (t > 0) out += ',';
      out += "{\"id\":";
      out += std::to_string(id++);
      out += ",\"name\":";
      out += JsonQuote(tweak.name);
      out += ",\"recommended\":";
      out += Bool(tweak.recommended);
      out += ",\"warn\":";
      out += Bool(tweak.warn);
      out += '}';
    }
    out += "]}";
  }
  out += "]}";
  return out;
}

std::string WriteInitMessage(bool admin, const SystemInfo& info, std::string_view categoriesJson) {
  std::string out;
  out.reserve(256 + categoriesJson.size());
  const auto field = [&out](const char* key, const std::u16string& value) {
    out += key;
    out += '"';
    out += JsonEscape(Utf16ToUtf8(value));
    out += '"';
  };
  out += "{\"type\":\"init\",\"admin\":";
  out += Bool(admin);
  field(",\"system\":{\"os\":", info.os);
  field(",\"cpu\":", info.cpu);
  field(",\"gpu\":", info.gpu);
  field(",\"user\":", info.user);
  field(",\"host\":", info.host);
  out += "},";
  out += categoriesJson;
  return out;
}

std::string BuildInitMessage() {
  const SystemInfo info = ProbeSystem();
  return BuildInitMessage(IsElevated(), info);
}

std::string BuildInitMessage(bool admin, const SystemInfo& info) {
  // The catalogue part is written once per index: an index numbers one fixed
  // set of tweaks, and indexes are never freed, so its address names it.
  static const TweakIndex* writtenFor = nullptr;
  static std::string& categoriesJson = *new std::string();
  const TweakIndex& index = UpdateTweakIndex(g_catalogue);
  if (writtenFor != &index) {
    categoriesJson = WriteCategoriesJson(g_catalogue);
    writtenFor = &index;
  }
  return WriteInitMessage(admin, info, categoriesJson);
}
