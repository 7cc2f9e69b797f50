// The scene record's set-up: run-wide settings, building and releasing an image, smoothing its normals.
#include "scene/scene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "fractal/tube_generator.h"
#include "fractal/view_table.h"
#include "scene/gl_context_api.h"
#include "scene/gl_context_record.h"
#include "scene/gl_includes.h"
#include "settings/settings_store.h"

namespace {

constexpr const char* kOutOfMemoryText = "Out of memory. Try smaller detail level (Settings >> General)";
constexpr const char* kOutOfMemoryShortText = "Out of Memory";
constexpr const char* kOutOfMemoryCaption = "Unexpected error";

// "light_source": 1 lit, 0 unlit, anything else lit on an even draw.
bool chooseLighting(int32_t lightSource, RandomSource& random) {
    if (lightSource == 1) return true;
    if (lightSource == 0) return false;
    return random.next() % 2 == 0;
}

// "interval_option": 0 -> 45 s, 1 -> 60 s, anything else 90 s.
int32_t intervalSeconds(int32_t option) {
    if (option == 0) return 45;
    if (option == 1) return 60;
    return 90;
}

// The previous image's blocks, offered to the next build so that it writes into memory already in
// use instead of touching fresh pages (tens of megabytes at the highest detail). One build at a time.
struct ReusePool {
    void* block[2] = {nullptr, nullptr};  // spare blocks (null: slot empty)
    size_t size[2] = {0, 0};              // their sizes in bytes
    void* handed[2] = {nullptr, nullptr}; // what the build was given, spare or fresh
    size_t handedSize[2] = {0, 0};        // bytes asked for
    int handedCount = 0;

    void offer(void* p, size_t bytes) {
        for (int i = 0; i < 2; ++i) {
            if (block[i] == nullptr) {
                block[i] = p;
                size[i] = bytes;
                return;
            }
        }
        std::free(p);
    }
    // Bytes of a block the build was given (0 when it was not given through the pool).
    size_t sizeOf(const void* p) const {
        for (int i = 0; i < handedCount; ++i)
            if (handed[i] == p) return handedSize[i];
        return 0;
    }
    void freeSpares() {
        for (int i = 0; i < 2; ++i) {
            std::free(block[i]);
            block[i] = nullptr;
            size[i] = 0;
        }
    }
};
ReusePool* activePool = nullptr;

// The generator's allocator during a build: the smallest spare block that is large enough, else fresh
// memory (after freeing the largest spare, too small for this request anyway).
void* allocateReusing(size_t bytes) {
    ReusePool& pool = *activePool;
    int best = -1;
    for (int i = 0; i < 2; ++i) {
        if (pool.block[i] != nullptr && pool.size[i] >= bytes && (best < 0 || pool.size[i] < pool.size[best])) best = i;
    }
    void* p = nullptr;
    if (best >= 0) {
        p = pool.block[best];
        pool.block[best] = nullptr;
        pool.size[best] = 0;
    } else {
        int largest = -1;
        for (int i = 0; i < 2; ++i)
            if (pool.block[i] != nullptr && (largest < 0 || pool.size[i] > pool.size[largest])) largest = i;
        if (largest >= 0) {
            std::free(pool.block[largest]);
            pool.block[largest] = nullptr;
            pool.size[largest] = 0;
        }
        p = std::malloc(bytes);
    }
    if (p != nullptr && pool.handedCount < 2) {
        pool.handed[pool.handedCount] = p;
        pool.handedSize[pool.handedCount] = bytes;
        ++pool.handedCount;
    }
    return p;
}

}  // namespace

Scene::Scene() = default;

Scene::~Scene() {
    TubeArrays arrays;
    arrays.vertices = vertices;
    arrays.rings = rings;
    freeTubeArrays(arrays);
}

void Scene::startGlContext() {
    applyRenderState(preview, lightingOn);
    // A fresh context has lighting off and holds no buffers: whatever a record of an earlier context
    // with the same handle says no longer applies. Now the lighting matches the scene's choice.
    GlContextRecord& context = currentGlContext();
    const void* handle = context.context;
    context = GlContextRecord{};
    context.context = handle;
    context.lightingApplied = lightingOn;
    angle = 0;
}

void initRenderState(Scene& scene) { scene.startGlContext(); }

GlContextRecord& Scene::currentGlContext() {
    const void* handle = glApi != nullptr && glApi->currentContext != nullptr ? glApi->currentContext() : nullptr;
    for (const std::unique_ptr<GlContextRecord>& record : glContexts)
        if (record->context == handle) return *record;
    glContexts.emplace_back(new GlContextRecord);
    glContexts.back()->context = handle;
    return *glContexts.back();
}

void Scene::forgetGlContext(const void* context) {
    glContexts.erase(std::remove_if(glContexts.begin(), glContexts.end(),
                                    [&](const std::unique_ptr<GlContextRecord>& r) { return r->context == context; }),
                     glContexts.end());
}

void Scene::deleteCurrentBuffers() {
    if (glApi == nullptr) return;
    if (glApi->currentContext != nullptr && glApi->currentContext() == nullptr) return;  // none current
    GlContextRecord& context = currentGlContext();
    const GLuint buffers[2] = {context.vertexBuffer, context.indexBuffer};
    if (context.procs.deleteBuffers != nullptr) {
        if (buffers[0] != 0) context.procs.deleteBuffers(1, &buffers[0]);
        if (buffers[1] != 0) context.procs.deleteBuffers(1, &buffers[1]);
    }
    context.vertexBuffer = 0;
    context.indexBuffer = 0;
    context.vertexMade = false;
    context.indexMade = false;
}

void Scene::imageEdited() {
    ++imageSerial;
}

Scene& Scene::instance() {
    static Scene scene;
    return scene;
}

RandomSource& Scene::rng() {
    static LcgRandom fallback;
    return random != nullptr ? *random : fallback;
}

int64_t Scene::now() {
    return platform != nullptr ? platform->nowSeconds() : static_cast<int64_t>(std::time(nullptr));
}

void Scene::loadSettings() {
    SettingsStore& store = SettingsStore::instance();
    monitorMode = static_cast<MonitorMode>(store.readMonitorMode());
    releaseImage();
    // Seed before the first pick, so a shuffled start differs from run to run.
    rng().seed(static_cast<uint32_t>(now()));
    playlist.cursor = 0;
    if (!preview) {
        playlist.cursor = -1;
        playlist.advance(rng());
    }
    store.registryEnabled = true;
    quickDraw = store.readQuickDraw();
    // The quads go to GL through vertex arrays: the same pixels as immediate mode with a few calls
    // per frame instead of several per quad; once faded in, from buffer objects where the context
    // has them, so that a frame hands GL only the ranges to draw.
    vertexArrays = true;
    bufferObjects = true;

    // Opacity 1.0 (level 0) down to 0.8 (level 40). Quads drawn twice get the alpha whose double
    // application covers as much as one quad at a: 1 - (1 - a')^2 = a.
    const int32_t level = store.readTranspLevel();
    double a = 1.0 - (level * 0.1) * 0.05;
    if (!quickDraw) a = 1.0 - std::sqrt(1.0 - a * a);
    alpha = static_cast<float>(a);

    rotationSpeed = static_cast<float>(store.readRotationSpeed() * 0.01);
    detailScale = static_cast<float>((store.readDetailLevel() - 3) * 0.2 + 1.2);
    lightingOn = chooseLighting(store.readLightSource(), rng());
    interval = intervalSeconds(store.readIntervalOption());
}

bool Scene::buildImage() {
    SettingsStore& store = SettingsStore::instance();
    RandomSource& random = rng();
    // The previous image goes, but its memory stays on offer to this build.
    ReusePool pool;
    if (vertices != nullptr && vertexBytes > 0) {
        pool.offer(vertices, vertexBytes);
        vertices = nullptr;
    }
    if (rings != nullptr && ringBytes > 0) {
        pool.offer(rings, ringBytes);
        rings = nullptr;
    }
    releaseImage();

    angle = static_cast<float>(random.next() * 10.0 / 32767.0);
    const float speed = std::fabs(rotationSpeed);
    rotationSpeed = random.next() % 2 != 0 ? speed : -speed;
    offsetX = static_cast<float>((random.next() / 32767.0 - 0.5) * 1.6);
    fade = 0;

    const float size = preview ? 0.4f : detailScale;
    TubeGenerator generator;  // lives for this build only, with its view tables
    generator.detailWidth = size * 300.0f;
    generator.detailHeight = size * 200.0f;
    generator.bakeLighting = 1;
    generator.paletteShift = false;
    generator.paletteVariant = 0;
    generator.vertexCount = 0;
    generator.random = &random;
    // A failed init is reported like a failed generation, after the same draws.
    const bool tablesReady = generator.init();

    workingPath = defaultPath();
    generator.driftRate = workingPath.driftRate;

    const int32_t paletteType = store.readPaletteType();
    if (paletteType == 1) {
        generator.paletteShift = true;
    } else if (paletteType != 0) {
        generator.paletteShift = random.next() % 2 == 0;
    }
    if (generator.paletteShift) generator.paletteVariant = random.next() % 3;

    lightTwoSides = store.readLight2Sides();
    lightDistance = store.readLightDistance();

    lightingOn = chooseLighting(store.readLightSource(), random);
    // Compared with what the current context has, not with the last choice: a failed build may have
    // changed the choice without switching GL. Other contexts follow when they next draw.
    const bool lightingChanged = lightingOn != currentGlContext().lightingApplied;
    if (lightingOn) generator.bakeLighting = 0;
    generator.lightDirection[0] = 1.0;
    generator.lightDirection[1] = 1.0;
    generator.lightDirection[2] = 1.0;

    const int32_t view = ((playlist.cursor % kViewCount) + kViewCount) % kViewCount;
    TubeArrays arrays;
    bool generated = false;
    if (tablesReady) {
        TubeShape shape = generator.shapeTable[view];
        FractalPath path = generator.pathTable[view];
        // The tables are made; the image's arrays come from the pool.
        generator.allocate = allocateReusing;
        activePool = &pool;
        generated = generateImage ? generateImage(generator, shape, path, arrays)
                                  : generator.generate(shape, path, arrays);
        activePool = nullptr;
        generator.allocate = std::malloc;
    }
    pool.freeSpares();
    if (!generated) {
        if (!preview && platform != nullptr) {
            building = true;  // the box runs its own message loop; ticks wait until it closes
            platform->showError(store.readDetailLevel() > 0 ? kOutOfMemoryText : kOutOfMemoryShortText,
                                kOutOfMemoryCaption);
            building = false;
        }
        vertexCount = 0;
        fade = 0;
        fadingIn = false;
        return false;
    }

    ringSize = generator.ringSize;
    vertexCount = generator.vertexCount;
    vertices = arrays.vertices;
    rings = arrays.rings;
    vertexBytes = pool.sizeOf(vertices);
    ringBytes = pool.sizeOf(rings);

    gloss = store.readGlossLevel();
    if (store.readGlossRandom()) gloss = static_cast<float>((random.next() % 101) * 0.1);

    if (lightingChanged) {
        switchLighting(lightingOn);
        currentGlContext().lightingApplied = lightingOn;
    }

    interval = intervalSeconds(store.readIntervalOption());
    startTime = static_cast<int32_t>(static_cast<uint32_t>(now()));
    if (lightingOn) smoothNormals();
    ++imageSerial;
    fadingIn = true;
    return true;
}

void Scene::releaseImage() {
    // Frees whatever is held, even an image of zero vertices, so nothing can leak.
    if (vertices != nullptr || rings != nullptr) {
        TubeArrays arrays;
        arrays.vertices = vertices;
        arrays.rings = rings;
        freeTubeArrays(arrays);
    }
    vertices = nullptr;
    rings = nullptr;
    vertexBytes = 0;
    ringBytes = 0;
    vertexCount = 0;
    ++imageSerial;
    quadLayout.reset();
    deleteCurrentBuffers();
}

void Scene::smoothNormals() {
    if (rings == nullptr || ringSize <= 0) return;
    const int32_t ringCount = vertexCount / ringSize;
    for (int32_t r = 0; r < ringCount; ++r) {
        const int32_t first = rings[r].firstVertex;
        for (int pass = 0; pass < 2; ++pass) {
            for (int32_t j = 0; j < ringSize; ++j) {
                const int32_t v = first + j;
                const int32_t w = v + ringSize;
                if (w >= vertexCount - 1) continue;
                const int32_t neighbour = j == ringSize - 1 ? v + 1 : w + 1;
                double* n = vertices[v].normal;
                const double* m = vertices[neighbour].normal;
                const double sx = n[0] + m[0];
                const double sy = n[1] + m[1];
                const double sz = n[2] + m[2];
                const double length = std::sqrt(sx * sx + sy * sy + sz * sz);
                if (length > 0) {  // opposite normals would give no direction at all: keep the old one
                    n[0] = sx / length;
                    n[1] = sy / length;
                    n[2] = sz / length;
                }
            }
        }
    }
}
