// Draws a faded-in image from buffer objects: the quads' layout, the ranges to draw, the staged upload.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "scene/frame_internal.h"
#include "scene/frame_steps.h"
#include "scene/gl_context_record.h"
#include "scene/gl_includes.h"
#include "scene/scene.h"

namespace {

// A byte offset into the bound buffer object, in the pointer argument GL takes for it.
const void* bufferOffset(size_t bytes) { return reinterpret_cast<const void*>(static_cast<uintptr_t>(bytes)); }

// layOutQuads without its guard against allocation failures.
bool makeQuadLayout(Scene& scene) {
    if (scene.vertices == nullptr || scene.rings == nullptr || scene.ringSize <= 0) return false;
    if (!scene.quadLayout) scene.quadLayout.reset(new QuadLayout);
    QuadLayout& layout = *scene.quadLayout;
    if (layout.made && layout.serial == scene.imageSerial) return true;

    const TubeVertex* vertices = scene.vertices;
    const int32_t ringSize = scene.ringSize;
    const int32_t ringCount = scene.vertexCount / ringSize;
    layout.ringFirstQuad.assign(static_cast<size_t>(ringCount) + 1, 0);
    layout.quadVertex.clear();
    layout.plane.clear();
    double bound = 0;
    for (int32_t k = 0; k < ringCount; ++k) {
        layout.ringFirstQuad[k] = static_cast<int32_t>(layout.quadVertex.size());
        for (int32_t j = 0; j < ringSize; ++j) {
            const int32_t v = k * ringSize + j;
            if (!startsDrawnQuad(scene, v)) continue;
            const TubeVertex& vertex = vertices[v];
            layout.quadVertex.push_back(v);
            const double* n = vertex.normal;
            const double* p = vertex.position;
            const double offset = -(n[0] * p[0] + n[1] * p[1] + n[2] * p[2]);
            const double values[4] = {n[0], n[1], n[2], offset};
            for (double value : values) {
                layout.plane.push_back(static_cast<float>(value));
                bound = std::max(bound, std::fabs(value));
            }
        }
    }
    layout.ringFirstQuad[ringCount] = static_cast<int32_t>(layout.quadVertex.size());
    layout.ringCount = ringCount;
    layout.quadCount = static_cast<int32_t>(layout.quadVertex.size());
    layout.planeBound = bound;
    layout.facing.assign(layout.quadVertex.size(), 0);
    layout.serial = scene.imageSerial;
    layout.made = true;
    return true;
}

// Finds every quad's facing as markFacing would (1: towards the eye). A single-precision dot product
// decides where its error bound allows; the few quads too close to edge-on get markFacing's own
// double-precision test, so the result is the same quad for quad.
void findFacing(const Scene& scene, QuadLayout& layout, const double eye[3]) {
    const float e[3] = {static_cast<float>(eye[0]), static_cast<float>(eye[1]), static_cast<float>(eye[2])};
    const double eyeBound = std::max({std::fabs(eye[0]), std::fabs(eye[1]), std::fabs(eye[2])});
    // Each of the four products and sums is off by at most a few units in the last place of the
    // largest term; 1e-5 of the terms' total leaves a margin of more than a hundred.
    const float tolerance = static_cast<float>(1e-5 * layout.planeBound * (3.0 * eyeBound + 1.0) + 1e-30);
    const float* plane = layout.plane.data();
    uint8_t* facing = layout.facing.data();
    const int32_t quads = layout.quadCount;
    int32_t nearEdge = 0;
    for (int32_t q = 0; q < quads; ++q) {
        const float* p = plane + 4 * q;
        const float s = p[0] * e[0] + p[1] * e[1] + p[2] * e[2] + p[3];
        const bool close = std::fabs(s) <= tolerance;
        facing[q] = static_cast<uint8_t>((s >= 0.0f ? 1 : 0) | (close ? 2 : 0));
        nearEdge += close;
    }
    if (nearEdge == 0) return;
    const TubeVertex* vertices = scene.vertices;
    for (int32_t q = 0; q < quads; ++q) {
        if ((facing[q] & 2) == 0) continue;
        const TubeVertex& vertex = vertices[layout.quadVertex[q]];
        const double s = vertex.normal[0] * (eye[0] - vertex.position[0]) +
                         vertex.normal[1] * (eye[1] - vertex.position[1]) +
                         vertex.normal[2] * (eye[2] - vertex.position[2]);
        facing[q] = s >= 0 ? 1 : 0;
    }
}

// Adds quads [first, first + count) to the ranges, joining a range that ends where this one starts.
void addRange(QuadLayout& layout, int32_t first, int32_t count) {
    if (!layout.rangeFirst.empty() && layout.rangeFirst.back() + layout.rangeCount.back() == first) {
        layout.rangeCount.back() += count;
        return;
    }
    layout.rangeFirst.push_back(first);
    layout.rangeCount.push_back(count);
}

// Clears errors left by earlier calls, so that the next glGetError speaks of what follows.
void clearGlErrors() {
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {}
}

// Bytes of the vertex buffer (all positions, then all normals when lit, then all colours) and of the
// index buffer (every quad's corners twice).
size_t vertexBufferBytes(int32_t quads, bool lit) {
    return static_cast<size_t>(quads) * 4 * cornerFloats(lit) * sizeof(GLfloat);
}
size_t indexBufferBytes(int32_t quads) { return static_cast<size_t>(quads) * 8 * sizeof(GLuint); }

// Gives the current context's buffers storage for the image's quads, with no data yet (the old
// storage goes). False when GL cannot give it.
bool startUpload(const Scene& scene, const QuadLayout& layout, GlContextRecord& context) {
    const GlBufferProcs& gl = context.procs;
    BufferUpload& upload = context.upload;
    upload = BufferUpload{};
    upload.lit = scene.lightingOn;
    upload.twice = !scene.quickDraw;
    upload.alpha = scene.alpha;
    upload.serial = scene.imageSerial;
    if (context.vertexBuffer == 0) gl.genBuffers(1, &context.vertexBuffer);
    if (upload.twice && context.indexBuffer == 0) gl.genBuffers(1, &context.indexBuffer);
    if (context.vertexBuffer == 0 || (upload.twice && context.indexBuffer == 0)) return false;
    clearGlErrors();
    GlCallTimer timer;
    gl.bindBuffer(kGlArrayBuffer, context.vertexBuffer);
    gl.bufferData(kGlArrayBuffer, static_cast<std::ptrdiff_t>(vertexBufferBytes(layout.quadCount, upload.lit)), nullptr,
                  kGlStaticDraw);
    gl.bindBuffer(kGlArrayBuffer, 0);
    if (upload.twice) {
        gl.bindBuffer(kGlElementArrayBuffer, context.indexBuffer);
        gl.bufferData(kGlElementArrayBuffer, static_cast<std::ptrdiff_t>(indexBufferBytes(layout.quadCount)), nullptr,
                      kGlStaticDraw);
        gl.bindBuffer(kGlElementArrayBuffer, 0);
    }
    upload.started = glGetError() == GL_NO_ERROR;
    return upload.started;
}

// Index staging for one batch of quads drawn twice; the corners go through quadArrays.
GLuint indexStaging[kArrayQuads * 8];

// Fills quads [first, first + count) at fade 1 into the staging area and hands them to the buffers,
// in the layout submitQuadArrays sends them in (an interleaved layout gave different pixels from the
// client arrays on Mesa). count is at most kArrayQuads.
void uploadBatch(const Scene& scene, const QuadLayout& layout, const GlContextRecord& context, int32_t first,
                 int32_t count) {
    const GlBufferProcs& gl = context.procs;
    const bool lit = context.upload.lit;
    QuadArrays& q = quadArrays;
    const TubeVertex* vertices = scene.vertices;
    const int32_t ringSize = scene.ringSize;
    const GLubyte alphaByte = alphaByteOf(scene);
    const GLfloat* toFloat = byteColourTable();
    for (int32_t i = 0; i < count; ++i) {
        const int32_t v = layout.quadVertex[first + i];
        const TubeVertex& vertex = vertices[v];
        GLubyte colour[4];
        quadColour(vertex, 1.0, alphaByte, colour);
        int32_t corners[4];
        quadCorners(v, v % ringSize == ringSize - 1, ringSize, corners);
        for (int k = 0; k < 4; ++k) {
            const int32_t slot = i * 4 + k;
            for (int e = 0; e < 3; ++e) {
                q.position[slot][e] = static_cast<GLfloat>(vertices[corners[k]].position[e]);
                q.normal[slot][e] = static_cast<GLfloat>(vertex.normal[e]);
            }
            for (int e = 0; e < 4; ++e) q.colour[slot][e] = toFloat[colour[e]];
        }
    }
    // Each block of the buffer holds its values for all quads: the batch goes to three places.
    const size_t corners = static_cast<size_t>(layout.quadCount) * 4;
    const size_t firstCorner = static_cast<size_t>(first) * 4;
    const size_t batchCorners = static_cast<size_t>(count) * 4;
    struct Part {
        size_t blockStart;  // in floats
        int floats;         // per corner
        const void* data;
    };
    const Part parts[3] = {{0, 3, q.position}, {corners * 3, 3, q.normal}, {corners * (lit ? 6 : 3), 4, q.colour}};
    GlCallTimer timer;
    SubmitCounts& counts = submitCounts();
    gl.bindBuffer(kGlArrayBuffer, context.vertexBuffer);
    for (const Part& part : parts) {
        if (part.data == q.normal && !lit) continue;
        const size_t bytes = batchCorners * part.floats * sizeof(GLfloat);
        gl.bufferSubData(kGlArrayBuffer,
                         static_cast<std::ptrdiff_t>((part.blockStart + firstCorner * part.floats) * sizeof(GLfloat)),
                         static_cast<std::ptrdiff_t>(bytes), part.data);
        counts.uploadBytes += static_cast<double>(bytes);
    }
    gl.bindBuffer(kGlArrayBuffer, 0);
    if (context.upload.twice) {
        for (int32_t i = 0; i < count; ++i)
            for (int copy = 0; copy < 2; ++copy)
                for (int k = 0; k < 4; ++k)
                    indexStaging[8 * i + 4 * copy + k] = static_cast<GLuint>(4 * (first + i) + k);
        const size_t bytes = static_cast<size_t>(count) * 8 * sizeof(GLuint);
        gl.bindBuffer(kGlElementArrayBuffer, context.indexBuffer);
        gl.bufferSubData(kGlElementArrayBuffer, static_cast<std::ptrdiff_t>(indexBufferBytes(first)),
                         static_cast<std::ptrdiff_t>(bytes), indexStaging);
        gl.bindBuffer(kGlElementArrayBuffer, 0);
        counts.uploadBytes += static_cast<double>(bytes);
    }
}

// The buffers hold (or are being filled with) this image as this frame would draw it.
bool uploadMatches(const Scene& scene, const GlContextRecord& context) {
    const BufferUpload& upload = context.upload;
    return upload.started && upload.serial == scene.imageSerial && upload.lit == scene.lightingOn &&
           upload.alpha == scene.alpha && (upload.twice || scene.quickDraw);
}

// Takes the upload up to `quads` more quads further, after giving the buffers storage where they have
// none for this image. False when GL failed on the way.
bool continueUpload(const Scene& scene, const QuadLayout& layout, GlContextRecord& context, int32_t quads) {
    if (!uploadMatches(scene, context)) {
        if (!startUpload(scene, layout, context)) return false;
    }
    BufferUpload& upload = context.upload;
    // `quads` may be INT32_MAX ("the rest"): compare against what is left rather than add to the count.
    const int32_t end = upload.quadsDone + std::clamp(quads, 0, std::max(layout.quadCount - upload.quadsDone, 0));
    if (upload.quadsDone >= end) return true;
    clearGlErrors();
    while (upload.quadsDone < end) {
        const int32_t count = std::min(kArrayQuads, end - upload.quadsDone);
        uploadBatch(scene, layout, context, upload.quadsDone, count);
        upload.quadsDone += count;
    }
    return glGetError() == GL_NO_ERROR;
}

// Out of buffer memory, most likely: give the memory back and draw this image from client arrays here.
void abandonUpload(Scene& scene, GlContextRecord& context) {
    scene.deleteCurrentBuffers();
    context.uploadFailed = true;
    context.failedSerial = scene.imageSerial;
}

// The current context's record, with its buffer entry points looked up; null where it has none or
// where this image failed to upload before.
GlContextRecord* bufferContext(Scene& scene) {
    if (scene.glApi == nullptr) return nullptr;
    GlContextRecord& context = scene.currentGlContext();
    if (!context.probed) {
        context.probed = true;
        loadGlBufferProcs(*scene.glApi, &context.procs);
    }
    if (context.procs.bindBuffer == nullptr) return nullptr;
    if (context.uploadFailed && context.failedSerial == scene.imageSerial) return nullptr;
    return &context;
}

// Takes the current context's upload `quads` further (all the way: INT32_MAX). False, the buffers
// given up for this image in this context, when it failed.
bool advanceUpload(Scene& scene, int32_t quads) {
    GlContextRecord* context = bufferContext(scene);
    if (context == nullptr || !layOutQuads(scene)) return false;
    if (continueUpload(scene, *scene.quadLayout, *context, quads)) return true;
    abandonUpload(scene, *context);
    return false;
}

}  // namespace

bool layOutQuads(Scene& scene) {
    try {
        return makeQuadLayout(scene);
    } catch (const std::bad_alloc&) {
        scene.quadLayout.reset();  // what it holds is of no use half made
        return false;
    }
}

bool uploadStep(Scene& scene) {
    if (!layOutQuads(scene)) return false;
    const int32_t share = (scene.quadLayout->quadCount + kUploadSteps - 1) / kUploadSteps;
    return advanceUpload(scene, share);
}

namespace {

// buildQuadRanges without its guard against allocation failures.
bool findQuadRanges(Scene& scene, const double eye[3], int32_t ringCount) {
    if (!layOutQuads(scene)) return false;
    QuadLayout& layout = *scene.quadLayout;
    layout.rangeFirst.clear();
    layout.rangeCount.clear();
    if (ringCount > layout.ringCount) return false;
    findFacing(scene, layout, eye);

    const uint8_t* facing = layout.facing.data();
    const int32_t ringSize = scene.ringSize;
    for (int32_t r = 0; r < ringCount; ++r) {
        const int32_t firstVertex = scene.rings[r].firstVertex;
        if (firstVertex < 0 || firstVertex % ringSize != 0 || firstVertex / ringSize >= layout.ringCount) {
            return false;  // not a ring of this layout
        }
        const int32_t k = firstVertex / ringSize;
        const int32_t begin = layout.ringFirstQuad[k];
        const int32_t end = layout.ringFirstQuad[k + 1];
        for (int pass = 0; pass < 2; ++pass) {
            const uint8_t wanted = pass == 0 ? 0 : 1;  // away from the eye first
            int32_t q = begin;
            while (q < end) {
                if (facing[q] != wanted) {
                    ++q;
                    continue;
                }
                const int32_t start = q;
                while (q < end && facing[q] == wanted) ++q;
                addRange(layout, start, q - start);
            }
        }
    }
    return true;
}

}  // namespace

bool buildQuadRanges(Scene& scene, const double eye[3], int32_t ringCount) {
    try {
        return findQuadRanges(scene, eye, ringCount);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

namespace {

// The draw calls of drawQuadRanges, once its upload is complete.
void drawFromBuffers(const Scene& scene, const GlContextRecord& context) {
    const QuadLayout& layout = *scene.quadLayout;
    const GlBufferProcs& gl = context.procs;
    const bool lit = scene.lightingOn;
    const bool twice = !scene.quickDraw;
    // Per range: first corner (quads drawn once) or byte offset into the index buffer, and its corners
    // or indices. Sized before any GL state changes, so that a failure to grow them leaves GL as it was.
    static std::vector<GLint> firsts;
    static std::vector<GLsizei> sizes;
    static std::vector<const void*> offsets;
    const size_t ranges = layout.rangeFirst.size();
    sizes.resize(ranges);
    if (twice) {
        offsets.resize(ranges);
    } else {
        firsts.resize(ranges);
    }
    for (size_t i = 0; i < ranges; ++i) {
        sizes[i] = (twice ? 8 : 4) * layout.rangeCount[i];
        if (twice) {
            offsets[i] = bufferOffset(static_cast<size_t>(layout.rangeFirst[i]) * 8 * sizeof(GLuint));
        } else {
            firsts[i] = 4 * layout.rangeFirst[i];
        }
    }

    const size_t corners = static_cast<size_t>(layout.quadCount) * 4;
    gl.bindBuffer(kGlArrayBuffer, context.vertexBuffer);
    glVertexPointer(3, GL_FLOAT, 0, bufferOffset(0));
    if (lit) glNormalPointer(GL_FLOAT, 0, bufferOffset(corners * 3 * sizeof(GLfloat)));
    glColorPointer(4, GL_FLOAT, 0, bufferOffset(corners * (lit ? 6 : 3) * sizeof(GLfloat)));
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    if (lit) glEnableClientState(GL_NORMAL_ARRAY);

    SubmitCounts& counts = submitCounts();
    counts.calls += lit ? 7 : 5;
    if (!twice) {
        GlCallTimer timer;
        if (gl.multiDrawArrays != nullptr) {
            gl.multiDrawArrays(GL_QUADS, firsts.data(), sizes.data(), static_cast<GLsizei>(ranges));
            counts.calls += 1;
            counts.bytes += static_cast<double>(ranges) * (sizeof(GLint) + sizeof(GLsizei));
        } else {
            for (size_t i = 0; i < ranges; ++i) glDrawArrays(GL_QUADS, firsts[i], sizes[i]);
            counts.calls += static_cast<double>(ranges);
        }
    } else {
        gl.bindBuffer(kGlElementArrayBuffer, context.indexBuffer);
        {
            GlCallTimer timer;
            if (gl.multiDrawElements != nullptr) {
                gl.multiDrawElements(GL_QUADS, sizes.data(), GL_UNSIGNED_INT, offsets.data(),
                                     static_cast<GLsizei>(ranges));
                counts.calls += 1;
                counts.bytes += static_cast<double>(ranges) * (sizeof(GLsizei) + sizeof(const void*));
            } else {
                for (size_t i = 0; i < ranges; ++i) glDrawElements(GL_QUADS, sizes[i], GL_UNSIGNED_INT, offsets[i]);
                counts.calls += static_cast<double>(ranges);
            }
        }
        gl.bindBuffer(kGlElementArrayBuffer, 0);
        counts.calls += 2;
    }
    gl.bindBuffer(kGlArrayBuffer, 0);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    if (lit) glDisableClientState(GL_NORMAL_ARRAY);
}

}  // namespace

bool drawQuadRanges(Scene& scene) {
    if (!scene.quadLayout || !scene.quadLayout->made || scene.quadLayout->serial != scene.imageSerial) return false;
    if (scene.quadLayout->quadCount == 0) return bufferContext(scene) != nullptr;  // nothing to draw
    // A context that missed the fade-in (or an image edited since) finishes its upload now.
    if (!advanceUpload(scene, INT32_MAX)) return false;
    try {
        drawFromBuffers(scene, scene.currentGlContext());
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool submitQuadBuffers(Scene& scene, const double eye[3], int32_t ringCount) {
    // The buffers hold the colours of a faded-in image; a fade changes them every frame.
    if (scene.fade != 1.0 || bufferContext(scene) == nullptr) return false;
    if (!buildQuadRanges(scene, eye, ringCount)) return false;
    return drawQuadRanges(scene);
}
