// libFuzzer target: any bytes as a journal file. Reading never crashes and
// never throws, and what it reads is written back as lines that read the same.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "journal/journal_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const JournalText journal = ReadJournal(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string lines = JournalLines(journal.runs);
  const JournalText again = ReadJournal(lines);
  if (again.damagedLines != 0 || again.tornTail || JournalLines(again.runs) != lines) __builtin_trap();
  return 0;
}
