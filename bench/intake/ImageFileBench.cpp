// Writing a 12-megapixel opaque image held in memory to a temporary PNG file, against QImage::save
// of the same image to the same folder. Each case runs in a process of its own, so that its peak
// resident memory (VmHWM) is its own; the fastest of several runs counts for time. The sizes of
// the two files are compared too.
//
//   image_file_bench [rounds]

#include "intake/FileURL.h"
#include "intake/TemporaryImageFile.h"
#include "shared/PosixFileManager.h"

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace {

namespace fs = std::filesystem;

constexpr int width = 4000;
constexpr int height = 3000;
constexpr double rawBytes = width * height * 4.0;

class Folder final : public tovin::Environment {
public:
    explicit Folder(fs::path path)
        : path_(std::move(path)) {}
    std::optional<std::string> variable(std::string_view name) const override {
        return name == "TMPDIR" ? std::optional(path_.string()) : std::nullopt;
    }

private:
    fs::path path_;
};

// Smooth gradients with some noise, so that the encoder works about as hard as on a photo.
QImage photoLikeImage() {
    QImage image(width, height, QImage::Format_ARGB32);
    std::uint32_t noise = 2463534242u;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const int grain = static_cast<int>(noise & 15);
            line[x] = qRgba((x * 255 / width + grain) & 255, (y * 255 / height + grain) & 255,
                            ((x + y) / 31 + grain) & 255, 255);
        }
    }
    return image;
}

long peakResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:"))
            return std::stol(line.substr(6));
    return -1;
}

// One case in this process: prints the seconds taken, the peak resident memory and the size of
// the file.
int runCase(const std::string& name, const fs::path& folder) {
    const QImage image = photoLikeImage();
    const auto start = std::chrono::steady_clock::now();
    fs::path file = folder / "qt.png";
    if (name == "qt") {
        if (!image.save(QString::fromStdString(file.string()), "PNG"))
            return 1;
    } else {
        tovin::PosixFileManager fileManager(std::make_shared<Folder>(folder));
        tovin::RandomUUIDSource uuids;
        const std::optional<QUrl> written =
            tovin::writeTemporaryImageFile(image, fileManager, uuids);
        if (!written)
            return 1;
        file = tovin::localPath(*written);
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    std::printf("%f %ld %ju\n", seconds.count(), peakResidentKilobytes(), fs::file_size(file));
    return 0;
}

struct Figures {
    double seconds = 1e9;
    long peakKilobytes = 0;
    std::uintmax_t bytes = 0;
};

Figures runChild(const std::string& name, const fs::path& folder) {
    // Built piece by piece: GCC 12 misreads a chain of + on strings as overlapping copies.
    std::string command = "'";
    command += fs::read_symlink("/proc/self/exe").string();
    command += "' --case ";
    command += name;
    command += " '";
    command += folder.string();
    command += "'";
    FILE* child = ::popen(command.c_str(), "r");
    Figures figures;
    if (!child ||
        std::fscanf(child, "%lf %ld %ju", &figures.seconds, &figures.peakKilobytes,
                    &figures.bytes) != 3 ||
        ::pclose(child) != 0) {
        std::fprintf(stderr, "the %s case failed\n", name.c_str());
        std::exit(1);
    }
    for (const auto& entry : fs::directory_iterator(folder))
        fs::remove(entry.path());
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--case")
        return runCase(argv[2], argv[3]);

    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::string pattern = (fs::temp_directory_path() / "tovin-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        return 1;
    const fs::path folder = pattern;

    std::map<std::string, Figures> best;
    for (int round = 0; round < rounds; ++round) {
        for (const std::string name : {"qt", "tovin"}) {
            const Figures run = runChild(name, folder);
            auto& figures = best[name];
            figures.seconds = std::min(figures.seconds, run.seconds);
            figures.peakKilobytes = std::max(figures.peakKilobytes, run.peakKilobytes);
            figures.bytes = run.bytes;
        }
    }
    fs::remove_all(folder);

    const auto& qt = best["qt"];
    const auto& tovin = best["tovin"];
    const auto peakRatio = [](const Figures& f) { return f.peakKilobytes * 1024.0 / rawBytes; };
    std::printf("image %dx%d ARGB32, raw %.1f MB, best of %d rounds\n", width, height,
                rawBytes / 1e6, rounds);
    for (const auto& [name, figures] :
         {std::pair{"QImage::save           ", qt}, std::pair{"writeTemporaryImageFile", tovin}})
        std::printf("%s  %.3f s   peak RSS %.1f MB (%.2fx raw)   file %.2f MB\n", name,
                    figures.seconds, figures.peakKilobytes * 1024.0 / 1e6, peakRatio(figures),
                    static_cast<double>(figures.bytes) / 1e6);
    std::printf("time ratio %.3fx (target <= 0.25x), file size ratio %.3fx (target <= 1.15x), peak "
                "memory %.2fx raw (target <= 2.5x)\n",
                tovin.seconds / qt.seconds,
                static_cast<double>(tovin.bytes) / static_cast<double>(qt.bytes), peakRatio(tovin));
    return 0;
}
