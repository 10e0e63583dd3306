#!/usr/bin/env node
// Validates one .glb or .gltf file with the pinned gltf-validator and prints
// its report summary as JSON on stdout: {"errors": N, "warnings": N,
// "infos": N, "messages": [...]}. Exit status 0 when there are no errors,
// 1 when there are, 2 when the file cannot be read.
'use strict';
const fs = require('fs');
const path = require('path');
const validator = require('gltf-validator');

const file = process.argv[2];
if (!file) {
  console.error('usage: validate.js FILE.glb|FILE.gltf');
  process.exit(2);
}
let bytes;
try {
  bytes = new Uint8Array(fs.readFileSync(file));
} catch (e) {
  console.error(`Error: ${file}: ${e.message}`);
  process.exit(2);
}
const dir = path.dirname(path.resolve(file));
validator.validateBytes(bytes, {
  uri: path.basename(file),
  maxIssues: 200,
  externalResourceFunction: (uri) =>
    new Promise((resolve, reject) => {
      fs.readFile(path.join(dir, decodeURIComponent(uri)), (err, data) => {
        if (err) reject(err.toString());
        else resolve(new Uint8Array(data));
      });
    }),
}).then((report) => {
  const issues = report.issues;
  const summary = {
    errors: issues.numErrors,
    warnings: issues.numWarnings,
    infos: issues.numInfos,
    messages: issues.messages.map((m) => ({
      code: m.code, severity: m.severity, message: m.message, pointer: m.pointer || null,
    })),
  };
  console.log(JSON.stringify(summary));
  process.exit(issues.numErrors > 0 ? 1 : 0);
}, (err) => {
  console.error(`Error: ${file}: ${err}`);
  process.exit(2);
});
