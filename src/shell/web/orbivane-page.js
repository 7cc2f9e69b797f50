// The browser shell: starts the worker, counts the scene's 20 ms ticks from the clock, draws at the
// display's rate, and runs the page's buttons, settings panel (stored in localStorage) and About line.
'use strict';

(function orbivanePage() {
  const kTickMs = 20;            // the scene's tick
  const kStorageKey = 'orbivane.settings';
  // Settings that the scene reads once per run (at start) rather than with every image.
  const kRunWide = new Set(['detail_level', 'rotation_speed', 'quick_draw', 'transp_level', 'monitor_mode']);
  // What the panel calls each stored setting, in the settings dialog's words.
  const kLabels = {
    detail_level: 'Detail Level', rotation_speed: 'Rotation Speed', interval_option: 'Time Interval',
    shuffle_images: 'Shuffle Images', quick_draw: 'Quick Draw', transp_level: 'Transparency Level',
    palette_type: 'Palette', light_source: 'Light Source', gloss_level: 'Gloss Level', gloss_random: 'Random Gloss',
    light_distance: 'Distance to Light', light_2_sides: 'Light both sides', monitor_mode: 'Multi-monitor mode',
  };
  const kChoiceWords = {
    interval_option: ['45 seconds', '60 seconds', '90 seconds'],
    palette_type: ['Standard', 'Alternative', 'Random'],
    light_source: ['Fixed', 'Moving', 'Random'],
    monitor_mode: ['Cross-screen', 'Primary monitor', 'Individual monitors'],
  };

  const canvas = document.getElementById('saver');
  const query = new URLSearchParams(location.search);
  const renderer = orbivaneRenderer(canvas, { indices: query.get('indices') });
  const notice = document.getElementById('notice');
  if (!renderer) {
    notice.textContent = 'Orbivane needs WebGL, which this browser has turned off or does not offer.';
    notice.hidden = false;
    return;
  }
  const modules = self.orbivaneModules;
  const workerUrl = URL.createObjectURL(new Blob(['(' + orbivaneWorker.toString() + ')(self);'],
                                                 { type: 'text/javascript' }));
  const worker = new Worker(workerUrl);

  let table = [];         // the settings table's rows, from the module
  let settings = {};      // stored name -> stored value
  let state = null;       // the scene's state from the worker's last answer
  let live = false;       // the animation runs (the test hook stops it)
  let clockStart = 0;     // performance.now() at tick 0
  let lastTick = 0;       // last tick asked for
  let waiting = false;    // a question to the worker is unanswered
  let nextId = 1;
  const replies = new Map();  // message id -> resolve
  // What the tests and benchmarks read: the escape loop in use, frames drawn, load to first frame, build
  // times, the script's time per frame (sorting, facing, index list; the GPU's own work runs after it).
  // scriptStartMs, readyMs, startedMs: when this script ran, the worker had its module, and the first
  // image was built (milliseconds from the start of the navigation).
  const stats = { kernel: '', frames: 0, firstFrameMs: -1, scriptStartMs: performance.now(), readyMs: -1,
                  startedMs: -1, buildMs: [], errors: [], scriptMs: 0 };

  function ask(message, transfer) {
    const id = nextId++;
    return new Promise((resolve) => {
      replies.set(id, resolve);
      worker.postMessage(Object.assign({ id }, message), transfer || []);
    });
  }
  worker.onmessage = (event) => {
    const m = event.data;
    if (m.type === 'ready') {
      stats.readyMs = performance.now();
      stats.kernel = m.kernel;
      table = m.table;
      loadSettings();
      buildPanel();
      start();
      return;
    }
    if (m.type === 'error') {
      stats.errors.push(m.message);
      console.error('orbivane worker: ' + m.message);
    }
    if (m.type === 'state') {
      if (m.image !== null || m.changed) renderer.setImage(m.image);
      if (m.buildMs > 0) stats.buildMs.push(m.buildMs);
      state = m.state;
      // A failed build shows what the desktop's error box says, until an image is built again.
      notice.textContent = state.error;
      notice.hidden = !state.failed || state.vertexCount > 0;
    }
    const resolve = replies.get(m.id);
    replies.delete(m.id);
    if (resolve) resolve(m);
  };
  worker.postMessage({ type: 'init', plain: modules.plain, simd128: modules.simd128,
                       kernel: query.get('kernel') || 'automatic' });

  // --- settings: defaults from the table, stored values over them, written back on every change ---
  function defaults() {
    const values = {};
    for (const row of table) values[row.name] = row.def;
    return values;
  }
  function loadSettings() {
    settings = defaults();
    try {
      const stored = JSON.parse(localStorage.getItem(kStorageKey) || '{}');
      for (const row of table) {
        const value = stored[row.name];
        if (Number.isInteger(value)) settings[row.name] = Math.min(row.high, Math.max(row.low, value));
      }
    } catch (error) {
      // No storage (private mode, a blocked file origin) or unreadable text: the defaults stand.
    }
  }
  function storeSettings() {
    try {
      localStorage.setItem(kStorageKey, JSON.stringify(settings));
    } catch (error) {
      // Nothing to store into: the settings last for this visit only.
    }
  }

  function buildPanel() {
    const rows = document.getElementById('settings-rows');
    rows.textContent = '';
    for (const row of table) {
      const line = document.createElement('label');
      line.className = 'row';
      const name = document.createElement('span');
      const image = /^image_(\d+)$/.exec(row.name);
      name.textContent = image ? 'Image ' + (Number(image[1]) + 1) : (kLabels[row.name] || row.name);
      line.append(name);
      let input;
      const output = document.createElement('output');
      if (row.kind === 'choice' || kChoiceWords[row.name]) {
        input = document.createElement('select');
        const words = kChoiceWords[row.name] || [];
        for (let v = row.low; v <= row.high; ++v) input.add(new Option(words[v - row.low] || String(v), String(v)));
      } else {
        input = document.createElement('input');
        if (row.kind === 'flag') {
          input.type = 'checkbox';
        } else {
          input.type = 'range';
          input.min = row.low;
          input.max = row.high;
        }
      }
      input.name = row.name;
      const show = () => {
        if (row.kind === 'flag') input.checked = settings[row.name] !== 0;
        else input.value = String(settings[row.name]);
        output.textContent = row.kind === 'tenths' ? (settings[row.name] / 10).toFixed(1)
                           : row.kind === 'number' && input.type === 'range' ? String(settings[row.name]) : '';
      };
      input.addEventListener('input', () => {
        settings[row.name] = row.kind === 'flag' ? (input.checked ? 1 : 0) : Number(input.value);
        show();
        storeSettings();
        changed(row.name);
      });
      input.orbivaneShow = show;
      show();
      line.append(input, output);
      rows.append(line);
    }
  }
  function showAll() {
    for (const input of document.querySelectorAll('#settings-rows [name]')) input.orbivaneShow();
  }
  // Settings read per image reach the scene now and show from its next image; run-wide ones restart
  // the run, as the desktop saver reads them when it starts.
  let restartPending = false;
  function changed(name) {
    if (kRunWide.has(name)) {
      if (!restartPending) {
        restartPending = true;
        setTimeout(() => { restartPending = false; if (live) start(); }, 300);
      }
    } else {
      worker.postMessage({ type: 'settings', settings });
    }
  }

  // --- the animation: ticks from the clock, frames at the display's rate ---
  async function start() {
    live = false;
    const reply = await ask({ type: 'start', settings, startSeconds: Math.floor(Date.now() / 1000), view: -1,
                              preview: false, ticks: 0 });
    clockStart = performance.now();
    if (stats.startedMs < 0) stats.startedMs = clockStart;
    lastTick = 0;
    state = reply.state;
    live = true;
  }
  function frame(now) {
    requestAnimationFrame(frame);
    if (!live) return;
    const tick = Math.floor((now - clockStart) / kTickMs);
    if (!waiting && tick > lastTick) {
      waiting = true;
      lastTick = tick;
      ask({ type: 'tick', tick }).then(() => { waiting = false; });
    }
    draw();
  }
  function draw() {
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.round(canvas.clientWidth * ratio));
    const height = Math.max(1, Math.round(canvas.clientHeight * ratio));
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
    }
    if (!state) return;
    const started = performance.now();
    renderer.draw(state, width, height);
    stats.scriptMs += (performance.now() - started - stats.scriptMs) / Math.min(stats.frames + 1, 50);
    ++stats.frames;
    // Milliseconds from the start of the page's navigation to its first frame of an image.
    if (stats.firstFrameMs < 0 && state.vertexCount > 0) stats.firstFrameMs = performance.now();
  }
  requestAnimationFrame(frame);
  // A hidden page gets no frames: the scene waits and goes on from where it was when shown again.
  document.addEventListener('visibilitychange', () => {
    if (document.visibilityState === 'visible') clockStart = performance.now() - lastTick * kTickMs;
  });

  // --- buttons ---
  const fullscreenButton = document.getElementById('fullscreen');
  fullscreenButton.addEventListener('click', () => {
    if (document.fullscreenElement) document.exitFullscreen();
    else document.documentElement.requestFullscreen().catch(() => {});
  });
  document.addEventListener('fullscreenchange', () => {
    fullscreenButton.textContent = document.fullscreenElement ? 'Leave full screen' : 'Full screen';
  });
  const panel = document.getElementById('settings');
  const panelButton = document.getElementById('settings-button');
  const togglePanel = (open) => {
    panel.hidden = !open;
    panelButton.setAttribute('aria-expanded', String(open));
  };
  panelButton.addEventListener('click', () => togglePanel(panel.hidden));
  document.getElementById('close').addEventListener('click', () => togglePanel(false));
  document.getElementById('reset').addEventListener('click', () => {
    const before = settings;
    settings = defaults();
    storeSettings();
    showAll();
    const runWide = [...kRunWide].some((name) => before[name] !== settings[name]);
    changed(runWide ? 'detail_level' : 'palette_type');
  });
  document.getElementById('about').textContent =
    'Orbivane ' + modules.version + ', a fractal screen saver. Free to use and to share. ' +
    'Made with care by the Orbivane authors.';

  // Keeps the screen on while the page shows, where the browser offers a wake lock.
  if ('wakeLock' in navigator) {
    const wake = document.getElementById('wake');
    document.getElementById('wake-label').hidden = false;
    let lock = null;
    const acquire = () => {
      if (!wake.checked || document.visibilityState !== 'visible' || lock) return;
      navigator.wakeLock.request('screen').then((l) => {
        lock = l;
        lock.addEventListener('release', () => { lock = null; });
      }).catch(() => { wake.checked = false; });
    };
    wake.addEventListener('change', () => {
      if (wake.checked) acquire();
      else if (lock) lock.release();
    });
    document.addEventListener('visibilitychange', acquire);
  }

  // --- the test hook: one frame of a given image, tick and settings, drawn as orbivane-render draws it ---
  self.orbivaneTest = {
    stats,
    state: () => state,
    drawnSerial: () => renderer.imageSerial(),  // the image the renderer holds
    settings: () => Object.assign({}, settings),
    table: () => table,
    ready: () => live && state !== null && stats.frames > 0,
    // Moves the live clock on by `seconds` (the image change without waiting for it).
    skip(seconds) { clockStart -= seconds * 1000; },
    async render({ view, ticks = 0, seed = 1, values = {}, width = 400, height = 250 }) {
      live = false;
      const run = Object.assign(defaults(), values);
      const reply = await ask({ type: 'start', settings: run, startSeconds: seed, view, preview: false, ticks });
      canvas.style.width = width / (window.devicePixelRatio || 1) + 'px';
      canvas.style.height = height / (window.devicePixelRatio || 1) + 'px';
      canvas.width = width;
      canvas.height = height;
      renderer.draw(reply.state, width, height);
      const pixels = renderer.readPixels(width, height);
      let text = '';
      for (let i = 0; i < pixels.length; i += 0x8000) text += String.fromCharCode(...pixels.subarray(i, i + 0x8000));
      return { width, height, state: reply.state, rgba: btoa(text), indexPath: renderer.indexPath };
    },
  };
})();
