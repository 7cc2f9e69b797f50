// The page's worker: runs the scene's WebAssembly module (settings, playlist, builds, ticks) so that an
// image build never stops the page, and hands each new image's arrays over without copying them.
// The same file serves Node (the tests and benchmarks load modules through orbivaneCore).
'use strict';

function orbivaneWorker(scope) {
  // A one-function module that uses SIMD128: validates only where the engine has it.
  const simdProbe = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0,
                                    10, 8, 1, 6, 0, 65, 0, 253, 15, 11]);
  function hasSimd128() {
    return WebAssembly.validate(simdProbe);
  }

  // Instantiates a core module. Its C library's system calls (files, environment) have nothing behind
  // them in a page: each fails with ENOSYS, which the settings file's code treats as no file.
  function loadCore(bytes) {
    const module = new WebAssembly.Module(bytes);
    const imports = {};
    let memory = null;
    for (const entry of WebAssembly.Module.imports(module)) {
      if (entry.kind !== 'function') continue;
      const space = imports[entry.module] || (imports[entry.module] = {});
      if (entry.name === 'clock_time_get') {
        space[entry.name] = (id, precision, out) => {
          new DataView(memory.buffer).setBigUint64(out, BigInt(Date.now()) * 1000000n, true);
          return 0;
        };
      } else if (entry.name === 'emscripten_notify_memory_growth') {
        space[entry.name] = () => {};
      } else if (entry.name === 'proc_exit') {
        space[entry.name] = (code) => { throw new Error('core module exited with ' + code); };
      } else {
        const wasi = entry.module === 'wasi_snapshot_preview1';
        space[entry.name] = () => (wasi ? 52 : -52);  // ENOSYS
      }
    }
    const instance = new WebAssembly.Instance(module, imports);
    const core = instance.exports;
    memory = core.memory;
    core._initialize();
    const text = (pointer) => {
      const bytes = new Uint8Array(memory.buffer, pointer);
      return new TextDecoder().decode(bytes.subarray(0, bytes.indexOf(0)));
    };
    return {
      core,
      memory,
      kernel: text(core.orb_kernel_name()),
      // The settings table's rows: name, kind, default, low, high (stored units), images one by one.
      table: () => JSON.parse(text(core.orb_settings_table())),
      // Stores the page's settings (name -> integer) where the settings store reads them.
      setSettings(settings) {
        core.orb_settings_clear();
        for (const [name, value] of Object.entries(settings)) {
          const length = name.length + 1;
          const pointer = core.orb_alloc(length);
          const bytes = new Uint8Array(memory.buffer, pointer, length);
          for (let i = 0; i < name.length; ++i) bytes[i] = name.charCodeAt(i);
          bytes[name.length] = 0;
          core.orb_setting(pointer, value | 0);
          core.orb_free(pointer);
        }
      },
      // The scene's state after the last call, by name.
      state() {
        const s = new Float64Array(memory.buffer, core.orb_state(), 20);
        return {
          angle: s[0], offsetX: s[1], fade: s[2], lightingOn: s[3] !== 0, lightTwoSides: s[4] !== 0,
          lightDistance: s[5], gloss: s[6], alpha: s[7], quickDraw: s[8] !== 0, vertexCount: s[9],
          ringSize: s[10], imageSerial: s[11], image: s[12], vertices: s[13], rings: s[14],
          failed: s[15] !== 0, error: s[15] !== 0 ? text(core.orb_error_text()) : '', ticks: s[16], rotationSpeed: s[17], interval: s[18], preview: s[19] !== 0,
        };
      },
      // Copies of the current image's vertex and ring records (null when there is none).
      image(state) {
        if (state.vertexCount <= 0 || state.vertices === 0 || state.ringSize <= 0) return null;
        const [vertexBytes, position, normal, ringBytes, centre, firstVertex] =
          new Int32Array(memory.buffer, core.orb_record_layout(), 6);
        const ringCount = Math.floor(state.vertexCount / state.ringSize);
        return {
          serial: state.imageSerial, view: state.image, vertexCount: state.vertexCount, ringSize: state.ringSize,
          layout: { vertexBytes, position, normal, ringBytes, centre, firstVertex },
          vertices: memory.buffer.slice(state.vertices, state.vertices + state.vertexCount * vertexBytes),
          rings: memory.buffer.slice(state.rings, state.rings + ringCount * ringBytes),
        };
      },
    };
  }

  if (!scope) return { loadCore, hasSimd128 };

  let run = null;        // the loaded core
  let sentSerial = -1;   // serial of the image last handed to the page
  // Answers with the scene's state, and the image's arrays when they changed since the last answer.
  function answer(id, buildMs) {
    const state = run.state();
    let image = null;
    if (state.imageSerial !== sentSerial) {
      image = run.image(state);
      sentSerial = state.imageSerial;
    }
    const message = { type: 'state', id, state, image, buildMs, changed: image !== null || state.vertexCount <= 0 };
    scope.postMessage(message, image ? [image.vertices, image.rings] : []);
  }
  scope.onmessage = (event) => {
    const m = event.data;
    try {
      if (m.type === 'init') {
        const simd = m.kernel !== 'scalar' && hasSimd128();
        // The modules come as base64 text (the page's embedded copies); only the one used is decoded.
        const text = atob(simd ? m.simd128 : m.plain);
        const bytes = new Uint8Array(text.length);
        for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
        run = loadCore(bytes);
        scope.postMessage({ type: 'ready', kernel: run.kernel, table: run.table() });
      } else if (m.type === 'settings') {
        run.setSettings(m.settings);
      } else if (m.type === 'start') {
        run.setSettings(m.settings);
        const started = performance.now();
        run.core.orb_start(m.startSeconds, m.view, m.preview ? 1 : 0);
        if (m.ticks > 0) run.core.orb_tick_to(m.ticks);
        sentSerial = -1;
        answer(m.id, performance.now() - started);
      } else if (m.type === 'tick') {
        const started = performance.now();
        const before = run.state().imageSerial;
        run.core.orb_tick_to(m.tick);
        answer(m.id, run.state().imageSerial !== before ? performance.now() - started : 0);
      }
    } catch (error) {
      scope.postMessage({ type: 'error', id: m.id, message: String(error && error.stack || error) });
    }
  };
  return null;
}

if (typeof module !== 'undefined' && module.exports) {
  module.exports = orbivaneWorker(null);
} else if (typeof WorkerGlobalScope !== 'undefined' && self instanceof WorkerGlobalScope) {
  orbivaneWorker(self);
}
