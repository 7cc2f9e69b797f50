// orbivane-render: runs the real scene, tick and renderer off-screen and writes one frame as a PNG.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "display/linux/offscreen_surface.h"
#include "png_writer.h"
#include "render_options.h"
#include "scene/scene.h"
#include "settings/linux/file_backend.h"
#include "settings/overlay_backend.h"
#include "settings/settings_store.h"

namespace {

constexpr const char* kUsage =
    "usage: orbivane-render --view K [--detail LEVEL] [--size WxH] [--ticks N] [--seed S] [--preview]\n"
    "                       [--settings FILE] [--submit immediate|arrays|buffers] [--frames N] --out FILE.png\n"
    "  --view K         image 0..4 to build first\n"
    "  --detail LEVEL   detail level 0..4 (default: the settings' value)\n"
    "  --size WxH       frame size in pixels (default 800x500)\n"
    "  --ticks N        animation ticks of 20 ms to run before the frame (default 0)\n"
    "  --seed S         start of the run's clock in seconds, which seeds the random draws (default 1)\n"
    "  --preview        render as the preview box does (small image, dark blue background)\n"
    "  --settings FILE  read the settings from this file (default: built-in defaults)\n"
    "  --submit PATH    how the quads reach GL: immediate, arrays or buffers (default buffers, as the\n"
    "                   saver: buffer objects once faded in, arrays while fading)\n"
    "  --frames N       draw N frames one tick apart after the ticks; the last is written (default 1)\n"
    "  --out FILE.png   where to write the frame\n";

// The run's platform: a simulated wall clock (50 ticks a second from --seed), repaints that draw into
// the off-screen surface, and error boxes printed on stderr.
class RenderPlatform final : public ScenePlatform {
public:
    RenderPlatform(Scene& scene, int64_t start) : scene_(scene), start_(start) {}
    int64_t nowSeconds() override { return start_ + ticks / 50; }
    void repaintSurfaces() override {
        if (repaint) scene_.renderFrame();
    }
    void showError(const char* text, const char* caption) override {
        std::fprintf(stderr, "orbivane-render: %s: %s\n", caption, text);
        failed = true;
    }
    int64_t ticks = 0;    // ticks run so far
    bool failed = false;  // an error box was shown
    bool repaint = true;  // ticks draw a frame, as the saver's do

private:
    Scene& scene_;
    int64_t start_;  // clock at tick 0, seconds
};

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    RenderOptions options;
    std::string error;
    if (!parseRenderArguments(argc, argv, &options, &error)) {
        std::fprintf(stderr, "orbivane-render: %s\n", error.c_str());
        return 2;
    }

    // The scene only reads settings, so the overlay never writes the file.
    NoSettingsBackend defaults;
    std::unique_ptr<FileSettingsBackend> file;
    if (!options.settingsFile.empty()) file = std::make_unique<FileSettingsBackend>(options.settingsFile);
    SettingOverrides overrides;
    if (options.detail >= 0) overrides[settingRow(SettingId::detailLevel).name] = options.detail;
    OverlayBackend settings(overrides, file ? static_cast<SettingsBackend&>(*file) : defaults);
    SettingsStore::instance().setBackend(&settings);

    OffscreenSurface surface;
    if (!surface.create(options.width, options.height)) {
        std::fprintf(stderr, "orbivane-render: cannot create a %" PRId32 "x%" PRId32 " OSMesa surface\n", options.width,
                     options.height);
        return 1;
    }

    Scene& scene = Scene::instance();
    LcgRandom random;
    RenderPlatform platform(scene, options.seed);
    scene.preview = options.preview;
    scene.platform = &platform;
    scene.random = &random;
    scene.loadSettings();
    scene.glApi = &offscreenGlApi();
    scene.vertexArrays = options.submit != "immediate";
    scene.bufferObjects = options.submit == "buffers";
    setViewportAndProjection(options.width, options.height);
    initRenderState(scene);
    scene.playlist.cursor = options.view;
    if (!scene.buildImage()) return 1;
    for (int64_t i = 0; i < options.ticks; ++i) {
        platform.ticks = i;
        scene.tick();
    }
    platform.ticks = options.ticks;
    if (platform.failed) return 1;
    // The frames: each drawn and finished, then one tick (without a repaint of its own) before the next.
    platform.repaint = false;
    for (int64_t frame = 0; frame < options.frames; ++frame) {
        if (frame > 0) {
            platform.ticks = options.ticks + frame;
            scene.tick();
            if (platform.failed) return 1;
        }
        scene.renderFrame();
        surface.finish();
    }
    scene.releaseImage();

    if (!writePng(options.out, options.width, options.height, surface.pixels(), &error)) {
        std::fprintf(stderr, "orbivane-render: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
