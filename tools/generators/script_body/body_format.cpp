#include "tools/generators/script_body/body_format.h"

std::string SeparatorLine() { return ":: " + std::string(kBannerWidth, '-'); }

std::string BannerLine(std::string_view title) {
  size_t dashes = title.size() < kBannerWidth ? kBannerWidth - title.size() : 0;
  size_t left = dashes / 2;
  return ":: " + std::string(left, '-') + std::string(title) + std::string(dashes - left, '-');
}

std::string CommentLine(std::string_view text) { return ":: " + std::string(text); }
