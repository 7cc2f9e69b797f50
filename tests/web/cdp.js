// Headless Chromium for the page's tests and benchmarks: starts the browser with SwiftShader's WebGL,
// opens a page and talks to it over the DevTools protocol (Node's own WebSocket).
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const kFlags = ['--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
                '--ignore-gpu-blocklist', '--no-first-run', '--no-default-browser-check', '--disable-extensions',
                '--mute-audio', '--remote-debugging-port=0'];

// Starts Chromium with a fresh profile; resolves with { browser, close }.
async function launch(extraFlags = []) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'orbivane-chromium-'));
  const child = spawn(process.env.CHROMIUM || 'chromium', [...kFlags, ...extraFlags, '--user-data-dir=' + profile,
                                                            'about:blank'], { stdio: ['ignore', 'ignore', 'pipe'] });
  const url = await new Promise((resolve, reject) => {
    let text = '';
    child.stderr.on('data', (chunk) => {
      text += chunk;
      const found = /DevTools listening on (ws:\/\/\S+)/.exec(text);
      if (found) resolve(found[1]);
    });
    child.on('exit', (code) => reject(new Error('chromium exited (' + code + '): ' + text.slice(-2000))));
  });
  const browser = await connect(url);
  const exited = new Promise((resolve) => child.on('exit', resolve));
  const close = async () => {
    try { browser.socket.close(); } catch (e) { /* already closed */ }
    child.kill();
    await exited;
    fs.rmSync(profile, { recursive: true, force: true, maxRetries: 5 });
  };
  return { browser, close };
}

// A DevTools connection: send(method, params, sessionId) resolves with the result; events go to on().
function connect(url) {
  const socket = new WebSocket(url);
  let next = 1;
  const pending = new Map();
  const listeners = [];
  socket.onmessage = (event) => {
    const m = JSON.parse(event.data);
    if (m.id && pending.has(m.id)) {
      const { resolve, reject } = pending.get(m.id);
      pending.delete(m.id);
      if (m.error) reject(new Error(m.error.message));
      else resolve(m.result);
    } else if (m.method) {
      for (const listener of listeners) listener(m);
    }
  };
  const send = (method, params = {}, sessionId) => new Promise((resolve, reject) => {
    const id = next++;
    pending.set(id, { resolve, reject });
    socket.send(JSON.stringify(sessionId ? { id, method, params, sessionId } : { id, method, params }));
  });
  return new Promise((resolve, reject) => {
    socket.onopen = () => resolve({ socket, send, on: (f) => listeners.push(f) });
    socket.onerror = (e) => reject(new Error('DevTools connection failed: ' + (e.message || e)));
  });
}

// Opens `url` in a new tab of width x height; resolves with { evaluate, errors, send, session } once
// the page has loaded. Console errors and exceptions are collected in `errors`.
async function openPage(browser, url, width = 800, height = 500) {
  const { targetId } = await browser.send('Target.createTarget', { url: 'about:blank' });
  const { sessionId } = await browser.send('Target.attachToTarget', { targetId, flatten: true });
  const send = (method, params) => browser.send(method, params, sessionId);
  const errors = [];
  let loaded = null;
  const loadedNow = new Promise((resolve) => { loaded = resolve; });
  browser.on((m) => {
    if (m.sessionId !== sessionId) return;
    if (m.method === 'Runtime.consoleAPICalled' && (m.params.type === 'error' || m.params.type === 'assert')) {
      errors.push(m.params.args.map((a) => a.value || a.description).join(' '));
    } else if (m.method === 'Runtime.exceptionThrown') {
      errors.push(m.params.exceptionDetails.exception ? m.params.exceptionDetails.exception.description
                                                        : m.params.exceptionDetails.text);
    } else if (m.method === 'Log.entryAdded' && m.params.entry.level === 'error') {
      errors.push(m.params.entry.text + ' ' + (m.params.entry.url || ''));
    } else if (m.method === 'Page.loadEventFired') {
      loaded();
    }
  });
  await send('Runtime.enable');
  await send('Log.enable');
  await send('Page.enable');
  await send('Emulation.setDeviceMetricsOverride', { width, height, deviceScaleFactor: 1, mobile: false });
  await send('Page.navigate', { url });
  await loadedNow;
  // Evaluates an expression (awaiting a promise) and returns its value; a thrown error rejects.
  const evaluate = async (expression, userGesture = false) => {
    const r = await send('Runtime.evaluate', { expression, awaitPromise: true, returnByValue: true, userGesture });
    if (r.exceptionDetails) {
      throw new Error((r.exceptionDetails.exception && r.exceptionDetails.exception.description) ||
                      r.exceptionDetails.text);
    }
    return r.result.value;
  };
  // Resolves once `expression` is true, checking every 50 ms; rejects after `seconds`.
  const waitFor = async (expression, seconds = 60) => {
    const end = Date.now() + seconds * 1000;
    for (;;) {
      if (await evaluate(expression)) return;
      if (Date.now() > end) throw new Error('still false after ' + seconds + ' s: ' + expression);
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
  };
  return { send, evaluate, waitFor, errors, targetId };
}

module.exports = { launch, openPage };
