// libFuzzer target: the reader of ncdu and gdu JSON exports. Built by tools/fuzz.sh.
#include "saved/NcduJson.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = ::memfd_create("fuzz", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size))
        std::abort();
    ::lseek(fd, 0, SEEK_SET);
    analysis::TAnalysisTree tree;
    saved::TImported imported;
    QString error;
    saved::TImportOptions options;
    options.Drive = QStringLiteral("T:\\");
    const bool ok = saved::ImportNcduJson(fd, tree, &imported, &error, options);
    if (ok) {
        // Totals as the tree says them, and every node with a path.
        const analysis::PNode top = tree.GetFirst();
        if (top == analysis::PNode::None || imported.Entries != tree.NodeCount() ||
            imported.Summary.TotalSize != tree.Size(top) ||
            imported.Summary.TotalFiles != tree.FileCount(top))
            std::abort();
        for (analysis::PNode n = top; n != analysis::PNode::None; n = tree.GetNext(n))
            (void)tree.Path(n);
    } else if (error.isEmpty() || !tree.IsEmpty()) {
        std::abort();
    }
    ::close(fd);
    return 0;
}
