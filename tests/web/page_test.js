// The web page's tests: its modules' colours against the native build's, its frames against
// orbivane-render's OSMesa frames, and the page itself (offline, settings, full screen, image changes).
// Usage: node --experimental-websocket page_test.js colours|pixels|page PAGE_DIR NATIVE_BUILD_DIR
'use strict';
const assert = require('assert');
const { execFileSync } = require('child_process');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const zlib = require('zlib');
const { launch, openPage } = require('./cdp.js');

const [what, pageDir, nativeDir] = process.argv.slice(2);
const core = require(path.resolve(__dirname, '../../src/shell/web/orbivane-worker.js'));
const pageUrl = 'file://' + path.resolve(pageDir, 'index.html');
if (!fs.existsSync(path.join(pageDir, 'index.html'))) {
  console.log(`skipped: no page in ${pageDir} (scripts/build.sh web makes it)`);
  process.exit(77);
}
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'orbivane-web-test-'));

// FNV-1a over every vertex's colour bytes, from orbivane-tube's CSV (columns index, red, green, blue, ...).
function nativeColourDigest(view, detail, draw, bake) {
  const csv = path.join(work, 'tube.csv');
  execFileSync(path.join(nativeDir, 'tools/tube/orbivane-tube'),
               ['--view', String(view), '--detail', String(detail), '--draw', String(draw), '--kernel', 'scalar',
                ...(bake ? [] : ['--no-bake']), '--csv', csv], { stdio: 'ignore' });
  let hash = 2166136261;
  for (const line of fs.readFileSync(csv, 'latin1').split('\n')) {
    const fields = line.split(',');
    if (fields.length < 4 || !/^\d+$/.test(fields[0])) continue;
    for (let i = 1; i <= 3; ++i) hash = Math.imul(hash ^ Number(fields[i]), 16777619) >>> 0;
  }
  return hash;
}

function testColours() {
  const modules = ['orbivane-core', 'orbivane-core-simd128'].map((name) =>
    core.loadCore(fs.readFileSync(path.join(pageDir, name + '.wasm'))));
  assert.strictEqual(modules[1].kernel, 'simd128');
  // Views, size factors (the detail levels' 0.6 and 1.4 among them), generator draws and the baked light.
  const cases = [[0, 1.0, 0, 1], [1, 0.6, 7, 1], [2, 1.4, 12345, 1], [3, 1.0, 1, 0], [4, 0.8, 32767, 1]];
  for (const [view, detail, draw, bake] of cases) {
    const expected = nativeColourDigest(view, detail, draw, bake);
    for (const module of modules) {
      const got = module.core.orb_colour_digest(view, detail, draw, bake, -1) >>> 0;
      assert.strictEqual(got, expected, `view ${view} at ${detail}, draw ${draw}, ${module.kernel}`);
    }
  }
  console.log(`colours: ${cases.length} builds equal in both modules and the native scalar build`);
}

// The RGBA pixels of one of orbivane-render's PNG files (8-bit RGB or RGBA, any row filters).
function readPng(file) {
  const data = fs.readFileSync(file);
  let at = 8, width = 0, height = 0, channels = 0;
  const idat = [];
  while (at < data.length) {
    const length = data.readUInt32BE(at), type = data.toString('latin1', at + 4, at + 8);
    const body = data.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      channels = { 2: 3, 6: 4 }[body[9]];
      assert.ok(body[8] === 8 && channels, 'an 8-bit RGB or RGBA PNG');
    } else if (type === 'IDAT') {
      idat.push(body);
    }
    at += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = width * channels;
  const rows = Buffer.alloc(stride * height);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    for (let x = 0; x < stride; ++x) {
      const value = raw[y * (stride + 1) + 1 + x];
      const a = x >= channels ? rows[y * stride + x - channels] : 0;
      const b = y > 0 ? rows[(y - 1) * stride + x] : 0;
      const c = x >= channels && y > 0 ? rows[(y - 1) * stride + x - channels] : 0;
      const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      const predictor = [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c][filter];
      rows[y * stride + x] = (value + predictor) & 0xff;
    }
  }
  const rgba = Buffer.alloc(width * height * 4);
  for (let i = 0; i < width * height; ++i) {
    for (let e = 0; e < 3; ++e) rgba[i * 4 + e] = rows[i * channels + e];
    rgba[i * 4 + 3] = 255;
  }
  return { width, height, rgba };
}

// The sweep: views, ticks (the fade in at 10..90, faded in from 100), light on and off, one and two
// sides, gloss, light distance and quick draw. Values are stored settings.
const kSweep = [
  { view: 0, ticks: 120, seed: 1, values: { light_source: 1 } },
  { view: 1, ticks: 150, seed: 2, values: { light_source: 1, light_2_sides: 0 } },
  { view: 2, ticks: 100, seed: 3, values: { light_source: 1, gloss_level: 10, light_distance: 20 } },
  { view: 3, ticks: 130, seed: 4, values: { light_source: 1, gloss_level: 5, light_distance: 300, light_2_sides: 0 } },
  { view: 4, ticks: 110, seed: 5, values: { light_source: 0 } },
  { view: 0, ticks: 140, seed: 6, values: { light_source: 1, quick_draw: 0, transp_level: 30 } },
  { view: 3, ticks: 105, seed: 7, values: { light_source: 0, quick_draw: 0 } },
  { view: 1, ticks: 50, seed: 8, values: { light_source: 1, gloss_level: 3 } },
  { view: 2, ticks: 120, seed: 9, values: { light_source: 2, gloss_random: 1, palette_type: 1 } },
];

// Limits per frame: the mean difference per channel, and the share of pixels with a channel more than
// 2/255 off. The quads here are one to three pixels wide, and SwiftShader and Mesa give a pixel on a
// quad's edge to different quads now and then (0.4 to 1.4% of the pixels in this sweep); everything
// else agrees within 1/255 or 2/255.
const kMeanLimit = 0.5;
const kShareLimit = 0.02;

async function testPixels() {
  const { browser, close } = await launch();
  let worstMean = 0, worstShare = 0;
  const failed = [];
  try {
    const page = await openPage(browser, pageUrl, 400, 250);
    await page.waitFor('self.orbivaneTest && orbivaneTest.ready()');
    for (const [index, sweep] of kSweep.entries()) {
      const values = Object.assign({ detail_level: 0 }, sweep.values);
      const settingsFile = path.join(work, 'settings');
      fs.writeFileSync(settingsFile, Object.entries(values).map(([k, v]) => `${k}=${v}\n`).join(''));
      const png = path.join(work, `frame-${index}.png`);
      execFileSync(path.join(nativeDir, 'tools/render/orbivane-render'),
                   ['--view', String(sweep.view), '--ticks', String(sweep.ticks), '--seed', String(sweep.seed),
                    '--size', '400x250', '--settings', settingsFile, '--out', png]);
      const expected = readPng(png);
      const frame = await page.evaluate(`orbivaneTest.render(${JSON.stringify({
        view: sweep.view, ticks: sweep.ticks, seed: sweep.seed, values, width: 400, height: 250 })})`);
      const got = Buffer.from(frame.rgba, 'base64');
      let sum = 0, beyond = 0;
      const pixels = expected.width * expected.height;
      for (let i = 0; i < pixels; ++i) {
        let worst = 0;
        for (let e = 0; e < 3; ++e) {
          const d = Math.abs(got[i * 4 + e] - expected.rgba[i * 4 + e]);
          sum += d;
          worst = Math.max(worst, d);
        }
        if (worst > 2) ++beyond;
      }
      const mean = sum / (pixels * 3), share = beyond / pixels;
      worstMean = Math.max(worstMean, mean);
      worstShare = Math.max(worstShare, share);
      console.log(`pixels: ${JSON.stringify(sweep)}: mean ${(mean).toFixed(3)}/255, ` +
                  `${(share * 100).toFixed(3)}% beyond 2/255 (fade ${frame.state.fade.toFixed(2)}, ` +
                  `lit ${frame.state.lightingOn})`);
      if (process.env.ORBIVANE_WEB_FRAMES) {
        fs.copyFileSync(png, path.join(process.env.ORBIVANE_WEB_FRAMES, `desktop-${index}.png`));
        fs.writeFileSync(path.join(process.env.ORBIVANE_WEB_FRAMES, `page-${index}.rgba`), got);
      }
      if (!(mean <= kMeanLimit && share <= kShareLimit)) failed.push(index);
    }
    assert.deepStrictEqual(failed, [], 'frames that differ too much');
    assert.deepStrictEqual(page.errors, []);

    // The same pixels from the three ways of handing over the indices (the plain module for the others).
    const request = JSON.stringify(Object.assign({ width: 400, height: 250 }, kSweep[5],
                                                 { values: Object.assign({ detail_level: 1 }, kSweep[5].values) }));
    const reference = await page.evaluate(`orbivaneTest.render(${request})`);
    assert.strictEqual(reference.indexPath, 'ranges');
    for (const indices of ['list', '16']) {
      const other = await openPage(browser, pageUrl + `?indices=${indices}&kernel=scalar`, 400, 250);
      await other.waitFor('self.orbivaneTest && orbivaneTest.ready()');
      const frame = await other.evaluate(`orbivaneTest.render(${request})`);
      assert.strictEqual(frame.indexPath, indices === '16' ? 'cut' : 'list');
      assert.ok(frame.rgba === reference.rgba, `${frame.indexPath} draws the same pixels as ranges`);
      assert.deepStrictEqual(other.errors, []);
    }
  } finally {
    await close();
  }
  console.log(`pixels: worst mean ${worstMean.toFixed(3)}/255, worst share beyond 2/255 ${(worstShare * 100).toFixed(3)}%`);
}

const kTypes = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm' };

async function testPage() {
  const { browser, close } = await launch();
  try {
    const page = await openPage(browser, pageUrl, 640, 400);
    // From file://, a frame of the first image at the default detail, with no console errors.
    await page.waitFor('self.orbivaneTest && orbivaneTest.ready() && orbivaneTest.state().fade > 0');
    const stats = await page.evaluate('orbivaneTest.stats');
    console.log(`page: first frame ${stats.firstFrameMs.toFixed(0)} ms after load, kernel ${stats.kernel}`);

    // Full screen from the button, and back.
    await page.evaluate(`document.getElementById('fullscreen').click()`, true);
    await page.waitFor('document.fullscreenElement !== null', 10);
    await page.evaluate(`document.getElementById('fullscreen').click()`, true);
    await page.waitFor('document.fullscreenElement === null', 10);

    // The image changes: past the interval and the fade out, the next image is built and faded in.
    const first = await page.evaluate('orbivaneTest.state()');
    await page.evaluate('orbivaneTest.skip(' + (first.interval + 1) + ')');
    await page.waitFor(`orbivaneTest.state().imageSerial !== ${first.imageSerial} && orbivaneTest.state().fade > 0`);
    const second = await page.evaluate('orbivaneTest.state()');
    assert.notStrictEqual(second.image, first.image);
    assert.strictEqual(await page.evaluate('orbivaneTest.drawnSerial()'), second.imageSerial);

    // Every setting the table has is in the panel; each one changed is stored, and restored by a reload.
    const table = await page.evaluate('orbivaneTest.table()');
    assert.strictEqual(table.length, 18, 'the panel has the table\'s 13 settings and 5 image switches');
    const changed = {};
    for (const row of table) {
      changed[row.name] = row.def === row.high ? row.low : row.high;
      await page.evaluate(`(() => {
        const input = document.querySelector('#settings-rows [name="${row.name}"]');
        if (input.type === 'checkbox') input.checked = ${changed[row.name]} !== 0;
        else input.value = '${changed[row.name]}';
        input.dispatchEvent(new Event('input'));
      })()`);
    }
    assert.deepStrictEqual(await page.evaluate('orbivaneTest.settings()'), changed);
    await page.send('Page.reload', {});
    await page.waitFor('self.orbivaneTest && orbivaneTest.table().length > 0');
    assert.deepStrictEqual(await page.evaluate('orbivaneTest.settings()'), changed);
    assert.deepStrictEqual(await page.evaluate(`Object.fromEntries([...document.querySelectorAll('#settings-rows [name]')]
      .map((i) => [i.name, i.type === 'checkbox' ? (i.checked ? 1 : 0) : Number(i.value)]))`), changed);
    await page.evaluate(`document.getElementById('reset').click()`);
    const defaults = Object.fromEntries(table.map((row) => [row.name, row.def]));
    assert.deepStrictEqual(await page.evaluate('orbivaneTest.settings()'), defaults);

    assert.deepStrictEqual(page.errors, []);

    // The same page from a plain static web server draws too, without console errors.
    const server = http.createServer((request, response) => {
      const file = path.join(pageDir, path.normalize(decodeURIComponent(request.url.split('?')[0])).replace(/^\/*$/, '/index.html'));
      fs.readFile(file, (error, data) => {
        response.writeHead(error ? 404 : 200, { 'Content-Type': kTypes[path.extname(file)] || 'application/octet-stream' });
        response.end(error ? '' : data);
      });
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    try {
      const served = await openPage(browser, `http://127.0.0.1:${server.address().port}/`, 640, 400);
      await served.waitFor('self.orbivaneTest && orbivaneTest.ready() && orbivaneTest.state().fade > 0');
      assert.deepStrictEqual(served.errors, []);
    } finally {
      server.close();
    }
  } finally {
    await close();
  }
  console.log('page: offline load, a static host, settings stored and restored, full screen and image change work');
}

(async () => {
  try {
    if (what === 'colours') testColours();
    else if (what === 'pixels') await testPixels();
    else if (what === 'page') await testPage();
    else throw new Error('unknown test ' + what);
  } finally {
    fs.rmSync(work, { recursive: true, force: true });
  }
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
