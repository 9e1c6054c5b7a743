// Writes the catalogue's tweak table as C++ source.
//
//   catalogue_table [--verbatim] <row list> <script source folder> <output .cpp>
//
// The row list holds one row a line: category key, flag letter (R, W or N),
// script source path under the source folder, and the name, which is the rest
// of the line. Lines starting with '#' and empty lines are skipped. Each
// row's script body is expanded from its source file by the step families
// (docs/script-source.md); with --verbatim, which the table writer's own tests
// use, a source is taken as the body unchanged. The table refers to the bodies
// and names as string literals, in row order.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/category_keys.h"
#include "tools/generators/script_body/script_body.h"
#include "tools/generators/script_body/step_records.h"

namespace {

struct Row {
  int category = 0;
  bool recommended = false;
  bool warn = false;
  std::string source;  // path under the script source folder
  std::string key;     // the source path without ".txt": the row's stable key
  std::string name;
};

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return std::nullopt;
  return text;
}

int CategoryIndex(std::string_view key) {
  for (size_t i = 0; i < kCategoryCount; ++i) {
    if (key == kCategoryKeys[i]) return static_cast<int>(i);
  }
  return -1;
}

bool HasControlByte(std::string_view text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// Splits off the text before the next space; the rest follows that space.
std::string_view TakeField(std::string_view& line) {
  const size_t space = line.find(' ');
  const std::string_view field = line.substr(0, space);
  line = space == std::string_view::npos ? std::string_view{} : line.substr(space + 1);
  return field;
}

// Parses the row list; on a malformed line, writes why to `error` and returns nothing.
std::optional<std::vector<Row>> ParseRows(std::string_view text, std::string& error) {
  std::vector<Row> rows;
  std::set<std::string, std::less<>> names;
  std::set<std::string, std::less<>> keys;
  size_t lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;

    const auto fail = [&](const std::string& why) {
      error = "line " + std::to_string(lineNumber) + ": " + why;
      return std::nullopt;
    };
    if (HasControlByte(line)) return fail("control character (tab or carriage return?)");
    Row row;
    const std::string_view key = TakeField(line);
    const std::string_view flag = TakeField(line);
    const std::string_view source = TakeField(line);
    row.category = CategoryIndex(key);
    if (row.category < 0) return fail("unknown category \"" + std::string(key) + "\"");
    if (flag == "R") {
      row.recommended = true;
    } else if (flag == "W") {
      row.warn = true;
    } else if (flag != "N") {
      return fail("flag must be R, W or N");
    }
    if (source.empty() || line.empty()) return fail("expected: <category> <flag> <script source> <name>");
    if (source.find("..") != std::string_view::npos || source.front() == '/' ||
        source.find('\\') != std::string_view::npos) {
      return fail("script source must be a path inside the source folder, with '/' between its parts");
    }
    constexpr std::string_view kSuffix = ".txt";
    if (source.size() <= kSuffix.size() || !source.ends_with(kSuffix)) return fail("script source must end in .txt");
    row.source = source;
    row.key = source.substr(0, source.size() - kSuffix.size());
    if (row.key.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_/") != std::string::npos) {
      return fail("a key (the script source without .txt) holds only a-z, 0-9, '-', '_' and '/': " + row.key);
    }
    row.name = line;
    if (!names.insert(row.name).second) return fail("name used twice: " + row.name);
    if (!keys.insert(row.key).second) return fail("key used twice: " + row.key);
    rows.push_back(std::move(row));
  }
  return rows;
}

// A C++ string literal holding exactly `bytes`, split into concatenated pieces
// after every line feed and at most every kPieceBytes, so that no piece is
// longer than a compiler accepts. Escapes are octal with three digits, which
// the next character can never extend; "??" is broken up so no trigraph forms.
std::string CppLiteral(std::string_view bytes, std::string_view indent) {
  constexpr size_t kPieceBytes = 512;
  std::string out = "\"";
  size_t inPiece = 0;
  char previous = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '?': out += previous == '?' ? "\\?" : "?"; break;
      default:
        if (u < 0x20 || u >= 0x7F) {
          char octal[5];
          std::snprintf(octal, sizeof octal, "\\%03o", u);
          out += octal;
        } else {
          out += c;
        }
    }
    previous = c;
    ++inPiece;
    if ((c == '\n' || inPiece == kPieceBytes) && i + 1 < bytes.size()) {
      out += "\"\n";
      out += indent;
      out += "\"";
      inPiece = 0;
      previous = 0;
    }
  }
  out += "\"";
  return out;
}

const char* UndoName(StepUndo undo) {
  switch (undo) {
    case StepUndo::kExact: return "StepUndo::kExact";
    case StepUndo::kNoChange: return "StepUndo::kNoChange";
    default: return "StepUndo::kNone";
  }
}

// The arrays of row i's model (its steps' parameters, its steps, its
// documentation titles); returns the span expressions that name them.
struct RowArrays {
  std::string docs = "{}";
  std::string steps = "{}";
};

RowArrays WriteRowArrays(std::ostringstream& out, size_t i, const RowRecord& record) {
  RowArrays names;
  for (size_t s = 0; s < record.steps.size(); ++s) {
    if (record.steps[s].params.empty()) continue;
    out << "constexpr StepParam kParams" << i << "_" << s << "[] = {\n";
    for (const SourceParam& param : record.steps[s].params) {
      out << "    {" << CppLiteral(param.name, "     ") << ", " << CppLiteral(param.value, "     ") << "},\n";
    }
    out << "};\n";
  }
  if (!record.steps.empty()) {
    out << "constexpr StepDef kSteps" << i << "[] = {\n";
    for (size_t s = 0; s < record.steps.size(); ++s) {
      const StepRecord& step = record.steps[s];
      out << "    {" << CppLiteral(step.family, "     ") << ", " << CppLiteral(step.summary, "     ") << ", "
          << UndoName(step.undo) << ", "
          << (step.params.empty() ? std::string("{}") : "kParams" + std::to_string(i) + "_" + std::to_string(s))
          << "},\n";
    }
    out << "};\n";
    names.steps = "kSteps" + std::to_string(i);
  }
  if (!record.docs.empty()) {
    out << "constexpr const char* kDocs" << i << "[] = {\n";
    for (const std::string& title : record.docs) out << "    " << CppLiteral(title, "    ") << ",\n";
    out << "};\n";
    names.docs = "kDocs" + std::to_string(i);
  }
  return names;
}

std::string WriteTable(const std::vector<Row>& rows, const std::vector<std::string>& bodies,
                       const std::vector<RowRecord>& records) {
  std::ostringstream out;
  out << "// Generated by tools/generators/catalogue_table from catalogue/tweaks.txt\n"
         "// and catalogue/scripts/. Edit those, not this file.\n\n"
         "#include \"catalogue/catalogue.h\"\n\n"
         "namespace {\n\n";
  std::vector<RowArrays> arrays;
  for (size_t i = 0; i < rows.size(); ++i) {
    out << "// " << rows[i].source << "\n"
        << "constexpr char kScript" << i << "[] =\n    " << CppLiteral(bodies[i], "    ") << ";\n";
    arrays.push_back(WriteRowArrays(out, i, records[i]));
    out << "\n";
  }
  out << "constexpr TweakDef kRows[] = {\n";
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    const RowRecord& record = records[i];
    out << "    {" << CppLiteral(row.name, "     ") << ", " << row.category << ", kScript" << i << ", "
        << (row.recommended ? 1 : 0) << ", " << (row.warn ? 1 : 0) << ",\n     " << CppLiteral(row.key, "     ")
        << ",\n     " << CppLiteral(record.description, "     ") << ",\n     " << arrays[i].docs << ", "
        << CppLiteral(record.cost, "     ") << ", " << CppLiteral(record.costText, "     ") << ", " << arrays[i].steps
        << "},\n";
  }
  out << "};\n\n"
         "}  // namespace\n\n"
         "const std::span<const TweakDef> kTweakDefs{kRows};\n";
  return out.str();
}

}  // namespace

int main(int argc, char** argv) {
  const bool verbatim = argc == 5 && std::string_view(argv[1]) == "--verbatim";
  if (argc != 4 && !verbatim) {
    std::cerr << "usage: catalogue_table [--verbatim] <row list> <script source folder> <output .cpp>\n";
    return 2;
  }
  const std::string rowList = argv[argc - 3];
  const std::string sourceFolder = argv[argc - 2];
  const std::string outputPath = argv[argc - 1];

  const std::optional<std::string> rowText = ReadFile(rowList);
  if (!rowText) {
    std::cerr << rowList << ": cannot read\n";
    return 1;
  }
  std::string error;
  const std::optional<std::vector<Row>> rows = ParseRows(*rowText, error);
  if (!rows) {
    std::cerr << rowList << ": " << error << "\n";
    return 1;
  }
  if (rows->empty()) {
    std::cerr << rowList << ": no rows\n";
    return 1;
  }

  std::vector<std::string> bodies;
  std::vector<RowRecord> records;
  bodies.reserve(rows->size());
  records.reserve(rows->size());
  for (const Row& row : *rows) {
    const std::string path = sourceFolder + "/" + row.source;
    const std::optional<std::string> source = ReadFile(path);
    if (!source) {
      std::cerr << path << ": cannot read the script source of \"" << row.name << "\"\n";
      return 1;
    }
    if (source->find('\0') != std::string::npos) {
      std::cerr << path << ": a script source holds no NUL byte\n";
      return 1;
    }
    // A row whose source is still empty has an empty script, which the runner
    // refuses and a run reports as failed.
    if (verbatim || source->empty()) {
      bodies.push_back(*source);
      records.emplace_back();
      continue;
    }
    std::string expandError;
    std::string body = ExpandScriptSource(*source, &expandError);
    if (!expandError.empty()) {
      std::cerr << path << ": " << expandError << "\n";
      return 1;
    }
    RowRecord record = DescribeRow(*source);
    // The page names every row's cost before anything runs.
    if (record.cost.empty() || record.costText.empty()) {
      std::cerr << path << ": a catalogue row needs \"cost:\" and \"cost-ru:\" lines\n";
      return 1;
    }
    bodies.push_back(std::move(body));
    records.push_back(std::move(record));
  }

  const std::string table = WriteTable(*rows, bodies, records);
  std::ofstream out(outputPath, std::ios::binary | std::ios::trunc);
  out << table;
  out.close();
  if (!out) {
    std::cerr << outputPath << ": cannot write\n";
    return 1;
  }
  return 0;
}
