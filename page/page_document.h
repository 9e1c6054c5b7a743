#pragma once
// The page document (page/index.html): one self-contained UTF-8 HTML text with
// its styles and script, embedded at build time. The host converts it to
// UTF-16 and hands it to the web view; nothing is read from disk at run time.

#include <cstddef>

// The document's bytes. kPageDocumentSize counts them all; the array carries
// one more, a terminating NUL that is not part of the document.
extern const char kPageDocument[];
extern const std::size_t kPageDocumentSize;
