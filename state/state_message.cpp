#include "state/state_message.h"

#include "protocol/json_text.h"

std::string WriteStateMessage(const Catalogue& catalogue, const Machine& machine) {
  std::string out = "{\"type\":\"state\",\"tweaks\":[";
  int32_t id = 0;
  for (const Category& category : catalogue) {
    for (const Tweak& tweak : category.tweaks) {
      const TweakCheck check = CheckTweak(tweak, machine);
      if (id > 0) out += ',';
      out += '[' + std::to_string(id++) + ",\"" + TweakStateWord(check.state) + "\"," + std::to_string(check.done) +
             ',' + std::to_string(check.total) + ']';
    }
  }
  out += "]}";
  return out;
}

std::string WriteStepStateMessage(int32_t id, const TweakCheck& check) {
  std::string out = "{\"type\":\"stepstate\",\"id\":" + std::to_string(id) + ",\"state\":\"" +
                    TweakStateWord(check.state) + "\",\"done\":" + std::to_string(check.done) +
                    ",\"total\":" + std::to_string(check.total) + ",\"steps\":[";
  for (size_t i = 0; i < check.steps.size(); ++i) {
    if (i > 0) out += ',';
    out += std::string("{\"state\":\"") + StepStateWord(check.steps[i].state) +
           "\",\"reason\":" + JsonQuote(check.steps[i].reason) + '}';
  }
  out += "]}";
  return out;
}
