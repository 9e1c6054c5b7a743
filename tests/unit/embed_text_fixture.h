#pragma once
// embed_text_fixture.bin embedded by the embed_text generator: every byte value
// 0-255, escapes, trigraph-like text, CR, UTF-8 and no final line feed.

#include <cstddef>

extern const char kEmbedFixture[];
extern const std::size_t kEmbedFixtureSize;
