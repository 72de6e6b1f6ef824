// Replays a fuzz target without libFuzzer, with any compiler: every file of
// the seed corpus, then a number of deterministic mutations of the seeds
// (bit flips, hostile bytes and numbers, cuts, repeats and splices). Used
// as a test, so the sanitizer build runs every target on each test run.
//
// Usage: ondix-fuzz-replay-<target> CORPUS_DIR [MUTATIONS]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

struct Random
{
    uint64_t state;
    uint64_t next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    size_t below(size_t n) { return n ? size_t(next() % n) : 0; }
};

const char *const hostileNumbers[] = {
    "-1",    "0",       "2147483647", "-2147483648",           "2147483648", "4294967296", "nan", "inf", "-inf",
    "1e308", "-1e-320", "-0",         "999999999999999999999", "0x10",       "",           "1.5"};
const unsigned char hostileBytes[] = {0, 0xff, 0x7f, 0x80, '-', '9', '<', '>', '"', ' ', '\n'};

void mutate(std::string &s, const std::vector<std::string> &seeds, Random &r)
{
    switch (r.below(7)) {
    case 0: // flip a bit
        if (!s.empty())
            s[r.below(s.size())] ^= char(1u << r.below(8));
        break;
    case 1: // a hostile byte
        if (!s.empty())
            s[r.below(s.size())] = char(hostileBytes[r.below(sizeof hostileBytes)]);
        break;
    case 2: { // a run of digits becomes a hostile number
        std::vector<size_t> starts;
        for (size_t i = 0; i < s.size(); ++i)
            if (isdigit(static_cast<unsigned char>(s[i])) && (i == 0 || !isdigit(static_cast<unsigned char>(s[i - 1]))))
                starts.push_back(i);
        if (starts.empty())
            break;
        const size_t at = starts[r.below(starts.size())];
        size_t end = at;
        while (end < s.size() && (isdigit(static_cast<unsigned char>(s[end])) || s[end] == '.'))
            ++end;
        s.replace(at, end - at, hostileNumbers[r.below(sizeof hostileNumbers / sizeof *hostileNumbers)]);
        break;
    }
    case 3: // cut a range
        if (!s.empty()) {
            const size_t at = r.below(s.size());
            s.erase(at, 1 + r.below(std::min<size_t>(s.size() - at, 64)));
        }
        break;
    case 4: // repeat a range
        if (!s.empty() && s.size() < 100000) {
            const size_t at = r.below(s.size());
            const std::string piece = s.substr(at, 1 + r.below(64));
            s.insert(r.below(s.size() + 1), piece);
        }
        break;
    case 5: { // splice with another seed
        const std::string &other = seeds[r.below(seeds.size())];
        s = s.substr(0, r.below(s.size() + 1)) + other.substr(r.below(other.size() + 1));
        break;
    }
    default: // random bytes
        for (size_t k = 0, n = 1 + r.below(8); k < n; ++k)
            s.insert(r.below(s.size() + 1), 1, char(r.next()));
        break;
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [MUTATIONS]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const long mutations = argc > 2 ? std::atol(argv[2]) : 3000;
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> seeds;
    for (const std::string &name : names) {
        FILE *f = std::fopen((dir + "/" + name).c_str(), "rb");
        if (!f)
            continue;
        std::string bytes;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.append(buffer, n);
        std::fclose(f);
        seeds.push_back(bytes);
    }
    if (seeds.empty()) {
        std::fprintf(stderr, "no seeds in %s\n", dir.c_str());
        return 1;
    }
    long inputs = 0;
    for (const std::string &s : seeds) {
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(s.data()), s.size());
        ++inputs;
    }
    for (long k = 0; k < mutations; ++k) {
        Random r{0x9e3779b97f4a7c15ull ^ uint64_t(k + 1) * 0xbf58476d1ce4e5b9ull};
        std::string s = seeds[size_t(k) % seeds.size()];
        for (size_t m = 0, count = 1 + r.below(4); m < count; ++m)
            mutate(s, seeds, r);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(s.data()), s.size());
        ++inputs;
    }
    std::printf("%s: %zu seeds, %ld inputs\n", argv[0], seeds.size(), inputs);
    return 0;
}
