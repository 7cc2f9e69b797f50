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
#include "fractal/escape_kernels.h"
#include "fractal/tube_generator.h"
#include "fractal/view_table.h"
#include "tube_options.h"

namespace {

int fileError(const char* path) { return tubeFail("cannot write '%s'", path, false); }

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
    std::string path_;           // final name
    std::string temp_;           // name while being written
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
    TubeOptions options;
    const int parsed = parseTubeArguments(argc, argv, options);
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
    generator.referenceBuild = options.reference;
    generator.escapeKernel = options.kernel;
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
        std::fprintf(stderr, "orbivane-tube: view %d at detail %g could not be built (out of memory)\n", options.view,
                     static_cast<double>(options.detail));
        return kExitBuildFailed;
    }

    const int32_t count = generator.vertexCount;
    const int32_t rings = count / generator.ringSize;
    std::printf(
        "view %d: ringSize %d, vertexCount %d, rings %d, light %d/%d/%d/%d "
        "(diffuse/specular/ambient/shininess), build %.1f ms (%s)\n",
        options.view, generator.ringSize, count, rings, generator.diffuseWeight, generator.specularWeight,
        generator.ambientWeight, generator.shininess, ms,
        options.reference ? "reference" : escapeKernelName(resolveEscapeKernel(options.kernel)));

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
