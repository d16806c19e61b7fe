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

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
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
    "Folders that cannot be read are named on stderr; the run still succeeds.\n"
    "\n"
    "Exit codes: 0 done, 1 the analysis failed or was incomplete, or the report could not be\n"
    "written, 2 bad arguments, unknown drive, missing folder or a CSV target that is not a\n"
    "regular file, 3 the snapshot service cannot be loaded.\n";

int failUsage(const std::string& message) {
    std::fprintf(stderr, "orbisca-report: %s (see --help)\n", message.c_str());
    return kExitUsage;
}

int fail(int code, const std::string& message) {
    std::fprintf(stderr, "orbisca-report: %s\n", message.c_str());
    return code;
}

std::string cannotWrite(const std::string& what, int err) {
    return "cannot write " + what + ": " + std::strerror(err);
}

// Standard output that keeps the first failure of any write; Finish flushes and closes it, so a
// report that did not reach its destination (a full disk, /dev/full) is never taken as done.
class Output {
public:
    void Print(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        va_list args;
        va_start(args, format);
        const int n = std::vfprintf(stdout, format, args);
        va_end(args);
        if (n < 0)
            remember(errno);
    }
    // 0 when everything written reached the destination, else the error.
    int Finish() {
        if (std::fflush(stdout) != 0)
            remember(errno);
        if (std::fclose(stdout) != 0)
            remember(errno);
        return err_;
    }

private:
    void remember(int err) {
        if (err_ == 0)
            err_ = err ? err : EIO;
    }
    int err_ = 0;
};

// Output's end: exit code of a run whose report was lost, else code.
int finish(Output& out, int code) {
    if (const int err = out.Finish())
        return fail(kExitFailed, cannotWrite("standard output", err));
    return code;
}

// The temporary file of the CSV, removed when a signal ends the program before it is renamed.
char g_pendingCsv[PATH_MAX + 64];

void removePendingCsv(int sig) {
    if (g_pendingCsv[0])
        ::unlink(g_pendingCsv);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// The CSV is written to a temporary file beside its target and renamed over it only when it is
// complete, so an earlier file survives every failure: of the analysis, of a write, of the disk.
class CsvFile {
public:
    ~CsvFile() { Discard(); }

    // Checks the target and creates the temporary file; an error message when that fails.
    std::optional<std::string> Prepare(const std::string& given) {
        given_ = given;
        target_ = given;
        struct stat st{};
        bool exists = ::lstat(given.c_str(), &st) == 0;
        if (!exists && errno != ENOENT)
            return cannotWrite(given, errno);
        if (exists && S_ISLNK(st.st_mode)) {
            // Through a link to the file it names, so the link stays.
            char real[PATH_MAX];
            if (!::realpath(given.c_str(), real))
                return cannotWrite(given, errno);
            target_ = real;
            if (::stat(real, &st) != 0)
                return cannotWrite(given, errno);
        }
        if (exists && !S_ISREG(st.st_mode))
            return "cannot write " + given + ": not a regular file";
        const size_t slash = target_.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target_.substr(0, slash);
        std::string temp = folder + "/.orbisca-report-XXXXXX";
        if (temp.size() >= sizeof g_pendingCsv)
            return cannotWrite(given, ENAMETOOLONG);
        fd_ = ::mkostemp(temp.data(), O_CLOEXEC);
        if (fd_ < 0)
            return cannotWrite(given, errno);
        temp_ = temp;
        std::memcpy(g_pendingCsv, temp_.c_str(), temp_.size() + 1);
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            std::signal(sig, removePendingCsv);
        // The new file gets the old one's permissions (and owner, where we may), else the usual.
        if (exists) {
            ::fchmod(fd_, st.st_mode & 07777);
            if (::geteuid() == 0 && (st.st_uid != 0 || st.st_gid != 0) && ::fchown(fd_, st.st_uid, st.st_gid) != 0) {
                // Keeps our own ownership; the content is what matters.
            }
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            ::fchmod(fd_, 0666 & ~mask);
        }
        return std::nullopt;
    }

    // Writes the rows and puts the file in place; an error message when that fails.
    std::optional<std::string> Commit(const TAnalysisTree& tree);

    void Discard() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        if (!temp_.empty())
            ::unlink(temp_.c_str());
        temp_.clear();
        g_pendingCsv[0] = 0;
    }

private:
    std::string given_, target_, temp_;
    int fd_ = -1;
};

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
int parseArguments(int argc, char** argv, Options& o, Output& out) {
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
            out.Print("%s", kUsage);
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
    const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    std::string digits = std::to_string(magnitude);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return v < 0 ? "-" + out : out;
}

void printLargest(Output& out, const TAnalysisTree& tree, const std::vector<PNode>& nodes, long top,
                  const char* title) {
    std::vector<PNode> best(nodes);
    const size_t n = std::min(best.size(), static_cast<size_t>(top));
    std::partial_sort(best.begin(), best.begin() + static_cast<std::ptrdiff_t>(n), best.end(),
                      [&](PNode a, PNode b) { return tree.Size(a) > tree.Size(b); });
    out.Print("\n%s\n", title);
    for (size_t i = 0; i < n; ++i)
        out.Print("%20s  %s\n", grouped(tree.Size(best[i])).c_str(),
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

std::optional<std::string> CsvFile::Commit(const TAnalysisTree& tree) {
    std::FILE* f = ::fdopen(fd_, "wb");
    if (!f)
        return cannotWrite(given_, errno);
    fd_ = -1; // the stream owns it now
    errno = 0;
    bool ok = writeCsv(f, tree) && std::fflush(f) == 0;
    int err = errno;
    // On disk before it replaces the old file: a crash then leaves the old one, not an empty one.
    if (ok && ::fsync(::fileno(f)) != 0 && errno != EINVAL && errno != EROFS) {
        ok = false;
        err = errno;
    }
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temp_.c_str(), target_.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok)
        return cannotWrite(given_, err ? err : EIO);
    temp_.clear();
    g_pendingCsv[0] = 0;
    return std::nullopt;
}

// Folders whose contents could not be read: counted and the first few named, on stderr.
void reportUnreadable(const analysis::TScanVerdict& verdict) {
    if (verdict.UnreadableFolders == 0)
        return;
    const uint32_t n = verdict.UnreadableFolders;
    std::fprintf(stderr, "orbisca-report: %u folder%s could not be read; what %s is missing from the totals:\n",
                 n, n == 1 ? "" : "s", n == 1 ? "it holds" : "they hold");
    for (const QString& folder : verdict.UnreadableSamples)
        std::fprintf(stderr, "orbisca-report:   %s (%s)\n", displayUtf8(folder).c_str(),
                     platform::NativePath(folder).c_str());
    if (n > static_cast<uint32_t>(verdict.UnreadableSamples.size()))
        std::fprintf(stderr, "orbisca-report:   and %u more\n",
                     n - static_cast<uint32_t>(verdict.UnreadableSamples.size()));
}

} // namespace

static int run(int argc, char** argv) {
    Output out;
    Options options;
    if (const int code = parseArguments(argc, argv, options, out); code >= 0)
        return finish(out, code);
    QString drive;
    std::string native;
    if (const int code = resolveTarget(options.target, drive, native); code >= 0)
        return code;

    CsvFile csv;
    if (options.csv)
        if (const auto error = csv.Prepare(*options.csv))
            return fail(kExitUsage, *error);

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
    if (!boxes.isEmpty())
        return kExitFailed;
    // A part of the drive is never reported as the whole.
    const analysis::TScanVerdict& verdict = engine.ScanVerdict;
    if (verdict.CutShort || verdict.Stopped || tree.GetFirst() == PNode::None) {
        const QString reason = verdict.CutShort ? verdict.Reason
                               : verdict.Stopped ? QStringLiteral("the analysis was stopped")
                                                 : QStringLiteral("it is empty");
        return fail(kExitFailed, "the analysis of " + native + " is incomplete: " + reason.toStdString());
    }
    reportUnreadable(verdict);

    const PNode root = tree.GetFirst();
    out.Print("Drive %s (%s)\n", displayUtf8(drive).c_str(), native.c_str());
    out.Print("Files:   %s\n", grouped(tree.FileCount(root)).c_str());
    out.Print("Folders: %s\n", grouped(tree.FolderCount(root)).c_str());
    out.Print("Bytes:   %s\n", grouped(engine.TotalSize).c_str());
    if (verdict.UnreadableFolders)
        out.Print("Unreadable folders: %s\n", grouped(verdict.UnreadableFolders).c_str());
    out.Print("Elapsed: %.3f s\n", elapsed);

    if (options.top > 0) {
        std::vector<PNode> folders, files;
        for (PNode n = tree.GetNext(root); n != PNode::None; n = tree.GetNext(n))
            (tree.IsFolder(n) ? folders : files).push_back(n);
        printLargest(out, tree, folders, options.top, "Largest folders");
        printLargest(out, tree, files, options.top, "Largest files");
    }
    int code = kExitOk;
    if (options.csv)
        if (const auto error = csv.Commit(tree))
            code = fail(kExitFailed, *error);
    return finish(out, code);
}

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        return fail(kExitFailed, "out of memory");
    }
}
