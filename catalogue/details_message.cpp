#include "catalogue/details_message.h"

#include "catalogue/tweak_index.h"
#include "protocol/json_text.h"

std::string WriteDetailsMessage(const Catalogue& catalogue) {
  std::string out = "{\"type\":\"details\",\"tweaks\":[";
  int32_t id = 0;
  for (const Category& category : catalogue) {
    for (const Tweak& tweak : category.tweaks) {
      if (id > 0) out += ',';
      out += "{\"id\":" + std::to_string(id++);
      out += ",\"key\":" + JsonQuote(tweak.key);
      out += ",\"description\":" + JsonQuote(tweak.description);
      out += ",\"docs\":[";
      for (size_t i = 0; i < tweak.docs.size(); ++i) {
        if (i > 0) out += ',';
        out += JsonQuote(tweak.docs[i]);
      }
      out += "],\"steps\":[";
      for (size_t i = 0; i < tweak.steps.size(); ++i) {
        if (i > 0) out += ',';
        out += "{\"family\":" + JsonQuote(tweak.steps[i].family);
        out += ",\"summary\":" + JsonQuote(tweak.steps[i].summary) + '}';
      }
      out += "],\"reversible\":\"";
      out += TweakReversibility(tweak);
      out += "\",\"cost\":" + JsonQuote(tweak.cost);
      out += ",\"costText\":" + JsonQuote(tweak.costText) + '}';
    }
  }
  out += "]}";
  return out;
}

const std::string& BuildDetailsMessage() {
  // The first call numbers the catalogue as "init" does; the text is the same
  // for the life of the process.
  static const std::string& message = *new std::string([] {
    UpdateTweakIndex(g_catalogue);
    return WriteDetailsMessage(g_catalogue);
  }());
  return message;
}

std::optional<std::string> BuildScriptMessage(int32_t id) {
  UpdateTweakIndex(g_catalogue);
  const Tweak* tweak = id < 0 ? nullptr : TweakIndexAt(static_cast<size_t>(id));
  if (tweak == nullptr) return std::nullopt;
  return "{\"type\":\"script\",\"id\":" + std::to_string(id) + ",\"text\":" + JsonQuote(tweak->script) + '}';
}
