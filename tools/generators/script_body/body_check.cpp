// body_check: expands row sources (or reads finished bodies) and runs the body
// linter over each; optionally writes every decoded PowerShell step script to
// a file, one "FILE:LINE<tab>SCRIPT" a line, for the PowerShell grammar check.
//
//   body_check [--bodies] [--scripts OUT] FILE...
//   body_check --print SOURCE      writes the source's body to standard output
//
// Exit code 0 when every file expanded and linted clean, 1 otherwise, 2 on a
// usage error.

#include "tools/generators/script_body/body_lint.h"
#include "tools/generators/script_body/script_body.h"

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  bool bodies = false;
  std::string scripts_path;
  std::vector<std::string> files;
  if (argc == 3 && std::string(argv[1]) == "--print") {
    std::ifstream in(argv[2], std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    std::string error;
    std::string body = ExpandScriptSource(content.str(), &error);
    if (!in || body.empty()) {
      std::cerr << argv[2] << ": " << (in ? error : "cannot be read") << "\n";
      return 1;
    }
    std::cout << body;
    return 0;
  }
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--bodies") {
      bodies = true;
    } else if (arg == "--scripts" && i + 1 < argc) {
      scripts_path = argv[++i];
    } else if (!arg.empty() && arg[0] == '-') {
      std::cerr << "usage: body_check [--bodies] [--scripts OUT] FILE... | body_check --print SOURCE\n";
      return 2;
    } else {
      files.push_back(arg);
    }
  }
  std::ofstream scripts;
  if (!scripts_path.empty()) {
    scripts.open(scripts_path, std::ios::binary);
    if (!scripts) {
      std::cerr << "cannot write " << scripts_path << "\n";
      return 2;
    }
  }
  int failed = 0;
  size_t step_count = 0;
  for (const std::string& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    if (!in) {
      std::cerr << file << ": cannot be read\n";
      ++failed;
      continue;
    }
    std::string body = content.str();
    if (!bodies) {
      std::string error;
      body = ExpandScriptSource(content.str(), &error);
      if (body.empty()) {
        std::cerr << file << ": " << error << "\n";
        ++failed;
        continue;
      }
    }
    std::vector<LintProblem> problems = LintBody(body);
    if (!problems.empty()) {
      std::istringstream lines(FormatProblems(problems));
      for (std::string line; std::getline(lines, line);) std::cerr << file << " (body): " << line << "\n";
      ++failed;
    }
    for (const StepScript& step : StepScripts(body)) {
      ++step_count;
      if (scripts.is_open()) scripts << file << ':' << step.line << '\t' << step.script << '\n';
    }
  }
  std::cout << files.size() << " bodies, " << step_count << " PowerShell steps: " << (files.size() - failed)
            << " passed, " << failed << " failed\n";
  return failed == 0 ? 0 : 1;
}
