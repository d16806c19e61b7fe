// Generates a tree of N entries below a folder for the scaling benchmarks: folders of about 30
// entries, nested up to eight deep, names of 4 to 40 characters, files of 0 to 64 KiB (sparse,
// so the tree costs inodes, not disk space). Deterministic for a given N.
//
//   bench_gentree FOLDER N

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_gentree FOLDER N\n");
        return 2;
    }
    const std::string base = argv[1];
    const long total = std::atol(argv[2]);
    if (::mkdir(base.c_str(), 0755) != 0 && errno != EEXIST) {
        std::perror("mkdir");
        return 1;
    }
    uint64_t seed = 88172645463325252ull;
    const auto rnd = [&] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    const auto name = [&](long i) {
        std::string n = std::to_string(i) + "_";
        const size_t len = 4 + rnd() % 37;
        while (n.size() < len)
            n += static_cast<char>('a' + rnd() % 26);
        return n;
    };
    struct Folder {
        int fd;
        int depth;
    };
    std::vector<Folder> folders{{::open(base.c_str(), O_RDONLY | O_DIRECTORY), 0}};
    long made = 0;
    size_t next = 0;
    while (made < total && next < folders.size()) {
        const Folder f = folders[next++];
        for (int k = 0; k < 30 && made < total; ++k, ++made) {
            const std::string n = name(made);
            if (rnd() % 10 == 0 && f.depth < 8) {
                ::mkdirat(f.fd, n.c_str(), 0755);
                folders.push_back({::openat(f.fd, n.c_str(), O_RDONLY | O_DIRECTORY), f.depth + 1});
            } else {
                const int fd = ::openat(f.fd, n.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd < 0) {
                    std::perror("create");
                    return 1;
                }
                if (::ftruncate(fd, static_cast<off_t>(rnd() % 65536)) != 0)
                    std::perror("ftruncate");
                ::close(fd);
            }
        }
        // Keep descriptors bounded: a folder is done once its entries are made.
        ::close(f.fd);
        if (next == folders.size() && made < total) {
            // Ran out of folders: continue in a fresh one at the top.
            const std::string n = "more" + std::to_string(made);
            ::mkdir((base + "/" + n).c_str(), 0755);
            folders.push_back({::open((base + "/" + n).c_str(), O_RDONLY | O_DIRECTORY), 1});
            ++made;
        }
    }
    for (size_t i = next; i < folders.size(); ++i)
        ::close(folders[i].fd);
    std::printf("%ld entries in %s\n", made, base.c_str());
    return 0;
}
