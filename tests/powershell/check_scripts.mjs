// Parses PowerShell step scripts with the tree-sitter PowerShell grammar and
// fails on any ERROR or MISSING node.
//
//   node check_scripts.mjs [--expect-broken] SCRIPTS_FILE
//
// SCRIPTS_FILE holds one script a line as body_check writes it:
// "WHERE<tab>SCRIPT". Prints each failing script's place and the first broken
// spots, then "N passed, M failed". With --expect-broken every script must
// fail to parse (the check's own test: it can fail).
import { readFileSync } from "node:fs";
import Parser from "tree-sitter";
import PowerShell from "tree-sitter-powershell";

const expectBroken = process.argv[2] === "--expect-broken";
const file = process.argv[expectBroken ? 3 : 2];
if (!file) {
  console.error("usage: node check_scripts.mjs [--expect-broken] SCRIPTS_FILE");
  process.exit(2);
}

const parser = new Parser();
parser.setLanguage(PowerShell);

function brokenNodes(node, found) {
  if (node.type === "ERROR" || node.isMissing) found.push(node);
  if (node.hasError || node.isMissing) {
    for (const child of node.children) brokenNodes(child, found);
  }
  return found;
}

let passed = 0;
let failed = 0;
for (const line of readFileSync(file, "utf8").split("\n")) {
  if (line === "") continue;
  const tab = line.indexOf("\t");
  const where = line.slice(0, tab);
  const script = line.slice(tab + 1);
  // tree-sitter's string input reads at most 32 KiB at a time; a callback
  // hands it any length.
  const tree = parser.parse((index) => script.slice(index, index + 4096));
  const broken = brokenNodes(tree.rootNode, []);
  if (expectBroken) {
    if (broken.length === 0) console.log(`${where}: a broken script parsed without error`);
    broken.length === 0 ? failed++ : passed++;
    continue;
  }
  if (broken.length === 0) {
    passed++;
    continue;
  }
  failed++;
  console.log(`${where}: the script does not parse as PowerShell`);
  for (const node of broken.slice(0, 3)) {
    const kind = node.isMissing ? `MISSING ${node.type}` : "ERROR";
    console.log(`  ${kind} at column ${node.startIndex + 1}: ${script.slice(node.startIndex, node.startIndex + 80)}`);
  }
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 && passed > 0 ? 0 : 1);
