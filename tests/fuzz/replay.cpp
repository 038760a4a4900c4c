// Runs a fuzz target without libFuzzer, for CTest: every file of the seed corpus, then a
// bounded number of inputs mutated from them with a fixed seed, so that a run is repeatable.
//   replay CORPUS_DIR [ITERATIONS] [SEED]
// A failing input is written to ./crash-replay-<n> before the target aborts.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

std::vector<std::string> LoadCorpus(const std::filesystem::path& dir) {
    std::vector<std::string> corpus;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        std::ifstream in(path, std::ios::binary);
        corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return corpus;
}

std::string Mutate(const std::vector<std::string>& corpus, std::mt19937_64& rng) {
    auto pick = [&](std::size_t n) { return n ? std::size_t(rng() % n) : 0; };
    std::string s = corpus.empty() ? std::string() : corpus[pick(corpus.size())];
    const int steps = 1 + int(rng() % 8);
    for (int i = 0; i < steps; ++i) {
        switch (rng() % 6) {
        case 0: // flip a bit
            if (!s.empty()) s[pick(s.size())] ^= char(1u << (rng() % 8));
            break;
        case 1: // a random byte in
            s.insert(s.begin() + std::ptrdiff_t(pick(s.size() + 1)), char(rng()));
            break;
        case 2: // a run out
            if (!s.empty()) {
                const std::size_t at = pick(s.size());
                s.erase(at, 1 + pick(std::min<std::size_t>(16, s.size() - at)));
            }
            break;
        case 3: // an interesting byte
            if (!s.empty()) {
                static const char kBytes[] = {0,   '\b', '\r',       '\n', ',', '"', '\\', '[',
                                              ']', '=',  char(0xFF), '0',  '9', '.', ':'};
                s[pick(s.size())] = kBytes[pick(sizeof kBytes)];
            }
            break;
        case 4: // splice with another entry
            if (!corpus.empty()) {
                const std::string& other = corpus[pick(corpus.size())];
                const std::size_t from = pick(other.size() + 1);
                s.insert(pick(s.size() + 1), other.substr(from, pick(other.size() - from + 1)));
            }
            break;
        case 5: // repeat a piece
            if (!s.empty() && s.size() < 65536) {
                const std::size_t at = pick(s.size());
                const std::string piece =
                    s.substr(at, 1 + pick(std::min<std::size_t>(64, s.size() - at)));
                for (int r = int(rng() % 32); r > 0; --r)
                    s.insert(at, piece);
            }
            break;
        }
    }
    return s;
}

void Run(const std::string& input, long n) {
    // Kept until the target returns, so that an abort leaves the input behind.
    const std::string name = "crash-replay-" + std::to_string(n);
    {
        std::ofstream out(name, std::ios::binary);
        out.write(input.data(), std::streamsize(input.size()));
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    std::remove(name.c_str());
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [ITERATIONS] [SEED]\n", argv[0]);
        return 2;
    }
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    const std::vector<std::string> corpus = LoadCorpus(argv[1]);
    const long iterations = argc > 2 ? std::atol(argv[2]) : 10000;
    std::mt19937_64 rng(argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 20261208);

    long n = 0;
    for (const std::string& input : corpus)
        Run(input, n++);
    for (long i = 0; i < iterations; ++i)
        Run(Mutate(corpus, rng), n++);
    std::printf("%ld inputs (%zu from the corpus), no invariant broken\n", n, corpus.size());
    return 0;
}
