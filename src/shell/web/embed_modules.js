// Writes the page's module script: the version and both WebAssembly modules as base64 text, so that
// the page needs no fetch (browsers refuse fetches from file://).
// Usage: node embed_modules.js OUT.js VERSION PLAIN.wasm SIMD128.wasm
'use strict';
const fs = require('fs');
const [out, version, plain, simd] = process.argv.slice(2);
const text = 'self.orbivaneModules = ' + JSON.stringify({
  version,
  plain: fs.readFileSync(plain).toString('base64'),
  simd128: fs.readFileSync(simd).toString('base64'),
}) + ';\n';
fs.writeFileSync(out, text);
