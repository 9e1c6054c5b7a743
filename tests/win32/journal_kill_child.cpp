// The child of the journal's kill test: runs the tweaks whose ids it is
// given, journaled in the folder it is given, and ends its own process the
// hard way right after the third tweak's lines have run, before that tweak's
// outcome is written.
//   journal_kill_child.exe FOLDER ID...
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "catalogue/tweak_index.h"
#include "run/batch_runner.h"
#include "run/optimize_run.h"
#include "step_lines.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  g_catalogue = BuildCatalogue();
  UpdateTweakIndex(g_catalogue);
  std::vector<int32_t> ids;
  for (int i = 2; i < argc; ++i) ids.push_back(static_cast<int32_t>(std::wcstol(argv[i], nullptr, 10)));
  int ran = 0;
  RunSeams seams;
  seams.runScript = [&ran](const char* script) {
    for (size_t id = 0; id < TweakIndexSize(); ++id) {
      const Tweak* tweak = TweakIndexAt(id);
      if (tweak->script.c_str() != script) continue;
      const BatchResult result = RunBatchScript(StepLines(*tweak, ToolFolder()).c_str());
      if (++ran == 3) TerminateProcess(GetCurrentProcess(), 3);
      return result;
    }
    return BatchResult{};
  };
  const std::wstring folder = argv[1];
  seams.journalFolder = std::u16string(folder.begin(), folder.end());
  seams.machine = SystemMachine;
  OptimizeRunWith(ids, seams);
  return 0;
}
