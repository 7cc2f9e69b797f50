// The browser shell's WebAssembly entry points: the scene run by its own rules (settings, playlist,
// builds, 20 ms ticks) inside the page's worker, and the image's arrays for the page's renderer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/random_source.h"
#include "fractal/escape_kernels.h"
#include "fractal/tube_generator.h"
#include "fractal/view_table.h"
#include "scene/scene.h"
#include "settings/overlay_backend.h"
#include "settings/setting_table.h"
#include "settings/settings_store.h"

#define WEB_EXPORT extern "C" __attribute__((used, visibility("default")))

namespace {

// The worker's clock: whole seconds from the page's start time plus the ticks run, 50 to a second,
// as the desktop's timer gives them. Repaints are the page's own business (display rate).
class WebPlatform final : public ScenePlatform {
public:
    int64_t nowSeconds() override { return start + ticks / 50; }
    void repaintSurfaces() override {}
    void showError(const char* text, const char*) override {
        failed = true;
        errorText = text;
    }
    int64_t start = 0;      // seconds at tick 0
    int64_t ticks = 0;      // ticks run so far
    bool failed = false;    // a build failed (out of memory)
    std::string errorText;  // what the desktop's error box would say
};

WebPlatform platform;
LcgRandom runDraws;              // the run's random source, seeded from the clock by loadSettings
SettingOverrides settingValues;  // what the page set; every other setting reads as its default
NoSettingsBackend noStore;
OverlayBackend settings(settingValues, noStore);

// What the page reads after every call, in one block of doubles (see the page's worker for the names).
double state[20];

void fillState() {
    Scene& s = Scene::instance();
    const double values[] = {s.angle,
                             s.offsetX,
                             s.fade,
                             s.lightingOn ? 1.0 : 0.0,
                             s.lightTwoSides ? 1.0 : 0.0,
                             s.lightDistance,
                             s.gloss,
                             s.alpha,
                             s.quickDraw ? 1.0 : 0.0,
                             static_cast<double>(s.vertexCount),
                             static_cast<double>(s.ringSize),
                             static_cast<double>(s.imageSerial),
                             static_cast<double>(s.playlist.cursor),
                             static_cast<double>(reinterpret_cast<uintptr_t>(s.vertices)),
                             static_cast<double>(reinterpret_cast<uintptr_t>(s.rings)),
                             platform.failed ? 1.0 : 0.0,
                             static_cast<double>(platform.ticks),
                             s.rotationSpeed,
                             static_cast<double>(s.interval),
                             s.preview ? 1.0 : 0.0};
    static_assert(sizeof values == sizeof state, "state block size");
    std::memcpy(state, values, sizeof state);
}

}  // namespace

WEB_EXPORT void* orb_alloc(int32_t bytes) { return std::malloc(static_cast<size_t>(bytes)); }
WEB_EXPORT void orb_free(void* p) { std::free(p); }
WEB_EXPORT double* orb_state() { return state; }
// The message of the last failed build ("" when none has failed since the run started).
WEB_EXPORT const char* orb_error_text() { return platform.errorText.c_str(); }
// Where the renderer finds the fields of the image's records, in bytes: vertex size, its position and
// normal, ring size, its centre and first vertex. (The colour bytes open a vertex record.)
WEB_EXPORT const int32_t* orb_record_layout() {
    static const int32_t layout[] = {
        static_cast<int32_t>(sizeof(TubeVertex)),           static_cast<int32_t>(offsetof(TubeVertex, position)),
        static_cast<int32_t>(offsetof(TubeVertex, normal)), static_cast<int32_t>(sizeof(TubeRing)),
        static_cast<int32_t>(offsetof(TubeRing, centre)),   static_cast<int32_t>(offsetof(TubeRing, firstVertex))};
    static_assert(offsetof(TubeVertex, red) == 0 && offsetof(TubeVertex, green) == 1 && offsetof(TubeVertex, blue) == 2,
                  "colour bytes open a vertex record");
    return layout;
}

// Stores one setting as the settings store would find it (the page's stored values, by name).
WEB_EXPORT void orb_setting(const char* name, int32_t value) { settingValues[name] = value; }
WEB_EXPORT void orb_settings_clear() { settingValues.clear(); }

// Starts a run as the desktop does at start-up: the clock at `startSeconds` seeds the draws, the
// playlist picks the first image (or `view` 0..4 when not negative, as orbivane-render's --view) and
// it is built. False when the build failed.
WEB_EXPORT int32_t orb_start(double startSeconds, int32_t view, int32_t preview) {
    SettingsStore::instance().setBackend(&settings);
    Scene& scene = Scene::instance();
    platform.start = static_cast<int64_t>(startSeconds);
    platform.ticks = 0;
    platform.failed = false;
    platform.errorText.clear();
    scene.platform = &platform;
    scene.random = &runDraws;
    scene.preview = preview != 0;
    scene.loadSettings();
    scene.angle = 0;  // as a fresh surface's render state sets it
    if (view >= 0) scene.playlist.cursor = view;
    const bool built = scene.buildImage();
    fillState();
    return built ? 1 : 0;
}

// Runs the ticks up to `tick` (counted from the start). Returns the image serial afterwards.
WEB_EXPORT double orb_tick_to(double tick) {
    Scene& scene = Scene::instance();
    const int64_t target = static_cast<int64_t>(tick);
    while (platform.ticks < target) {
        scene.tick();
        ++platform.ticks;
    }
    fillState();
    return static_cast<double>(scene.imageSerial);
}

// The name of the escape loop this module's builds use ("scalar" or "simd128").
WEB_EXPORT const char* orb_kernel_name() { return escapeKernelName(resolveEscapeKernel(EscapeKernel::Automatic)); }

// Builds view `view` at `detail` (size factor) with generator draw `draw`, as orbivane-tube does, and
// returns an FNV-1a hash of every vertex's three colour bytes (0 when the build fails or there is no
// such view).
WEB_EXPORT uint32_t orb_colour_digest(int32_t view, double detail, int32_t draw, int32_t bake, int32_t kernel) {
    if (view < 0 || view >= kViewCount) return 0;
    ScriptedRandom draws{draw};
    TubeGenerator generator;
    const float size = static_cast<float>(detail);
    generator.detailWidth = size * 300.0f;
    generator.detailHeight = size * 200.0f;
    generator.bakeLighting = bake;
    generator.random = &draws;
    generator.escapeKernel = static_cast<EscapeKernel>(kernel);
    if (!generator.init()) return 0;
    TubeShape shape = generator.shapeTable[view];
    FractalPath path = generator.pathTable[view];
    TubeArrays arrays;
    if (!generator.generate(shape, path, arrays)) return 0;
    uint32_t hash = 2166136261u;
    for (int32_t i = 0; i < generator.vertexCount; ++i) {
        const uint8_t bytes[3] = {arrays.vertices[i].red, arrays.vertices[i].green, arrays.vertices[i].blue};
        for (uint8_t b : bytes) hash = (hash ^ b) * 16777619u;
    }
    freeTubeArrays(arrays);
    return hash;
}

// The settings table as JSON for the page's panel: per stored value its name, kind, default and range
// in stored units; the image family one row per image.
WEB_EXPORT const char* orb_settings_table() {
    static std::string json;
    if (!json.empty()) return json.c_str();
    static const char* const kKinds[] = {"number", "flag", "choice", "tenths"};
    const auto add = [](const char* name, const SettingRow& row) {
        json += json.empty() ? "[" : ",";
        json += std::string("{\"name\":\"") + name + "\",\"kind\":\"" + kKinds[static_cast<int>(row.kind)] +
                "\",\"def\":" + std::to_string(row.defaultValue) + ",\"low\":" + std::to_string(row.low) +
                ",\"high\":" + std::to_string(row.high) + "}";
    };
    const SettingRow* rows = settingTable();
    for (int i = 0; i < kSettingCount; ++i) {
        if (rows[i].id == SettingId::images) {
            for (int32_t image = 0; image < kImageCount; ++image) add(ImageSettingName(image).text, rows[i]);
        } else {
            add(rows[i].name, rows[i]);
        }
    }
    json += "]";
    return json.c_str();
}
