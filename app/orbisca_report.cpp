// orbisca-report: a complete analysis of one drive or folder without a window. It runs the engine
// with the real snapshot service, prints the totals and the largest folders and files, and can
// write every node as CSV.

#include "analysis/AnalysisTree.h"
#include "analysis/nogui_Orbisca.h"
#include "platform/DriveTable.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

#include <QString>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using analysis::PNode;
using analysis::TAnalysisTree;

enum Exit { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitNoService = 3 };

constexpr const char* kUsage =
    "usage: orbisca-report [--top N] [--csv FILE] DRIVE_OR_FOLDER\n"
    "\n"
    "Analyses a drive (a letter such as C: or C:\\) or a folder (analysed as a temporary\n"
    "drive letter) and prints the totals and the N largest folders and files (default 10).\n"
    "\n"
    "  --top N     how many of the largest folders and files to list (0: none)\n"
    "  --csv FILE  also write every folder and file as CSV with the columns\n"
    "              path,native_path,size,folders,files,is_folder\n"
    "  --help      show this text\n"
    "\n"
    "Exit codes: 0 done, 1 the analysis failed, 2 bad arguments, unknown drive or missing\n"
    "folder, 3 the snapshot service cannot be loaded.\n";

int failUsage(const std::string& message) {
    std::fprintf(stderr, "orbisca-report: %s (see --help)\n", message.c_str());
    return kExitUsage;
}

struct Options {
    long top = 10;
    std::optional<std::string> csv;
    std::string target;
};

// A path as the program shows it, in UTF-8. The escapes of bytes that are not UTF-8 have no
// UTF-8 form and appear as U+FFFD; the native_path column keeps the real bytes.
std::string displayUtf8(const QString& s) {
    std::string out;
    out.reserve(static_cast<size_t>(s.size()));
    const char16_t* u = reinterpret_cast<const char16_t*>(s.utf16());
    const size_t n = static_cast<size_t>(s.size());
    for (size_t i = 0; i < n; ++i) {
        char32_t cp = u[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (u[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        platform::codec_detail::appendUtf8(out, cp);
    }
    return out;
}

// One RFC 4180 field: quoted when it holds a comma, a quote, CR or LF; quotes doubled.
void appendCsvField(std::string& line, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        line += field;
        return;
    }
    line += '"';
    for (char c : field) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

bool parseCount(const std::string& text, long& out) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::strtol(text.c_str(), nullptr, 10);
    return true;
}

// Returns -1 when the arguments are fine, else the exit code.
int parseArguments(int argc, char** argv, Options& o) {
    bool haveTarget = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&](const char* name, std::string& out) -> bool {
            const std::string eq = std::string(name) + "=";
            if (a.compare(0, eq.size(), eq) == 0) {
                out = a.substr(eq.size());
                return true;
            }
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        } else if (a == "--top" || a.rfind("--top=", 0) == 0) {
            if (!value("--top", v) || !parseCount(v, o.top))
                return failUsage("--top needs a number of 0 or more");
        } else if (a == "--csv" || a.rfind("--csv=", 0) == 0) {
            if (!value("--csv", v) || v.empty())
                return failUsage("--csv needs a file name");
            o.csv = v;
        } else if (a.size() > 1 && a[0] == '-' && a != "--") {
            return failUsage("unknown option " + a);
        } else {
            if (a == "--") {
                if (++i >= argc)
                    break;
            }
            if (haveTarget)
                return failUsage("only one drive or folder can be analysed");
            o.target = argv[i];
            haveTarget = true;
        }
    }
    if (!haveTarget)
        return failUsage("a drive or folder is needed");
    return -1;
}

bool isFolder(const std::string& native) {
    struct stat st{};
    return !native.empty() && ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The drive root ("X:\") to analyse; a folder gets a free letter mapped to it.
int resolveTarget(const std::string& target, QString& drive, std::string& native) {
    char letter = 0;
    if ((target.size() == 2 || (target.size() == 3 && target[2] == '\\')) && isLetter(target[0]) &&
        target[1] == ':') {
        letter = static_cast<char>(target[0] & ~0x20);
        native = platform::DriveRoot(static_cast<char16_t>(letter));
        if (native.empty() || !isFolder(native))
            return failUsage(std::string("unknown drive ") + letter + ":");
        drive = QChar(letter) + QStringLiteral(":\\");
        return -1;
    }
    std::string folder = target;
    if (target.size() > 3 && isLetter(target[0]) && target[1] == ':' && target[2] == '\\') {
        // A Windows path: its components are names as the program shows them.
        QString windows = QString::fromLatin1(target.data(), 3);
        std::string_view rest = std::string_view(target).substr(3);
        for (size_t slash; !rest.empty(); rest.remove_prefix(slash == rest.npos ? rest.size() : slash + 1)) {
            slash = rest.find('\\');
            windows += platform::DisplayName(rest.substr(0, slash));
            windows += u'\\';
        }
        folder = platform::NativePath(windows);
    }
    char real[PATH_MAX];
    if (folder.empty() || !::realpath(folder.c_str(), real) || !isFolder(real))
        return failUsage("no such folder: " + target);
    native = real;
    for (char16_t l = u'Z'; l >= u'D'; --l) {
        if (platform::DriveRoot(l).empty()) {
            platform::SetDriveRoot(l, native);
            drive = QChar(l) + QStringLiteral(":\\");
            return -1;
        }
    }
    return failUsage("no free drive letter for " + target);
}

class StderrBar : public analysis::TProgressBar {
public:
    void SetMax(int maximum) override { max_ = maximum > 0 ? maximum : 1; }
    void SetPosition(int position) override {
        const int width = 40;
        const int filled = std::clamp(position, 0, max_) * width / max_;
        const int percent = std::clamp(position, 0, max_) * 100 / max_;
        if (percent == shown_)
            return;
        shown_ = percent;
        std::string bar(static_cast<size_t>(filled), '#');
        bar.append(static_cast<size_t>(width - filled), '.');
        std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), percent);
        std::fflush(stderr);
    }
    void Finish() {
        if (shown_ >= 0)
            std::fputs("\r\033[K", stderr);
    }

private:
    int max_ = 1100;
    int shown_ = -1;
};

std::string grouped(int64_t v) {
    std::string digits = std::to_string(v < 0 ? -v : v);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return v < 0 ? "-" + out : out;
}

void printLargest(const TAnalysisTree& tree, const std::vector<PNode>& nodes, long top,
                  const char* title) {
    std::vector<PNode> best(nodes);
    const size_t n = std::min(best.size(), static_cast<size_t>(top));
    std::partial_sort(best.begin(), best.begin() + static_cast<std::ptrdiff_t>(n), best.end(),
                      [&](PNode a, PNode b) { return tree.Size(a) > tree.Size(b); });
    std::printf("\n%s\n", title);
    for (size_t i = 0; i < n; ++i)
        std::printf("%20s  %s\n", grouped(tree.Size(best[i])).c_str(),
                    displayUtf8(tree.Path(best[i])).c_str());
}

bool writeCsv(std::FILE* out, const TAnalysisTree& tree) {
    std::string line = "path,native_path,size,folders,files,is_folder\r\n";
    for (PNode n = tree.GetFirst(); n != PNode::None; n = tree.GetNext(n)) {
        const analysis::TNodeData data = tree.GetNodeData(n);
        appendCsvField(line, displayUtf8(data.Path));
        line += ',';
        appendCsvField(line, platform::NativePath(analysis::ListedPath(data)));
        line += ',' + std::to_string(data.Size) + ',' + std::to_string(data.FolderCount) + ',' +
                std::to_string(data.FileCount) + ',' + (data.IsFolder ? "1" : "0") + "\r\n";
        if (line.size() > (1 << 16)) {
            if (std::fwrite(line.data(), 1, line.size(), out) != line.size())
                return false;
            line.clear();
        }
    }
    return std::fwrite(line.data(), 1, line.size(), out) == line.size();
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int code = parseArguments(argc, argv, options); code >= 0)
        return code;
    QString drive;
    std::string native;
    if (const int code = resolveTarget(options.target, drive, native); code >= 0)
        return code;

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> csv(nullptr, std::fclose);
    if (options.csv) {
        csv.reset(std::fopen(options.csv->c_str(), "wb"));
        if (!csv)
            return failUsage("cannot write " + *options.csv + ": " + std::strerror(errno));
    }

    // Error boxes of the engine become one line each on stderr.
    QStringList boxes;
    platform::SetMessageBoxHandler([&boxes](const QString& text, const QString&, unsigned) {
        boxes.append(text);
        std::fprintf(stderr, "orbisca-report: %s\n", text.toUtf8().constData());
        return platform::IDOK;
    });

    TAnalysisTree tree;
    analysis::TOrbisca engine(&tree);
    if (!engine.DLLHandle || !engine.Undeleter)
        return kExitNoService;

    StderrBar bar;
    if (::isatty(STDERR_FILENO))
        engine.ProgressBar = &bar;
    const auto start = std::chrono::steady_clock::now();
    engine.DO_Drive(drive);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bar.Finish();
    if (!boxes.isEmpty() || tree.GetFirst() == PNode::None) {
        if (boxes.isEmpty())
            std::fprintf(stderr, "orbisca-report: the snapshot of %s is empty\n", native.c_str());
        return kExitFailed;
    }

    const PNode root = tree.GetFirst();
    std::printf("Drive %s (%s)\n", displayUtf8(drive).c_str(), native.c_str());
    std::printf("Files:   %s\n", grouped(tree.FileCount(root)).c_str());
    std::printf("Folders: %s\n", grouped(tree.FolderCount(root)).c_str());
    std::printf("Bytes:   %s\n", grouped(engine.TotalSize).c_str());
    std::printf("Elapsed: %.3f s\n", elapsed);

    if (options.top > 0) {
        std::vector<PNode> folders, files;
        for (PNode n = tree.GetNext(root); n != PNode::None; n = tree.GetNext(n))
            (tree.IsFolder(n) ? folders : files).push_back(n);
        printLargest(tree, folders, options.top, "Largest folders");
        printLargest(tree, files, options.top, "Largest files");
    }
    if (csv && (!writeCsv(csv.get(), tree) || std::fflush(csv.get()) != 0)) {
        std::fprintf(stderr, "orbisca-report: cannot write %s\n", options.csv->c_str());
        return kExitFailed;
    }
    return kExitOk;
}
