// libFuzzer target: the reader of our saved-analysis format. Built by tools/fuzz.sh.
//
// Each input is read three ways: as a whole file; with its header checksum made right, so that
// mutations reach the header's fields; and as the records of a block behind a valid header, so
// that mutations reach the tree builder past zstd's checksum.
#include "saved/ByteCoding.h"
#include "saved/SavedFormat.h"

#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

#include <cstdlib>
#include <string>

namespace {

int fileOf(const std::string& bytes) {
    const int fd = ::memfd_create("fuzz", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        std::abort();
    return fd;
}

void readAndCheck(const std::string& bytes) {
    const int fd = fileOf(bytes);
    analysis::TAnalysisTree tree;
    saved::TSavedHeader header;
    QString error;
    const bool ok = saved::ReadSaved(fd, tree, &header, &error);
    if (ok) {
        // A tree read whole has the entries its header promised, and every node a path.
        if (tree.NodeCount() != header.Entries)
            std::abort();
        for (analysis::PNode n = tree.GetFirst(); n != analysis::PNode::None; n = tree.GetNext(n))
            (void)tree.Path(n);
    } else if (error.isEmpty() || !tree.IsEmpty()) {
        std::abort();
    }
    saved::TSavedHeader only;
    saved::ReadSavedHeader(fd, &only, &error);
    ::close(fd);
}

// The header of a small valid file, its fields given as the fuzzer's bytes say.
std::string withFixedHeaderCrc(std::string bytes) {
    if (bytes.size() < 16)
        return bytes;
    const uint32_t fields =
        saved::bytes::GetU32(reinterpret_cast<const unsigned char*>(bytes.data()) + 12);
    if (fields > bytes.size() - 16 || bytes.size() - 16 - fields < 4)
        return bytes;
    std::string crc;
    saved::bytes::PutU32(
        crc, static_cast<uint32_t>(
                 ::crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), uInt(16 + fields))));
    bytes.replace(16 + fields, 4, crc);
    return bytes;
}

// The header of a file of one folder, changed to promise `entries` entries.
std::string validHeader(uint64_t entries) {
    analysis::TAnalysisTree tree;
    tree.AddTopFolder(u"F:\\");
    analysis::TAnalysisSummary summary;
    summary.Drive = QStringLiteral("F:\\");
    summary.Origin.Loaded = true;
    const int fd = ::memfd_create("header", MFD_CLOEXEC);
    QString error;
    if (!saved::WriteSaved(fd, saved::HeaderForSaving(tree, summary), tree, &error))
        std::abort();
    std::string out(4096, '\0');
    const ssize_t n = ::pread(fd, out.data(), out.size(), 0);
    ::close(fd);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    const auto* p = reinterpret_cast<const unsigned char*>(out.data());
    const uint32_t fields = saved::bytes::GetU32(p + 12);
    for (size_t at = 16; at + 6 <= 16 + fields;) {
        const uint16_t tag = saved::bytes::GetU16(p + at);
        const uint32_t length = saved::bytes::GetU32(p + at + 2);
        if (tag == 17) { // the entries
            std::string value;
            saved::bytes::PutU64(value, entries);
            out.replace(at + 6, 8, value);
        }
        at += 6 + length;
    }
    out.resize(16 + fields + 4);
    return withFixedHeaderCrc(out);
}

std::string asRecords(const uint8_t* data, size_t size) {
    static const std::string header = validHeader(1000);
    std::string out = header;
    std::string stored(ZSTD_compressBound(size), '\0');
    const size_t n = ZSTD_compress(stored.data(), stored.size(), data, size, 1);
    if (ZSTD_isError(n) || size == 0)
        return out;
    saved::bytes::PutU32(out, static_cast<uint32_t>(size));
    saved::bytes::PutU32(out, static_cast<uint32_t>(n));
    out.append(stored.data(), n);
    saved::bytes::PutU32(out, 0);
    saved::bytes::PutU32(out, 0);
    saved::bytes::PutU64(out, 1000);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    readAndCheck(bytes);
    readAndCheck(withFixedHeaderCrc(bytes));
    readAndCheck(asRecords(data, size));
    return 0;
}
