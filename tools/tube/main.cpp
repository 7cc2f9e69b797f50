// orbivane-tube: builds one view with the tube generator, prints one summary line and optionally
// writes the vertices and rings as CSV. Exit codes: 0 done, 1 the build failed, 2 bad arguments or files.
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/random_source.h"
#include "fractal/tube_generator.h"
#include "fractal/view_table.h"

namespace {

constexpr int kExitBuildFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: orbivane-tube [--view K] [--detail D] [--draw N] [--no-bake] [--palette-shift] [--variant V]\n"
    "                     [--csv FILE] [--rings-csv FILE]\n"
    "  --view K         view 0..4 (default 0)\n"
    "  --detail D       size factor 0.1..4 (default 1; the saver uses 0.4..1.4)\n"
    "  --draw N         the generator's random draw 0..32767 (default 0: even draws pick the broad light)\n"
    "  --no-bake        flat brightness 50 instead of the built-in light model\n"
    "  --palette-shift  recolour the pure red bands; --variant V picks the variant 0..2 (default 0)\n"
    "  --csv FILE       write index,red,green,blue,px,py,pz,nx,ny,nz per vertex\n"
    "  --rings-csv FILE write index,cx,cy,cz,firstVertex per ring\n";

struct Options {
    int view = 0;          // view index 0..4
    float detail = 1.0f;   // size factor S
    int draw = 0;          // value of the generator's one random draw
    bool bake = true;      // built-in light model (false: --no-bake)
    bool shift = false;    // palette transform on
    int variant = 0;       // palette variant 0..2
    std::string csv;       // vertex CSV path, empty for none
    std::string ringsCsv;  // ring CSV path, empty for none
};

// One line on stderr; returns the usage exit code.
int fail(const char* fmt, const char* detail, bool hint) {
    std::fprintf(stderr, "orbivane-tube: ");
    std::fprintf(stderr, fmt, detail);
    std::fprintf(stderr, hint ? " (--help for usage)\n" : "\n");
    return kExitUsage;
}

int usageError(const char* fmt, const char* detail) { return fail(fmt, detail, true); }
int fileError(const char* path) { return fail("cannot write '%s'", path, false); }

// Whole decimal integer in [lo, hi]; false for anything else.
bool parseInt(const char* text, long lo, long hi, int& value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || v < lo || v > hi) {
        return false;
    }
    value = static_cast<int>(v);
    return true;
}

// Returns -1 when the arguments are good, else the exit code to leave with.
int parseArguments(int argc, char** argv, Options& o) {
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        const bool takesValue = arg == "--view" || arg == "--detail" || arg == "--draw" || arg == "--variant" ||
                                arg == "--csv" || arg == "--rings-csv";
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--no-bake") {
            o.bake = false;
            continue;
        }
        if (arg == "--palette-shift") {
            o.shift = true;
            continue;
        }
        if (!takesValue) {
            return usageError("unknown option '%s'", argv[a]);
        }
        if (a + 1 >= argc) {
            return usageError("option %s needs a value", argv[a]);
        }
        const char* value = argv[++a];
        if (arg == "--view") {
            if (!parseInt(value, 0, kViewCount - 1, o.view)) {
                return usageError("--view must be a whole number from 0 to 4, not '%s'", value);
            }
        } else if (arg == "--detail") {
            char* end = nullptr;
            const double d = std::strtod(value, &end);
            if (end == value || *end != '\0' || !(d >= 0.1 && d <= 4.0)) {
                return usageError("--detail must be a number from 0.1 to 4, not '%s'", value);
            }
            o.detail = static_cast<float>(d);
        } else if (arg == "--draw") {
            if (!parseInt(value, 0, 32767, o.draw)) {
                return usageError("--draw must be a whole number from 0 to 32767, not '%s'", value);
            }
        } else if (arg == "--variant") {
            if (!parseInt(value, 0, 2, o.variant)) {
                return usageError("--variant must be 0, 1 or 2, not '%s'", value);
            }
        } else if (arg == "--csv") {
            o.csv = value;
        } else {
            o.ringsCsv = value;
        }
    }
    if (!o.csv.empty() && o.csv == o.ringsCsv) {
        return usageError("--csv and --rings-csv name the same file '%s'", o.csv.c_str());
    }
    return -1;
}

// A CSV file written under a temporary name and renamed into place only when complete.
class CsvFile {
public:
    ~CsvFile() { discard(); }

    bool open(const std::string& path) {
        path_ = path;
        temp_ = path + ".partial";
        file_ = std::fopen(temp_.c_str(), "wb");
        return file_ != nullptr;
    }
    std::FILE* get() const { return file_; }
    bool active() const { return file_ != nullptr; }

    // Closes and renames into place; on any failure nothing is left behind.
    bool commit() {
        if (file_ == nullptr) {
            return true;
        }
        const bool written = std::ferror(file_) == 0;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!written || !closed) {
            std::remove(temp_.c_str());
            return false;
        }
        if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
            // Windows does not rename over an existing file.
            std::remove(path_.c_str());
            if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
                std::remove(temp_.c_str());
                return false;
            }
        }
        return true;
    }

    void discard() {
        if (file_ != nullptr) {
            std::fclose(file_);
            file_ = nullptr;
            std::remove(temp_.c_str());
        }
    }

private:
    std::string path_;         // final name
    std::string temp_;         // name while being written
    std::FILE* file_ = nullptr;  // open temporary file, null when none
};

void writeVertices(std::FILE* f, const TubeArrays& arrays, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const TubeVertex& v = arrays.vertices[i];
        std::fprintf(f, "%d,%d,%d,%d,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g\n", i, v.red, v.green, v.blue, v.position[0],
                     v.position[1], v.position[2], v.normal[0], v.normal[1], v.normal[2]);
    }
}

void writeRings(std::FILE* f, const TubeArrays& arrays, int32_t count) {
    for (int32_t r = 0; r < count; ++r) {
        const TubeRing& ring = arrays.rings[r];
        std::fprintf(f, "%d,%.17g,%.17g,%.17g,%d\n", r, ring.centre[0], ring.centre[1], ring.centre[2],
                     ring.firstVertex);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const int parsed = parseArguments(argc, argv, options);
    if (parsed >= 0) {
        return parsed;
    }

    // Open the outputs first, so that an unwritable path fails before the build.
    CsvFile vertexFile;
    CsvFile ringFile;
    if (!options.csv.empty() && !vertexFile.open(options.csv)) {
        return fileError(options.csv.c_str());
    }
    if (!options.ringsCsv.empty() && !ringFile.open(options.ringsCsv)) {
        return fileError(options.ringsCsv.c_str());
    }

    ScriptedRandom draw{options.draw};
    const auto start = std::chrono::steady_clock::now();
    TubeGenerator generator;
    generator.detailWidth = options.detail * 300.0f;
    generator.detailHeight = options.detail * 200.0f;
    generator.random = &draw;
    TubeArrays arrays;
    bool built = generator.init();
    TubeShape shape{};
    FractalPath path{};
    if (built) {
        shape = generator.shapeTable[options.view];
        path = generator.pathTable[options.view];
        generator.bakeLighting = options.bake ? 1 : 0;
        generator.paletteShift = options.shift;
        generator.paletteVariant = options.variant;
        built = generator.generate(shape, path, arrays);
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!built) {
        std::fprintf(stderr, "orbivane-tube: view %d at detail %g could not be built (out of memory)\n",
                     options.view, static_cast<double>(options.detail));
        return kExitBuildFailed;
    }

    const int32_t count = generator.vertexCount;
    const int32_t rings = count / generator.ringSize;
    std::printf("view %d: ringSize %d, vertexCount %d, rings %d, light %d/%d/%d/%d "
                "(diffuse/specular/ambient/shininess), build %.1f ms\n",
                options.view, generator.ringSize, count, rings, generator.diffuseWeight, generator.specularWeight,
                generator.ambientWeight, generator.shininess, ms);

    int status = 0;
    if (vertexFile.active()) {
        writeVertices(vertexFile.get(), arrays, count);
        if (!vertexFile.commit()) {
            status = fileError(options.csv.c_str());
        }
    }
    if (ringFile.active() && status == 0) {
        writeRings(ringFile.get(), arrays, rings);
        if (!ringFile.commit()) {
            status = fileError(options.ringsCsv.c_str());
        }
    }
    freeTubeArrays(arrays);
    return status;
}
