// The browser display: draws the scene's image with WebGL as the desktop renderer draws it with
// fixed-function OpenGL (placement, back-to-front rings, the facing split, quads drawn once or twice,
// the fade, and the fixed-function light equation in a shader).
'use strict';

// options.indices (tests): '16' draws with 16-bit indices, 'list' with a 32-bit index list made every
// frame, even where the browser offers more; otherwise the best the browser has is used.
function orbivaneRenderer(canvas, options = {}) {
  const gl = canvas.getContext('webgl', {
    alpha: false, antialias: false, depth: true, premultipliedAlpha: false, preserveDrawingBuffer: false,
  });
  if (!gl) return null;
  const uint32 = options.indices !== '16' && gl.getExtension('OES_element_index_uint') !== null;
  // With multi-draw, the quads' indices stay in a buffer made once per image, and a frame hands over only
  // the ranges to draw (as the desktop does with buffer objects); else a frame sends its index list.
  const multiDraw = uint32 && options.indices !== 'list' ? gl.getExtension('WEBGL_multi_draw') : null;
  const indexPath = multiDraw ? 'ranges' : uint32 ? 'list' : 'cut';

  // One vertex shader for lit and unlit frames. Lit, it evaluates OpenGL's lighting equation for light 0
  // (positional, no attenuation, infinite viewer) with colour material tracking ambient and diffuse on
  // both faces; the back face's colour uses the reversed normal. Colours are clamped per vertex.
  const vertexSource = `
    attribute vec3 position;
    attribute vec3 normal;
    attribute vec4 colour;
    uniform mat4 modelView;
    uniform mat4 projection;
    uniform bool lit;
    uniform vec3 lightPosition;   // eye coordinates
    uniform vec3 lightAmbient;
    uniform vec3 lightDiffuse;
    uniform vec3 lightSpecular;
    uniform vec3 modelAmbient;
    uniform vec3 materialSpecular;
    uniform float shininess;
    varying vec4 front;
    varying vec4 back;
    vec4 shade(vec3 n, vec3 toLight, vec3 halfway) {
      vec3 c = modelAmbient * colour.rgb + lightAmbient * colour.rgb;
      float diffuse = dot(n, toLight);
      if (diffuse > 0.0) {
        c += diffuse * lightDiffuse * colour.rgb;
        float h = dot(n, halfway);
        if (h > 0.0) c += pow(h, shininess) * lightSpecular * materialSpecular;
      }
      return vec4(clamp(c, 0.0, 1.0), colour.a);
    }
    void main() {
      vec4 eye = modelView * vec4(position, 1.0);
      gl_Position = projection * eye;
      if (lit) {
        vec3 n = mat3(modelView) * normal;
        vec3 toLight = normalize(lightPosition - eye.xyz);
        vec3 halfway = normalize(toLight + vec3(0.0, 0.0, 1.0));
        front = shade(n, toLight, halfway);
        back = shade(-n, toLight, halfway);
      } else {
        front = colour;
        back = colour;
      }
    }`;
  const fragmentSource = `
    precision highp float;
    uniform bool twoSides;
    varying vec4 front;
    varying vec4 back;
    void main() { gl_FragColor = (twoSides && !gl_FrontFacing) ? back : front; }`;

  function compile(type, source) {
    const shader = gl.createShader(type);
    gl.shaderSource(shader, source);
    gl.compileShader(shader);
    if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(shader));
    return shader;
  }
  const program = gl.createProgram();
  gl.attachShader(program, compile(gl.VERTEX_SHADER, 'precision highp float;' + vertexSource));
  gl.attachShader(program, compile(gl.FRAGMENT_SHADER, fragmentSource));
  gl.linkProgram(program);
  if (!gl.getProgramParameter(program, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(program));
  gl.useProgram(program);
  const attribute = {};
  for (const name of ['position', 'normal', 'colour']) attribute[name] = gl.getAttribLocation(program, name);
  const un = {};
  for (const name of ['modelView', 'projection', 'lit', 'twoSides', 'lightPosition', 'lightAmbient', 'lightDiffuse',
                      'lightSpecular', 'modelAmbient', 'materialSpecular', 'shininess']) {
    un[name] = gl.getUniformLocation(program, name);
  }

  // The fixed render state every surface gets.
  gl.enable(gl.BLEND);
  gl.blendFunc(gl.SRC_ALPHA, gl.ONE_MINUS_SRC_ALPHA);
  gl.enable(gl.DEPTH_TEST);
  gl.depthFunc(gl.LEQUAL);
  gl.clearDepth(1.0);

  const positionBuffer = gl.createBuffer();
  const normalBuffer = gl.createBuffer();
  const colourBuffer = gl.createBuffer();
  const indexBuffer = gl.createBuffer();

  let image = null;  // the image's quads in buffer order (see setImage)

  // Lays the image's quads out in buffer order: ring by ring as numbered, holes and the positions
  // without a next ring left out; four corners per quad, each with the quad's normal. The records'
  // fields are found by arrays.layout (byte offsets; the doubles are 8-byte aligned).
  function setImage(arrays) {
    image = null;
    if (!arrays) return;
    const layout = arrays.layout;
    const vertexBytes = layout.vertexBytes;
    const vs = vertexBytes / 8, field = { position: layout.position / 8, normal: layout.normal / 8 };
    const rs = layout.ringBytes / 8, centre = layout.centre / 8;
    const f64 = new Float64Array(arrays.vertices);
    const u8 = new Uint8Array(arrays.vertices);
    const ringF64 = new Float64Array(arrays.rings);
    const ringI32 = new Int32Array(arrays.rings);
    const ringSize = arrays.ringSize;
    const vertexCount = arrays.vertexCount;
    const ringCount = Math.floor(vertexCount / ringSize);
    const startsQuad = (v) => v + ringSize < vertexCount - 1 &&
      (u8[v * vertexBytes] | u8[v * vertexBytes + 1] | u8[v * vertexBytes + 2]) !== 0;
    let quads = 0;
    for (let v = 0; v < ringCount * ringSize; ++v) if (startsQuad(v)) ++quads;
    const quadVertex = new Int32Array(quads);
    const ringFirstQuad = new Int32Array(ringCount + 1);
    const positions = new Float32Array(quads * 12);
    const normals = new Float32Array(quads * 12);
    let q = 0;
    for (let k = 0; k < ringCount; ++k) {
      ringFirstQuad[k] = q;
      for (let j = 0; j < ringSize; ++j) {
        const v = k * ringSize + j;
        if (!startsQuad(v)) continue;
        quadVertex[q] = v;
        const last = j === ringSize - 1;
        const w = v + ringSize;
        const corners = [v, last ? v + 1 - ringSize : v + 1, last ? v + 1 : w + 1, w];
        for (let c = 0; c < 4; ++c) {
          for (let e = 0; e < 3; ++e) {
            positions[q * 12 + c * 3 + e] = f64[corners[c] * vs + field.position + e];
            normals[q * 12 + c * 3 + e] = f64[v * vs + field.normal + e];
          }
        }
        ++q;
      }
    }
    ringFirstQuad[ringCount] = q;
    const rings = [];
    for (let r = 0; r < ringCount; ++r) {
      const c = r * rs + centre;
      rings.push({ centre: [ringF64[c], ringF64[c + 1], ringF64[c + 2]], key: 0,
                   ring: Math.floor(ringI32[(r * layout.ringBytes + layout.firstVertex) / 4] / ringSize) });
    }
    gl.bindBuffer(gl.ARRAY_BUFFER, positionBuffer);
    gl.bufferData(gl.ARRAY_BUFFER, positions, gl.STATIC_DRAW);
    gl.bindBuffer(gl.ARRAY_BUFFER, normalBuffer);
    gl.bufferData(gl.ARRAY_BUFFER, normals, gl.STATIC_DRAW);
    image = { serial: arrays.serial, f64, u8, vs, field, vertexBytes, quads, quadVertex,
              ringFirstQuad, rings, colourFade: -1, colourAlpha: -1, colours: new Uint8Array(quads * 16),
              facing: new Uint8Array(quads), indices: indexPath === 'list' ? new Uint32Array(quads * 12) : null,
              indexCopies: 0 };
  }

  // Low 8 bits of a truncated colour or alpha value, as OpenGL receives it.
  const colourByte = (value) => Math.trunc(value) & 0xff;

  // Every quad's colour at fade f: the vertex's colour scaled by f with opacity alphaByte, or for pure
  // red an opacity that grows with the red value and fades.
  function fillColours(f, alphaByte) {
    const { u8, colours, quadVertex, vertexBytes } = image;
    for (let q = 0; q < image.quads; ++q) {
      const record = quadVertex[q] * vertexBytes;
      const red = u8[record], green = u8[record + 1], blue = u8[record + 2];
      let c0 = colourByte(red * f), c1 = 0, c2 = 0, c3;
      if (green > 0 || blue > 0) {
        c1 = colourByte(green * f);
        c2 = colourByte(blue * f);
        c3 = alphaByte;
      } else {
        c3 = colourByte(red * (3.0 - red / 255.0) / 2.0 * f);
      }
      for (let c = 0; c < 4; ++c) {
        colours[q * 16 + c * 4] = c0;
        colours[q * 16 + c * 4 + 1] = c1;
        colours[q * 16 + c * 4 + 2] = c2;
        colours[q * 16 + c * 4 + 3] = c3;
      }
    }
    gl.bindBuffer(gl.ARRAY_BUFFER, colourBuffer);
    gl.bufferData(gl.ARRAY_BUFFER, colours, gl.DYNAMIC_DRAW);
    image.colourFade = f;
    image.colourAlpha = alphaByte;
  }

  // 4x4 matrices, column-major, in double precision until they reach GL.
  function multiply(a, b) {
    const m = new Array(16).fill(0);
    for (let c = 0; c < 4; ++c) for (let r = 0; r < 4; ++r) for (let k = 0; k < 4; ++k) m[c * 4 + r] += a[k * 4 + r] * b[c * 4 + k];
    return m;
  }
  function perspective(fovy, aspect, near, far) {
    const radians = fovy / 2 * Math.PI / 180;
    const cot = Math.cos(radians) / Math.sin(radians);
    const depth = far - near;
    return [cot / aspect, 0, 0, 0, 0, cot, 0, 0, 0, 0, -(far + near) / depth, -1, 0, 0, -2 * near * far / depth, 0];
  }
  function rotation(degrees, x, y, z) {
    const length = Math.sqrt(x * x + y * y + z * z);
    x /= length; y /= length; z /= length;
    const a = degrees * Math.PI / 180, c = Math.cos(a), s = Math.sin(a), t = 1 - c;
    return [x * x * t + c, y * x * t + z * s, x * z * t - y * s, 0,
            x * y * t - z * s, y * y * t + c, y * z * t + x * s, 0,
            x * z * t + y * s, y * z * t - x * s, z * z * t + c, 0, 0, 0, 0, 1];
  }
  const f32 = Math.fround;

  // The eye in model coordinates for a frame placed at (x, 0, z) and turned by the scene's angle.
  function eyeInModelSpace(x, z, angle) {
    const k0 = f32(1.0 / Math.sqrt(1.5)), k1 = f32(0.5 / Math.sqrt(1.5));
    const k = [k0, k1, k1];
    const p = [-x, 0, -z];
    const theta = -2.0 * angle * Math.PI / 180.0;
    const c = Math.cos(theta), s = Math.sin(theta);
    const cross = [k[1] * p[2] - k[2] * p[1], k[2] * p[0] - k[0] * p[2], k[0] * p[1] - k[1] * p[0]];
    const dot = k[0] * p[0] + k[1] * p[1] + k[2] * p[2];
    return [0, 1, 2].map((i) => p[i] * c + cross[i] * s + k[i] * dot * (1.0 - c));
  }

  // Draws the frame's quads: ranges of the image's index buffer in one multi-draw call, or the frame's
  // 32-bit index list in one draw, or 16-bit lists cut on ring boundaries, each drawn with the attributes
  // pointed at its window of fewer than 65,536 corners.
  function drawIndices(runs, count, ranges, perQuad) {
    if (indexPath === 'ranges') {
      const n = ranges.first.length;
      const offsets = new Int32Array(n), sizes = new Int32Array(n);
      for (let i = 0; i < n; ++i) {
        offsets[i] = ranges.first[i] * perQuad * 4;
        sizes[i] = ranges.sizes[i] * perQuad;
      }
      gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, indexBuffer);
      if (n > 0) multiDraw.multiDrawElementsWEBGL(gl.TRIANGLES, sizes, 0, gl.UNSIGNED_INT, offsets, 0, n);
      return;
    }
    if (indexPath === 'list') {
      gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, indexBuffer);
      gl.bufferData(gl.ELEMENT_ARRAY_BUFFER, image.indices.subarray(0, count), gl.STREAM_DRAW);
      gl.drawElements(gl.TRIANGLES, count, gl.UNSIGNED_INT, 0);
      return;
    }
    for (const run of runs) {
      gl.bindBuffer(gl.ARRAY_BUFFER, positionBuffer);
      gl.vertexAttribPointer(attribute.position, 3, gl.FLOAT, false, 0, run.base * 12);
      gl.bindBuffer(gl.ARRAY_BUFFER, normalBuffer);
      if (attribute.normal >= 0) gl.vertexAttribPointer(attribute.normal, 3, gl.FLOAT, false, 0, run.base * 12);
      gl.bindBuffer(gl.ARRAY_BUFFER, colourBuffer);
      gl.vertexAttribPointer(attribute.colour, 4, gl.UNSIGNED_BYTE, true, 0, run.base * 4);
      gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, indexBuffer);
      gl.bufferData(gl.ELEMENT_ARRAY_BUFFER, run.indices, gl.STREAM_DRAW);
      gl.drawElements(gl.TRIANGLES, run.indices.length, gl.UNSIGNED_SHORT, 0);
    }
  }

  // Draws one frame of the scene state s into a width x height drawing buffer.
  function draw(s, width, height) {
    gl.viewport(0, 0, width, height);
    gl.clearColor(0, 0, s.preview ? 0.125 : 0, 0);
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    if (!image || s.vertexCount <= 0) return;

    const w = f32(width > 0 ? width : 1), h = f32(height > 0 ? height : 1);
    const projection = perspective(45.0, f32(w / h), f32(0.1), 100.0);
    const x = s.offsetX;
    const phase = f32(f32(0.02) * s.angle);
    const z = f32(0.5 * Math.cos(phase) - 3.0);
    const translate = [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, 0, z, 1];
    const modelView = multiply(translate, rotation(2.0 * s.angle, 1.0, 0.5, 0.5));
    const eye = eyeInModelSpace(x, z, s.angle);

    gl.uniformMatrix4fv(un.projection, false, new Float32Array(projection));
    gl.uniformMatrix4fv(un.modelView, false, new Float32Array(modelView));
    gl.uniform1i(un.lit, s.lightingOn ? 1 : 0);
    gl.uniform1i(un.twoSides, s.lightingOn && s.lightTwoSides ? 1 : 0);
    if (s.lightingOn) {
      const g = s.gloss, d = s.lightDistance;
      const grey = (v) => [f32(v), f32(v), f32(v)];
      const lp = [-d, -d, -d, 1];
      const eyeLight = [0, 1, 2].map((r) => modelView[r] * lp[0] + modelView[4 + r] * lp[1] + modelView[8 + r] * lp[2] + modelView[12 + r]);
      gl.uniform3fv(un.lightPosition, eyeLight);
      gl.uniform3fv(un.modelAmbient, grey(0.2 + 0.06 * g));
      gl.uniform3fv(un.lightAmbient, grey(1.0 - 0.05 * g));
      gl.uniform3fv(un.lightDiffuse, grey(1.0 - 0.09 * g));
      gl.uniform3fv(un.lightSpecular, grey(0.1 + 0.09 * g));
      const hl = (0.1 + 0.08 * g) * s.fade;
      gl.uniform3fv(un.materialSpecular, [f32(hl / 2), f32(hl), f32(hl)]);
      gl.uniform1f(un.shininess, f32(7.0 + 12.0 * g));
    }

    // Rings farthest first, by the squared distance of their centres from the eye in single precision.
    const ex = f32(eye[0]), ey = f32(eye[1]), ez = f32(eye[2]);
    const rings = image.rings;
    for (const r of rings) {
      const c = r.centre;
      r.key = (c[0] - ex) * (c[0] - ex) + (c[1] - ey) * (c[1] - ey) + (c[2] - ez) * (c[2] - ez);
    }
    rings.sort((a, b) => b.key - a.key);

    // Each quad faces the eye (1) or away (0), by its vertex's plane in double precision.
    const { f64, vs, quadVertex, facing } = image;
    const p = image.field.position, n = image.field.normal;
    for (let q = 0; q < image.quads; ++q) {
      const b = quadVertex[q] * vs;
      const sd = f64[b + n] * (eye[0] - f64[b + p]) + f64[b + n + 1] * (eye[1] - f64[b + p + 1]) +
                 f64[b + n + 2] * (eye[2] - f64[b + p + 2]);
      facing[q] = sd >= 0 ? 1 : 0;
    }

    const alphaByte = colourByte(s.alpha * 255.0);
    if (image.colourFade !== s.fade || image.colourAlpha !== alphaByte) fillColours(s.fade, alphaByte);

    // Per ring, the quads facing away and then those facing the eye; each quad as Mesa splits it,
    // (v0, v1, v3) and (v1, v2, v3), and twice unless quick draw is on.
    const copies = s.quickDraw ? 1 : 2;
    const ringFirstQuad = image.ringFirstQuad;
    const emit = (out, next, base, q) => {
      const c = 4 * q - base;
      for (let copy = 0; copy < copies; ++copy) {
        out[next++] = c; out[next++] = c + 1; out[next++] = c + 3;
        out[next++] = c + 1; out[next++] = c + 2; out[next++] = c + 3;
      }
      return next;
    };
    // Calls visit(ring's first quad, quad) for every quad in drawing order.
    const forEachQuad = (visit) => {
      for (const r of rings) {
        const begin = ringFirstQuad[r.ring], end = ringFirstQuad[r.ring + 1];
        for (let pass = 0; pass < 2; ++pass) {
          for (let q = begin; q < end; ++q) if (facing[q] === pass) visit(begin, end, q);
        }
      }
    };
    const ranges = { first: [], sizes: [] };  // in quads
    const runs = [];
    let count = 0;
    if (indexPath === 'ranges') {
      if (image.indexCopies !== copies) {
        const all = new Uint32Array(image.quads * 6 * copies);
        for (let q = 0, next = 0; q < image.quads; ++q) next = emit(all, next, 0, q);
        gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, indexBuffer);
        gl.bufferData(gl.ELEMENT_ARRAY_BUFFER, all, gl.STATIC_DRAW);
        image.indexCopies = copies;
      }
      // Runs of consecutive quads become one range, joined to the last where they follow it.
      let last = -2;
      forEachQuad((begin, end, q) => {
        if (q === last + 1) ++ranges.sizes[ranges.sizes.length - 1];
        else { ranges.first.push(q); ranges.sizes.push(1); }
        last = q;
      });
    } else if (indexPath === 'list') {
      forEachQuad((begin, end, q) => { count = emit(image.indices, count, 0, q); });
    } else {
      // A new draw where a ring does not follow the last one's corners, or would leave the window.
      let run = null;
      let ring = -1;
      forEachQuad((begin, end, q) => {
        if (begin !== ring) {
          ring = begin;
          if (!run || begin !== run.nextQuad || 4 * end - run.base > 65535) {
            run = { base: 4 * begin, nextQuad: end, list: [] };
            runs.push(run);
          }
          run.nextQuad = end;
        }
        emit(run.list, run.list.length, run.base, q);
      });
      for (const r of runs) r.indices = new Uint16Array(r.list);
    }

    gl.bindBuffer(gl.ARRAY_BUFFER, positionBuffer);
    gl.enableVertexAttribArray(attribute.position);
    gl.vertexAttribPointer(attribute.position, 3, gl.FLOAT, false, 0, 0);
    if (attribute.normal >= 0) {
      gl.bindBuffer(gl.ARRAY_BUFFER, normalBuffer);
      gl.enableVertexAttribArray(attribute.normal);
      gl.vertexAttribPointer(attribute.normal, 3, gl.FLOAT, false, 0, 0);
    }
    gl.bindBuffer(gl.ARRAY_BUFFER, colourBuffer);
    gl.enableVertexAttribArray(attribute.colour);
    gl.vertexAttribPointer(attribute.colour, 4, gl.UNSIGNED_BYTE, true, 0, 0);
    drawIndices(runs, count, ranges, 6 * copies);
  }

  // The drawing buffer's pixels, RGBA rows from the top (call right after draw).
  function readPixels(width, height) {
    const pixels = new Uint8Array(width * height * 4);
    gl.readPixels(0, 0, width, height, gl.RGBA, gl.UNSIGNED_BYTE, pixels);
    const flipped = new Uint8Array(pixels.length);
    const row = width * 4;
    for (let y = 0; y < height; ++y) flipped.set(pixels.subarray((height - 1 - y) * row, (height - y) * row), y * row);
    return flipped;
  }

  return { gl, indexPath, setImage, draw, readPixels, imageSerial: () => (image ? image.serial : -1) };
}
