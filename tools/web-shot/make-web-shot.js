// Takes the README's picture of the web page: headless Chromium on build/web/page showing the frame of
// the README's view 0, with the settings panel open. Usage: node --experimental-websocket make-web-shot.js [OUT.png]
'use strict';
const fs = require('fs');
const path = require('path');
const { launch, openPage } = require('../../tests/web/cdp.js');

const root = path.resolve(__dirname, '../..');
const out = process.argv[2] || path.join(root, 'docs/images/web-page.png');

(async () => {
  const { browser, close } = await launch();
  try {
    const page = await openPage(browser, 'file://' + path.join(root, 'build/web/page/index.html'), 1100, 620);
    await page.waitFor('self.orbivaneTest && orbivaneTest.ready()', 120);
    // The frame of the README's view 0 (as tools/render/make-readme-images.sh renders it), filling the page.
    await page.evaluate(`orbivaneTest.render({ view: 0, ticks: 120, seed: 2, values: { detail_level: 2 },
                                               width: 1100, height: 620 })`);
    await page.evaluate(`document.getElementById('settings-button').click()`);
    await page.waitFor(`!document.getElementById('settings').hidden`);
    const shot = await page.send('Page.captureScreenshot', { format: 'png' });
    if (page.errors.length > 0) throw new Error('the page reported errors: ' + page.errors.join('; '));
    fs.writeFileSync(out, Buffer.from(shot.data, 'base64'));
    console.log('web-shot: wrote ' + out);
  } finally {
    await close();
  }
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
