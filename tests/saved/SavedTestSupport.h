#pragma once

// Shared by the saved-analysis tests: scanning a folder of the test's own through the engine and
// the real snapshot service, a fixture tree of awkward names and shapes, and the comparison of
// two analyses node by node.

#include "TestTree.h"

#include "analysis/AnalysisTree.h"
#include "analysis/nogui_Orbisca.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/ProgramFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <sys/wait.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace savedtest {

using analysis::PNode;
using analysis::TAnalysisTree;

// An engine with the real service, analysing a folder mapped to a drive letter.
struct Scan {
    TAnalysisTree tree;
    std::unique_ptr<analysis::TOrbisca> engine;

    Scan(const std::string& folder, char16_t letter) {
        platform::SetMessageBoxHandler([](const QString& text, const QString&, unsigned) {
            ADD_FAILURE() << "message box: " << text.toStdString();
            return platform::IDOK;
        });
        platform::SetProgramFolder(platform::WindowsPath(ORBISCA_PROGRAM_FOLDER));
        platform::SetDriveRoot(letter, folder);
        engine = std::make_unique<analysis::TOrbisca>(&tree);
        engine->DO_Drive(QString(QChar(letter)) + QStringLiteral(":\\"));
        platform::SetDriveRoot(letter, "");
        platform::SetMessageBoxHandler({});
    }
};

// Names Linux allows that Windows would not, and names the tree trims or escapes.
inline const std::vector<std::string>& awkwardNames() {
    static const std::vector<std::string> names = {
        " leading blank",
        "trailing blank ",
        "  ",
        "tab\tinside",
        "line\nbreak",
        "\x01\x1f"
        "ctl",
        "back\\slash",
        "\\",
        "bad\xff"
        "byte",
        "lone\xc3",
        "surrogate\xed\xa0\x80",
        "real\xef\x81\x9c"
        "f05c",
        "caf\xc3\xa9",
        "emoji\xf0\x9f\x98\x80",
        std::string(255, 'n'),
        "Foo",
        "FOO",
        "comma,\"quote\"",
        "{All Deleted Files}x",
    };
    return names;
}

// Files of those names, folders of some of them nested a few levels, links (to a folder only
// when asked: an export cannot tell a link to a folder from one to a file), a hard link, a fifo
// and an empty folder.
inline void makeAwkwardTree(const testtree::TempDir& dir, bool linkToFolder = true) {
    size_t size = 1;
    for (const std::string& name : awkwardNames())
        testtree::writeFile(dir / name, size++ * 37);
    std::string folder = dir.path();
    for (const char* name : {"sub",
                             "bad\xfe"
                             "folder",
                             "trailing ", "back\\slash dir"}) {
        folder += "/";
        folder += name;
        testtree::makeDir(folder);
        for (int i = 0; i < 30; ++i)
            testtree::writeFile(folder + "/file" + std::to_string(i) + ".txt", size++ * 11);
    }
    testtree::makeDir(dir / "empty");
    testtree::writeFile(dir / "sub/inner", 4000);
    EXPECT_EQ(::link((dir / "sub/inner").c_str(), (dir / "hardlink").c_str()), 0);
    if (linkToFolder) {
        EXPECT_EQ(::symlink("sub", (dir / "link-to-folder").c_str()), 0);
    }
    EXPECT_EQ(::symlink("sub/inner", (dir / "link-to-file").c_str()), 0);
    EXPECT_EQ(::symlink("nowhere", (dir / "dangling").c_str()), 0);
    EXPECT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
}

// Every node in the same place with the same record and identity, and the same summary.
inline void expectSameTree(const TAnalysisTree& a, const TAnalysisTree& b) {
    EXPECT_EQ(a.NodeCount(), b.NodeCount());
    EXPECT_EQ(a.Device(), b.Device());
    PNode x = a.GetFirst(), y = b.GetFirst();
    size_t compared = 0;
    for (; x != PNode::None && y != PNode::None; x = a.GetNext(x), y = b.GetNext(y), ++compared) {
        const analysis::TNodeData dx = a.GetNodeData(x), dy = b.GetNodeData(y);
        ASSERT_EQ(dx.Path, dy.Path) << "node " << compared;
        EXPECT_EQ(dx.ListedName, dy.ListedName) << dx.Path.toStdString();
        EXPECT_EQ(dx.Size, dy.Size) << dx.Path.toStdString();
        EXPECT_EQ(dx.FolderCount, dy.FolderCount) << dx.Path.toStdString();
        EXPECT_EQ(dx.FileCount, dy.FileCount) << dx.Path.toStdString();
        EXPECT_EQ(dx.IsFolder, dy.IsFolder) << dx.Path.toStdString();
        EXPECT_EQ(a.Inode(x), b.Inode(y)) << dx.Path.toStdString();
        // The same shape: each node's parent is the one met at the same place.
        EXPECT_EQ(a.GetParent(x) == PNode::None, b.GetParent(y) == PNode::None);
        if (a.GetParent(x) != PNode::None && b.GetParent(y) != PNode::None) {
            EXPECT_EQ(a.Path(a.GetParent(x)), b.Path(b.GetParent(y)));
        }
    }
    EXPECT_EQ(x, PNode::None);
    EXPECT_EQ(y, PNode::None);
}

inline void expectSameSummary(const analysis::TAnalysisSummary& a,
                              const analysis::TAnalysisSummary& b) {
    EXPECT_EQ(a.Drive, b.Drive);
    EXPECT_EQ(a.TotalSize, b.TotalSize);
    EXPECT_EQ(a.TotalFiles, b.TotalFiles);
    EXPECT_EQ(a.TotalFolders, b.TotalFolders);
    EXPECT_EQ(a.Verdict.CutShort, b.Verdict.CutShort);
    EXPECT_EQ(a.Verdict.Reason, b.Verdict.Reason);
    EXPECT_EQ(a.Verdict.Stopped, b.Verdict.Stopped);
    EXPECT_EQ(a.Verdict.UnreadableFolders, b.Verdict.UnreadableFolders);
    EXPECT_EQ(a.Verdict.UnreadableSamples, b.Verdict.UnreadableSamples);
}

// What an analysis says of each node, by path: for comparing analyses whose entries come in
// another order (ncdu lists a folder as its listing gives it).
struct NodeFacts {
    int64_t size;
    uint32_t folders, files;
    bool folder;
    bool operator==(const NodeFacts&) const = default;
};
inline std::map<QString, NodeFacts> factsByPath(const TAnalysisTree& t) {
    std::map<QString, NodeFacts> m;
    for (PNode n = t.GetFirst(); n != PNode::None; n = t.GetNext(n))
        m[t.Path(n)] = {t.Size(n), t.FolderCount(n), t.FileCount(n), t.IsFolder(n)};
    return m;
}
inline void expectSameFacts(const TAnalysisTree& a, const TAnalysisTree& b) {
    const auto fa = factsByPath(a), fb = factsByPath(b);
    EXPECT_EQ(fa.size(), fb.size());
    for (const auto& [path, facts] : fa) {
        const auto it = fb.find(path);
        if (it == fb.end()) {
            ADD_FAILURE() << "missing: " << path.toStdString();
            continue;
        }
        EXPECT_EQ(facts.size, it->second.size) << path.toStdString();
        EXPECT_EQ(facts.folders, it->second.folders) << path.toStdString();
        EXPECT_EQ(facts.files, it->second.files) << path.toStdString();
        EXPECT_EQ(facts.folder, it->second.folder) << path.toStdString();
    }
}

inline bool installed(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a program with its standard output into a string (standard error to /dev/null, no
// standard input); its exit code, or -1.
inline int runProgram(const std::vector<std::string>& args, std::string* out = nullptr) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], 1);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 2);
        ::close(pipeFds[0]);
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::alarm(120);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string text;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (out)
        *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A file of the test's own, opened for reading and writing.
struct TempFile {
    std::string path;
    int fd = -1;
    explicit TempFile(const testtree::TempDir& dir, const std::string& name = "file")
        : path(dir / name) {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    }
    ~TempFile() {
        if (fd >= 0)
            ::close(fd);
    }
    std::string Contents() const {
        std::string s;
        char buffer[65536];
        for (off_t at = 0;;) {
            const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
            if (n <= 0)
                break;
            s.append(buffer, static_cast<size_t>(n));
            at += n;
        }
        return s;
    }
    void Replace(const std::string& bytes) {
        ::ftruncate(fd, 0);
        ::pwrite(fd, bytes.data(), bytes.size(), 0);
    }
};

} // namespace savedtest
