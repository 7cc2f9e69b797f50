// The scene record's set-up: run-wide settings, building and releasing an image, smoothing its normals.
#include "scene/scene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <new>
#include <vector>

#include "fractal/tube_generator.h"
#include "fractal/view_table.h"
#include "scene/frame_steps.h"
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

// The generator's allocator during a build: the image's arrays go into the scene's stores, which keep
// their capacity from image to image, so that a build writes into memory already in use instead of
// touching fresh pages (tens of megabytes at the highest detail) and a long run's memory stays flat.
// The generator asks for the vertices first, then the rings; anything further comes from malloc.
Scene* buildingScene = nullptr;  // the scene whose build is running (one build at a time)
int storeRequests = 0;           // blocks asked for so far by that build

template <typename T>
void* fromStore(std::vector<T>& store, size_t bytes) {
    const size_t count = (bytes + sizeof(T) - 1) / sizeof(T);
    if (store.capacity() < count) {
        store = std::vector<T>();  // give the old block back before asking for the larger one
        store.reserve(count);
    }
    if (store.size() < count) store.resize(count);  // never shrinks: only growth is value-initialised
    return store.data();
}

void* allocateFromStores(size_t bytes) {
    Scene& scene = *buildingScene;
    const int request = storeRequests++;
    try {
        if (request == 0) return fromStore(scene.vertexStore, bytes);
        if (request == 1) return fromStore(scene.ringStore, bytes);
    } catch (const std::bad_alloc&) {
        return nullptr;  // reported as a failed build
    }
    return std::malloc(bytes);
}

// Blocks of the stores stay with them; anything else came from malloc.
void releaseOutsideStores(void* p) {
    Scene& scene = *buildingScene;
    if (p != scene.vertexStore.data() && p != scene.ringStore.data()) std::free(p);
}

}  // namespace

Scene::Scene() = default;

Scene::~Scene() {
    // No GL here: the contexts may already be gone, and their buffers go with them.
    if (vertices != vertexStore.data()) std::free(vertices);
    if (rings != ringStore.data()) std::free(rings);
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
    try {
        std::unique_ptr<GlContextRecord> record(new GlContextRecord);
        record->context = handle;
        glContexts.push_back(std::move(record));
        return *glContexts.back();
    } catch (const std::bad_alloc&) {
        // No memory for a record: a stand-in without buffers whose lighting flag is never right, so
        // that whoever looks sends the switch again. The next call tries to make the record again.
        static GlContextRecord standIn;
        standIn = GlContextRecord{};
        standIn.context = handle;
        standIn.probed = true;
        standIn.lightingApplied = !lightingOn;
        return standIn;
    }
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
    context.upload = BufferUpload{};
}

void Scene::imageEdited() { ++imageSerial; }

Scene& Scene::instance() {
    static Scene scene;
    return scene;
}

RandomSource& Scene::rng() {
    static LcgRandom fallback;
    return random != nullptr ? *random : fallback;
}

int64_t Scene::now() { return platform != nullptr ? platform->nowSeconds() : static_cast<int64_t>(std::time(nullptr)); }

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
    // The previous image goes; its memory stays in the stores for this build.
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
        // The tables are made; the image's arrays go into the stores.
        buildingScene = this;
        storeRequests = 0;
        generator.allocate = allocateFromStores;
        generator.release = releaseOutsideStores;
        generated =
            generateImage ? generateImage(generator, shape, path, arrays) : generator.generate(shape, path, arrays);
        generator.allocate = std::malloc;
        generator.release = std::free;
        buildingScene = nullptr;
    }
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
    // The quads' layout for the buffer objects is made now, at fade 0, so that no frame pays for it.
    if (vertexArrays && bufferObjects) layOutQuads(*this);
    fadingIn = true;
    return true;
}

void Scene::releaseImage() {
    // The stores keep their memory for the next image; arrays from elsewhere (a replaced generator,
    // tests) were allocated as the generator's and are freed, even an image of zero vertices.
    if (vertices != vertexStore.data()) std::free(vertices);
    if (rings != ringStore.data()) std::free(rings);
    vertices = nullptr;
    rings = nullptr;
    vertexCount = 0;
    ++imageSerial;
    if (quadLayout) quadLayout->made = false;  // its vectors keep their capacity too
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
