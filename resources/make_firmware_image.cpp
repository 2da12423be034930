// Writes the firmware image the application carries (":/update.bin"): a raw 512 KiB flash image in
// which the byte at offset A belongs at flash address A. The press's real firmware lies outside this
// project, so the image is a deterministic stand-in with the same layout: the application region
// (0x26000 up to 0x63000) starts with a readable marker naming the version, "ZelPress firmware 2.24",
// and is filled with a fixed pseudo-random sequence; the parameter page (0x7E000 up to 0x7F000) holds
// the same kind of bytes except its last 64, which stay erased (0xFF) like everything else.
//
// Usage: make_firmware_image <output file>   (run by the build; the same bytes every time)
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

constexpr std::size_t kImageSize = 0x80000;
constexpr std::size_t kApplicationStart = 0x26000;
constexpr std::size_t kApplicationEnd = 0x63000;
constexpr std::size_t kParameterPageStart = 0x7E000;
constexpr std::size_t kParameterPageEnd = 0x7F000;
constexpr std::size_t kUncomparedBytes = 64;
constexpr char kMarker[] = "ZelPress firmware 2.24";

// xorshift32 from a fixed seed: the same image on every build and every machine.
class Sequence {
public:
    explicit Sequence(std::uint32_t seed)
        : m_state(seed) {}
    std::uint8_t next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return static_cast<std::uint8_t>(m_state >> 24);
    }

private:
    std::uint32_t m_state;
};

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
        return 2;
    }
    std::vector<std::uint8_t> image(kImageSize, 0xFF);
    Sequence sequence(0x5EA7u);
    for (std::size_t a = kApplicationStart; a < kApplicationEnd; ++a)
        image[a] = sequence.next();
    std::memcpy(&image[kApplicationStart], kMarker, sizeof kMarker);
    for (std::size_t a = kParameterPageStart; a < kParameterPageEnd - kUncomparedBytes; ++a)
        image[a] = sequence.next();

    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
