// Benchmarks of the web page: the image build in WebAssembly (plain and SIMD128, in Node) beside the native
// build's SSE2 and fastest loops, the time from load to the first frame, and frames per second in
// headless Chromium at detail levels 0 to 2. Prints a Markdown table for the README.
// Usage: node --experimental-websocket page_bench.js PAGE_DIR NATIVE_BUILD_DIR
'use strict';
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { launch, openPage } = require('../../tests/web/cdp.js');
const core = require('../../src/shell/web/orbivane-worker.js');

const [pageDir, nativeDir] = process.argv.slice(2);
const kRuns = 5;  // the fastest of this many builds counts
const cases = [[3, 1.0], [3, 1.4]];

function fastest(run) {
  let best = Infinity;
  for (let i = 0; i < kRuns; ++i) best = Math.min(best, run());
  return best;
}

function buildTimes() {
  const rows = [];
  const modules = ['orbivane-core', 'orbivane-core-simd128'].map((name) =>
    core.loadCore(fs.readFileSync(path.join(pageDir, name + '.wasm'))));
  for (const [view, detail] of cases) {
    const row = { view, detail };
    for (const m of modules) {
      row['wasm ' + m.kernel] = fastest(() => {
        const start = performance.now();
        m.core.orb_colour_digest(view, detail, 0, 1, -1);
        return performance.now() - start;
      });
    }
    for (const kernel of ['sse2', 'automatic']) {
      let name = kernel;
      row['native ' + kernel] = fastest(() => {
        const out = execFileSync(path.join(nativeDir, 'tools/tube/orbivane-tube'),
                                 ['--view', String(view), '--detail', String(detail), '--kernel', kernel]).toString();
        const found = /build ([\d.]+) ms \((\w+)\)/.exec(out);
        name = found[2];
        return Number(found[1]);
      });
      if (kernel === 'automatic') {
        row['native fastest (' + name + ')'] = row['native automatic'];
        delete row['native automatic'];
      }
    }
    rows.push(row);
  }
  return rows;
}

async function pageFigures() {
  const { browser, close } = await launch();
  const figures = { firstFrameMs: [], fps: {}, scriptMs: {} };
  try {
    const url = 'file://' + path.resolve(pageDir, 'index.html');
    const page = await openPage(browser, url, 800, 500);
    figures.renderer = await page.evaluate(`(() => {
      const gl = document.createElement('canvas').getContext('webgl');
      const info = gl.getExtension('WEBGL_debug_renderer_info');
      return info ? gl.getParameter(info.UNMASKED_RENDERER_WEBGL) : gl.getParameter(gl.RENDERER);
    })()`);
    for (let detail = 0; detail <= 2; ++detail) {
      await page.evaluate(`localStorage.setItem('orbivane.settings', JSON.stringify({ detail_level: ${detail} }))`);
      await page.send('Page.reload', {});
      await page.waitFor('self.orbivaneTest && orbivaneTest.ready() && orbivaneTest.stats.firstFrameMs >= 0');
      if (detail === 1) figures.firstFrameMs.push(await page.evaluate('(({ firstFrameMs, readyMs, startedMs, buildMs }) => [firstFrameMs, readyMs, startedMs, buildMs[0]])(orbivaneTest.stats)'));
      await page.waitFor('orbivaneTest.state().fade >= 1', 120);
      const before = await page.evaluate('[orbivaneTest.stats.frames, performance.now()]');
      await new Promise((resolve) => setTimeout(resolve, 5000));
      const after = await page.evaluate('[orbivaneTest.stats.frames, performance.now()]');
      figures.fps[detail] = (after[0] - before[0]) / ((after[1] - before[1]) / 1000);
      figures.scriptMs[detail] = await page.evaluate('orbivaneTest.stats.scriptMs');
    }
    await page.evaluate(`localStorage.removeItem('orbivane.settings')`);  // the default detail, 1
    for (let i = 0; i < 2; ++i) {
      await page.send('Page.reload', {});
      await page.waitFor('self.orbivaneTest && orbivaneTest.stats.firstFrameMs >= 0');
      figures.firstFrameMs.push(await page.evaluate('(({ firstFrameMs, readyMs, startedMs, buildMs }) => [firstFrameMs, readyMs, startedMs, buildMs[0]])(orbivaneTest.stats)'));
    }
  } finally {
    await close();
  }
  return figures;
}

(async () => {
  const rows = buildTimes();
  const columns = Object.keys(rows[0]);
  console.log('| ' + columns.join(' | ') + ' |');
  console.log('|' + columns.map(() => '---').join('|') + '|');
  for (const row of rows) console.log('| ' + columns.map((c) => (typeof row[c] === 'number' && c !== 'view' && c !== 'detail' ? row[c].toFixed(1) + ' ms' : row[c])).join(' | ') + ' |');
  const figures = await pageFigures();
  console.log(`\nrenderer: ${figures.renderer}`);
  console.log('first frame after load (detail 1): ' +
              figures.firstFrameMs.map(([t, ready, started, build]) => `${t.toFixed(0)} ms (module ready at ` +
                                       `${ready.toFixed(0)}, built at ${started.toFixed(0)}, the build ${build.toFixed(0)} ms)`)
                .join(', '));
  for (const [detail, fps] of Object.entries(figures.fps)) {
    console.log(`detail ${detail}: ${fps.toFixed(1)} frames/s, script ${figures.scriptMs[detail].toFixed(1)} ms a frame`);
  }
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
