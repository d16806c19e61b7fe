// orbisca-report: a complete analysis of one drive or folder without a window. It runs the engine
// with the real snapshot service, prints the totals and the largest folders and files, and can
// write every node as CSV.

#include "analysis/AnalysisTree.h"
#include "analysis/nogui_Orbisca.h"
#include "platform/DriveTable.h"
#include "platform/FileSystemIdentity.h"
#include "platform/MessageBox.h"
#include "platform/NameCodec.h"
#include "platform/Paths.h"
#include "platform/UserSession.h"
#include "saved/Compare.h"
#include "saved/NcduJson.h"
#include "saved/OpenAnalysis.h"
#include "saved/SavedFormat.h"

#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <sys/random.h>
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
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

using analysis::PNode;
using analysis::TAnalysisTree;

enum Exit { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitNoService = 3 };

constexpr const char* kUsage =
    "usage: orbisca-report [--top N] [--csv FILE] [--save FILE] [--ncdu-json FILE]\n"
    "                      DRIVE_OR_FOLDER | --load FILE\n"
    "       orbisca-report [--top N] [--csv FILE] --compare OLD NEW\n"
    "\n"
    "Analyses a drive (a letter such as C: or C:\\) or a folder (analysed as a temporary\n"
    "drive letter) and prints the totals and the N largest folders and files (default 10).\n"
    "\n"
    "  --top N          how many of the largest folders and files to list (0: none)\n"
    "  --csv FILE       also write every folder and file as CSV with the columns\n"
    "                   path,native_path,size,folders,files,is_folder\n"
    "  --save FILE      also save the analysis in the program's own format\n"
    "  --ncdu-json FILE also write the analysis as ncdu JSON (version 1.2), for ncdu -f and\n"
    "                   gdu -f\n"
    "  --load FILE      report a saved analysis (the program's own, or an ncdu or gdu JSON\n"
    "                   export) instead of analysing; --top, --csv, --save and --ncdu-json\n"
    "                   work on it as on an analysis\n"
    "  --compare OLD NEW\n"
    "                   compare two analyses, each a saved file (as for --load) or a drive\n"
    "                   or folder analysed now: the totals and their change, the N folders\n"
    "                   and files that grew and shrank most; --csv writes every item with\n"
    "                   the columns path,native_path,old_size,new_size,delta,old_files,\n"
    "                   new_files,state (same, grown, shrunk, new, gone, moved, unknown)\n"
    "  --help           show this text\n"
    "\n"
    "Folders that cannot be read are named on stderr; the run still succeeds. Names on the\n"
    "terminal are escaped as ls -b does (\\n, \\t, \\\\ for a backslash in a name, \\ooo for "
    "other\n"
    "control characters and bytes that are not UTF-8); the CSV quotes them, and its native_path\n"
    "column keeps their exact bytes.\n"
    "\n"
    "A comparison matches items by path, then an item that left one place and one that\n"
    "appeared elsewhere with the same inode as a move (only when both analyses are of the\n"
    "same file system). What a side could not read, and what an incomplete side lacks, is\n"
    "unknown and counts nowhere; an incomplete side is named on stderr and the run ends\n"
    "with exit code 1 after the comparison.\n"
    "\n"
    "Each file replaces its target only when complete. A target that is a symbolic link, or a\n"
    "file of another user in a folder others may write, is refused, as is a symbolic link of\n"
    "another user on the way to the target's folder.\n"
    "\n"
    "Exit codes: 0 done, 1 the analysis failed or was incomplete, a file to --load could not be\n"
    "read, or the report or a file could not be written, 2 bad arguments, unknown drive,\n"
    "missing folder or a refused target (not a regular file, or one of the above; also when it\n"
    "became one during the analysis), 3 the snapshot service cannot be loaded. A closed pipe on\n"
    "standard output ends the program as SIGPIPE does (status 141 in a shell); a file not yet in\n"
    "place is then not written.\n";

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

// ---- Names on the terminal -------------------------------------------------------------------

void appendOctal(std::string& out, unsigned char byte) {
    out += '\\';
    out += static_cast<char>('0' + (byte >> 6));
    out += static_cast<char>('0' + ((byte >> 3) & 7));
    out += static_cast<char>('0' + (byte & 7));
}

// Characters a terminal acts on instead of showing: C0 and C1 controls, DEL, the line and
// paragraph separators and the bidirectional controls that reorder what follows them.
bool actsOnTerminal(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029 ||
           cp == 0x061C || cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069);
}

// A name or path in UTF-8 that cannot move the cursor, colour the screen or start a line of its
// own: escaped as `ls -b` does, with \n \t \r \a \b \f \v, \\ for a backslash that is part of a
// Linux name (a bare backslash is the separator of Windows paths) and \ooo for each byte of any
// other such character and for each byte that is not UTF-8. Blanks stay as they are, for
// readable paths; the text report ends each name with the line.
std::string terminalText(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp == platform::kBackslashInName) {
            out += "\\\\";
            continue;
        }
        if (cp >= 0xDC80 && cp <= 0xDCFF) { // a byte that is not UTF-8
            appendOctal(out, static_cast<unsigned char>(cp - 0xDC00));
            continue;
        }
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (!actsOnTerminal(cp)) {
            platform::codec_detail::appendUtf8(out, cp);
            continue;
        }
        static constexpr char kLetters[] = "abtnvfr"; // \a (7) to \r (13)
        if (cp >= 7 && cp <= 13) {
            out += '\\';
            out += kLetters[cp - 7];
            continue;
        }
        std::string bytes;
        platform::codec_detail::appendUtf8(bytes, cp);
        for (const char b : bytes)
            appendOctal(out, static_cast<unsigned char>(b));
    }
    return out;
}

// A display path (a Windows path of display names) or a message for the terminal.
std::string shown(const QString& s) {
    return terminalText(std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()),
                                            static_cast<size_t>(s.size())));
}

// A native path (or any bytes, such as an argument) for the terminal.
std::string shownNative(std::string_view bytes) {
    return terminalText(platform::DecodeNativeName(bytes));
}

// ---- The CSV file ----------------------------------------------------------------------------

// Who the CSV is written for: the effective user and, for a root process started by pkexec or
// sudo for a desktop user, that user. Only their files are replaced in a folder others may write.
class Callers {
public:
    Callers() = default; // nobody
    // Asked only when there is a CSV to write: a desktop user is looked up in the user database.
    static Callers OfThisProcess() { return Callers(::geteuid()); }
    bool Include(uid_t uid) const { return uid == effective_ || (desktop_ && uid == *desktop_); }
    // Owners whose folders and links are taken as they are: root and the callers.
    bool Trust(uid_t uid) const { return uid == 0 || Include(uid); }

private:
    explicit Callers(uid_t effective) : effective_(effective) {
        if (effective_ == 0) {
            const platform::UserSession& session = platform::CurrentUserSession();
            if (session.source == "PKEXEC_UID" || session.source == "SUDO_UID")
                desktop_ = session.uid;
        }
    }
    uid_t effective_ = static_cast<uid_t>(-1);
    std::optional<uid_t> desktop_;
};

struct Failure {
    int code;
    std::string message;
};

Failure cannotWriteTarget(const std::string& given, const std::string& why) {
    return {kExitUsage, "cannot write " + shownNative(given) + ": " + why};
}

// Opens the folder at path (O_PATH), one component at a time. A symbolic link on the way is
// followed only when root or a caller owns it: a link is never changed, only replaced, and
// whoever replaces one owns the new link, so a folder others may write cannot lead the report
// into another user's folder. Returns the descriptor, else -1 with the reason in why.
int openFolder(const std::string& path, const Callers& callers, std::string& why) {
    int fd = ::open(!path.empty() && path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    const auto failWith = [&](std::string reason) {
        if (fd >= 0)
            ::close(fd);
        why = std::move(reason);
        return -1;
    };
    if (fd < 0)
        return failWith(std::strerror(errno));
    std::vector<std::string> pending; // the components still to walk, the next one last
    const auto push = [&pending](std::string_view text) {
        std::vector<std::string> parts;
        for (size_t start = 0; start <= text.size();) {
            const size_t slash = std::min(text.find('/', start), text.size());
            if (slash > start)
                parts.emplace_back(text.substr(start, slash - start));
            start = slash + 1;
        }
        pending.insert(pending.end(), parts.rbegin(), parts.rend());
    };
    push(path);
    for (int links = 0; !pending.empty();) {
        const std::string name = std::move(pending.back());
        pending.pop_back();
        if (name == ".")
            continue;
        const int entry = ::openat(fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (entry < 0)
            return failWith(std::strerror(errno));
        struct stat st {};
        if (::fstat(entry, &st) != 0) {
            const int err = errno;
            ::close(entry);
            return failWith(std::strerror(err));
        }
        if (S_ISDIR(st.st_mode)) {
            ::close(fd);
            fd = entry;
            continue;
        }
        if (!S_ISLNK(st.st_mode)) {
            ::close(entry);
            return failWith(std::strerror(ENOTDIR));
        }
        char target[PATH_MAX];
        const ssize_t n = ::readlinkat(entry, "", target, sizeof target);
        ::close(entry);
        if (!callers.Trust(st.st_uid))
            return failWith("the link " + shownNative(name) +
                            " on its way belongs to another user");
        if (++links > 40)
            return failWith(std::strerror(ELOOP));
        if (n <= 0 || static_cast<size_t>(n) >= sizeof target)
            return failWith(std::strerror(n < 0 ? errno : ENAMETOOLONG));
        const std::string_view text(target, static_cast<size_t>(n));
        if (text[0] == '/') {
            ::close(fd);
            fd = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0)
                return failWith(std::strerror(errno));
        }
        push(text);
    }
    return fd;
}

// The temporary files of the targets (CSV, saved analysis, ncdu JSON), removed at every ending
// before they are in place: the destructor on returns, the signal handler on signals, atexit on
// any exit() on the way.
struct PendingFile {
    volatile std::sig_atomic_t set = 0;
    int folder = -1;
    char name[32];
};
constexpr int kTargets = 3;
PendingFile g_pending[kTargets];

void removePending(PendingFile& p) {
    if (p.set) {
        p.set = 0;
        ::unlinkat(p.folder, p.name, 0);
    }
}

void removePendingFiles() {
    for (PendingFile& p : g_pending)
        removePending(p);
}

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

void endBySignal(int sig) {
    removePendingFiles();
    // Then the signal's own ending, so the caller sees it (status 141 for a closed pipe).
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

void catchEndings() {
    static bool caught = false;
    if (caught)
        return;
    caught = true;
    std::atexit(removePendingFiles);
    struct sigaction action {};
    action.sa_handler = endBySignal;
    sigemptyset(&action.sa_mask);
    for (const int sig : kEndingSignals)
        sigaddset(&action.sa_mask, sig);
    for (const int sig : kEndingSignals) {
        struct sigaction old {};
        // A signal ignored by whoever started us (nohup) stays ignored; an ignored SIGPIPE
        // turns a closed pipe into a write error, which ends the run as one.
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
            ::sigaction(sig, &action, nullptr);
    }
}

// A file the report writes (the CSV, a saved analysis, an ncdu JSON export) is written to a
// temporary file in the target's folder and renamed over the target only when it is complete,
// so an earlier file survives every failure: of the analysis, of a write, of the disk. Everything
// happens relative to the folder opened once; the target's name is looked at without following
// links, and renaming replaces the entry itself, so no link is ever written through and no file
// of another user is ever opened.
class TargetFile {
public:
    // Writes the contents to the descriptor given; the reason when that failed.
    using Writer = std::function<std::optional<std::string>(int fd)>;

    explicit TargetFile(int slot) : pending_(g_pending[slot]) {}
    ~TargetFile() { Discard(); }
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;

    // Checks the target and creates the temporary file; the failure when that is refused.
    std::optional<Failure> Prepare(const std::string& given) {
        given_ = given;
        callers_ = Callers::OfThisProcess();
        const size_t slash = given.rfind('/');
        name_ = slash == std::string::npos ? given : given.substr(slash + 1);
        const std::string folder = slash == std::string::npos ? "."
                                   : slash == 0               ? "/"
                                                              : given.substr(0, slash);
        if (name_.empty() || name_ == "." || name_ == "..")
            return cannotWriteTarget(given, "not a regular file");
        std::string why;
        folder_ = openFolder(folder, callers_, why);
        if (folder_ < 0)
            return cannotWriteTarget(given, why);
        struct stat st {};
        bool exists = false;
        if (auto refused = checkTarget(st, exists))
            return refused;
        // The umask's permissions (0666 & ~umask, as for any file the caller creates); a replaced
        // file of a caller may narrow them, never widen them: a file in a folder others may write
        // can be a hard link another user made to any file of root. Another user's file lends
        // nothing. A report is never executable.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode_ = 0666 & ~mask;
        if (exists && callers_.Include(st.st_uid))
            mode_ &= st.st_mode;

        catchEndings();
        for (int attempt = 0; fd_ < 0; ++attempt) {
            std::string temp = ".orbisca-report-" + randomSuffix();
            fd_ = ::openat(folder_, temp.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd_ < 0 && (errno != EEXIST || attempt == 100))
                return cannotWriteTarget(given, std::strerror(errno));
            if (fd_ >= 0) {
                std::memcpy(pending_.name, temp.c_str(), temp.size() + 1);
                pending_.folder = folder_;
                pending_.set = 1;
            }
        }
        return std::nullopt;
    }

    // Writes the contents and puts the file in place; the failure when that fails.
    std::optional<Failure> Commit(const Writer& write);

    void Discard() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        removePending(pending_);
        if (folder_ >= 0)
            ::close(folder_);
        folder_ = -1;
    }

private:
    // Whether the target's entry may be replaced; st and exists describe it.
    std::optional<Failure> checkTarget(struct stat& st, bool& exists) const {
        exists = ::fstatat(folder_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (!exists)
            return errno == ENOENT ? std::nullopt
                                   : std::optional(cannotWriteTarget(given_, std::strerror(errno)));
        if (S_ISLNK(st.st_mode))
            return cannotWriteTarget(given_, "a symbolic link");
        if (!S_ISREG(st.st_mode))
            return cannotWriteTarget(given_, "not a regular file");
        // In a folder others may write (sticky or not), a file of someone else may have been put
        // there for root to fill; elsewhere a caller (root) chose to keep it there. A folder of
        // another user, or one others may write, is no reason to refuse in itself: renaming
        // never writes through whatever is there, and whoever may swap entries there could
        // replace the finished file as well.
        struct stat folder {};
        if (::fstat(folder_, &folder) != 0)
            return cannotWriteTarget(given_, std::strerror(errno));
        const bool othersMayWrite =
            !callers_.Trust(folder.st_uid) || (folder.st_mode & (S_IWGRP | S_IWOTH));
        if (othersMayWrite && !callers_.Include(st.st_uid))
            return cannotWriteTarget(given_, "a file of another user in a folder others may write");
        return std::nullopt;
    }

    static std::string randomSuffix() {
        static constexpr char kChars[] =
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        unsigned char bytes[10];
        if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
            // No entropy yet: the clock still differs between attempts; O_EXCL keeps it safe.
            const auto t =
                static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
            for (size_t i = 0; i < sizeof bytes; ++i)
                bytes[i] = static_cast<unsigned char>(t >> (i % 8 * 8)) ^
                           static_cast<unsigned char>(i * 37);
        }
        std::string s;
        for (const unsigned char b : bytes)
            s += kChars[b % (sizeof kChars - 1)];
        return s;
    }

    PendingFile& pending_;
    Callers callers_;
    std::string given_, name_;
    int folder_ = -1;
    int fd_ = -1;
    mode_t mode_ = 0644;
};
struct Options {
    long top = 10;
    std::optional<std::string> csv;
    std::optional<std::string> save;     // our format
    std::optional<std::string> ncduJson; // ncdu JSON 1.2
    std::optional<std::string> load;     // a saved analysis or an export, instead of a scan
    std::string target;
    std::optional<std::pair<std::string, std::string>> compare; // OLD and NEW
};

// The native path of a display path of the analysis: its components after the drive, below the
// native folder the drive stood for when it was analysed. Independent of today's drive letters,
// so that a loaded analysis names its own paths.
std::string nativePathOf(const QString& displayPath, const std::string& root) {
    std::string native = root;
    const QStringView rest = QStringView(displayPath).mid(3);
    for (qsizetype start = 0; start < rest.size();) {
        qsizetype slash = rest.indexOf(u'\\', start);
        if (slash < 0)
            slash = rest.size();
        if (slash > start) {
            if (native.empty() || native.back() != '/')
                native += '/';
            native += platform::NativeName(rest.mid(start, slash - start));
        }
        start = slash + 1;
    }
    return native;
}

// The CSV's path column: the path as the program shows it, in UTF-8. The escapes of bytes that
// are not UTF-8 have no UTF-8 form and appear as U+FFFD; the native_path column keeps the real
// bytes.
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
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
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
        } else if (a == "--save" || a.rfind("--save=", 0) == 0) {
            if (!value("--save", v) || v.empty())
                return failUsage("--save needs a file name");
            o.save = v;
        } else if (a == "--ncdu-json" || a.rfind("--ncdu-json=", 0) == 0) {
            if (!value("--ncdu-json", v) || v.empty())
                return failUsage("--ncdu-json needs a file name");
            o.ncduJson = v;
        } else if (a == "--load" || a.rfind("--load=", 0) == 0) {
            if (!value("--load", v) || v.empty())
                return failUsage("--load needs a file name");
            o.load = v;
        } else if (a == "--compare") {
            if (i + 2 >= argc || !*argv[i + 1] || !*argv[i + 2])
                return failUsage("--compare needs the old and the new analysis");
            o.compare.emplace(argv[i + 1], argv[i + 2]);
            i += 2;
        } else if (a.size() > 1 && a[0] == '-' && a != "--") {
            return failUsage("unknown option " + shownNative(a));
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
    if (o.compare) {
        if (o.load || haveTarget || o.save || o.ncduJson)
            return failUsage("--compare takes no other analysis, --save or --ncdu-json");
        return -1;
    }
    if (o.load && haveTarget)
        return failUsage("--load reports the file's analysis: no drive or folder with it");
    if (!o.load && !haveTarget)
        return failUsage("a drive or folder is needed");
    return -1;
}

bool isFolder(const std::string& native) {
    struct stat st {};
    return !native.empty() && ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

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
        for (size_t slash; !rest.empty();
             rest.remove_prefix(slash == rest.npos ? rest.size() : slash + 1)) {
            slash = rest.find('\\');
            windows += platform::DisplayName(rest.substr(0, slash));
            windows += u'\\';
        }
        folder = platform::NativePath(windows);
    }
    char real[PATH_MAX];
    if (folder.empty() || !::realpath(folder.c_str(), real) || !isFolder(real))
        return failUsage("no such folder: " + shownNative(target));
    native = real;
    for (char16_t l = u'Z'; l >= u'D'; --l) {
        if (platform::DriveRoot(l).empty()) {
            platform::SetDriveRoot(l, native);
            drive = QChar(l) + QStringLiteral(":\\");
            return -1;
        }
    }
    return failUsage("no free drive letter for " + shownNative(target));
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
                  shown(tree.Path(best[i])).c_str());
}

// CSV rows gathered in a buffer and written in blocks; the first failure is kept.
class CsvRows {
public:
    CsvRows(int fd, std::string header) : fd_(fd), line_(std::move(header)) {}
    std::string& Line() { return line_; }
    // Writes the block once it is large; the reason when that failed.
    std::optional<std::string> RowDone() {
        return line_.size() > (1 << 16) ? Flush() : std::nullopt;
    }
    // The reason when the rows could not be written.
    std::optional<std::string> Flush() {
        for (size_t done = 0; done < line_.size();) {
            const ssize_t n = ::write(fd_, line_.data() + done, line_.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return std::strerror(n < 0 ? errno : EIO);
            done += static_cast<size_t>(n);
        }
        line_.clear();
        return std::nullopt;
    }
    // The two path columns of a node: as the program shows it, and native below root.
    void AppendPaths(const TAnalysisTree& tree, PNode n, const std::string& root) {
        const analysis::TNodeData data = tree.GetNodeData(n);
        appendCsvField(line_, displayUtf8(data.Path));
        line_ += ',';
        appendCsvField(line_, nativePathOf(analysis::ListedPath(data), root));
    }

private:
    int fd_;
    std::string line_;
};

// Every node as a row; the reason when the rows could not be written.
std::optional<std::string> writeCsv(int fd, const TAnalysisTree& tree, const std::string& root) {
    CsvRows rows(fd, "path,native_path,size,folders,files,is_folder\r\n");
    for (PNode n = tree.GetFirst(); n != PNode::None; n = tree.GetNext(n)) {
        rows.AppendPaths(tree, n, root);
        rows.Line() +=
            ',' + std::to_string(tree.Size(n)) + ',' + std::to_string(tree.FolderCount(n)) + ',' +
            std::to_string(tree.FileCount(n)) + ',' + (tree.IsFolder(n) ? "1" : "0") + "\r\n";
        if (auto failed = rows.RowDone())
            return failed;
    }
    return rows.Flush();
}

std::optional<Failure> TargetFile::Commit(const Writer& write) {
    const auto failed = [this](const std::string& why) {
        return Failure{kExitFailed, "cannot write " + shownNative(given_) + ": " + why};
    };
    std::optional<std::string> wrong = write(fd_);
    if (!wrong && ::fchmod(fd_, mode_) != 0)
        wrong = std::strerror(errno);
    // On disk before it replaces the old file: a crash then leaves the old one, not an empty one.
    if (!wrong && ::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)
        wrong = std::strerror(errno);
    const int closed = ::close(fd_);
    fd_ = -1;
    if (!wrong && closed != 0)
        wrong = std::strerror(errno);
    if (wrong)
        return failed(*wrong);
    // The target may have changed during the analysis: the same rules once more, right before
    // the rename that only replaces the entry.
    struct stat st {};
    bool exists = false;
    if (auto refused = checkTarget(st, exists))
        return refused;
    // No signal between the rename and forgetting the temporary name: the handler would remove
    // whatever has that name by then.
    sigset_t endings, previous;
    sigemptyset(&endings);
    for (const int sig : kEndingSignals)
        sigaddset(&endings, sig);
    ::sigprocmask(SIG_BLOCK, &endings, &previous);
    const bool ok = ::renameat(folder_, pending_.name, folder_, name_.c_str()) == 0;
    const int err = errno;
    if (ok)
        pending_.set = 0;
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (!ok)
        return failed(std::strerror(err));
    return std::nullopt;
}

// Folders whose contents could not be read: counted and the first few named, on stderr.
void reportUnreadable(const analysis::TScanVerdict& verdict, const std::string& root) {
    if (verdict.UnreadableFolders == 0)
        return;
    const uint32_t n = verdict.UnreadableFolders;
    std::fprintf(
        stderr,
        "orbisca-report: %u folder%s could not be read; what %s is missing from the totals:\n", n,
        n == 1 ? "" : "s", n == 1 ? "it holds" : "they hold");
    for (const QString& folder : verdict.UnreadableSamples)
        std::fprintf(stderr, "orbisca-report:   %s (%s)\n", shown(folder).c_str(),
                     shownNative(nativePathOf(folder, root)).c_str());
    if (n > static_cast<uint32_t>(verdict.UnreadableSamples.size()))
        std::fprintf(stderr, "orbisca-report:   and %u more\n",
                     n - static_cast<uint32_t>(verdict.UnreadableSamples.size()));
}

} // namespace

// The analysis the report is about: scanned now, or loaded from a file.
struct Analysis {
    TAnalysisTree tree;
    analysis::TAnalysisSummary summary;
    double seconds = 0;
    QStringList boxes; // the engine's error boxes, each shown as a line on stderr
};

// Scans the drive through the engine; -1 when done, else the exit code.
int scan(const QString& drive, Analysis& a) {
    // Error boxes of the engine become one line each on stderr.
    platform::SetMessageBoxHandler([&boxes = a.boxes](const QString& text, const QString&, unsigned) {
        boxes.append(text);
        std::fprintf(stderr, "orbisca-report: %s\n", shown(text).c_str());
        return platform::IDOK;
    });
    analysis::TOrbisca engine(&a.tree);
    if (!engine.DLLHandle || !engine.Undeleter)
        return kExitNoService;
    StderrBar bar;
    if (::isatty(STDERR_FILENO))
        engine.ProgressBar = &bar;
    const auto start = std::chrono::steady_clock::now();
    engine.DO_Drive(drive);
    a.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bar.Finish();
    a.summary = engine.Summary();
    return a.boxes.isEmpty() ? -1 : kExitFailed;
}

// Loads a saved analysis or an ncdu/gdu export; -1 when done, else the exit code.
int load(const std::string& file, Analysis& a) {
    const auto start = std::chrono::steady_clock::now();
    saved::TOpened opened;
    QString error;
    if (!saved::OpenAnalysisFile(file, a.tree, &opened, &error))
        return fail(kExitFailed, "cannot read " + shownNative(file) + ": " + shown(error));
    a.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    a.summary = opened.Summary;
    for (const QString& note : opened.Notes)
        std::fprintf(stderr, "orbisca-report: %s: %s\n", shownNative(file).c_str(),
                     shown(note).c_str());
    return -1;
}

// ---- Comparing two analyses ----------------------------------------------------------------

// One side of a comparison: the analysis and where its paths are.
struct Side {
    Analysis a;
    QString drive;
    std::string native; // the folder the drive stood for
    std::string given;
    bool loaded = false;
};

// A regular file is a saved analysis; anything else a drive or folder to analyse now.
// -1 when done, else the exit code.
int analyseSide(const std::string& given, Side& side) {
    side.given = given;
    struct stat st {};
    if (::stat(given.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        side.loaded = true;
        if (const int code = load(given, side.a); code >= 0)
            return code;
        side.drive = side.a.summary.Drive;
        side.native = side.a.summary.Origin.Root;
        return -1;
    }
    if (const int code = resolveTarget(given, side.drive, side.native); code >= 0)
        return code;
    if (const int code = scan(side.drive, side.a); code >= 0)
        return code;
    // A scan names its file system as a saved analysis does, so that moves can be matched.
    analysis::TAnalysisOrigin& o = side.a.summary.Origin;
    o.Root = side.native;
    platform::FileSystemIdentity identity;
    if (platform::IdentifyFileSystem(side.native, &identity) &&
        (side.a.tree.Device() == 0 || identity.device == side.a.tree.Device()))
        o.FileSystem = identity;
    return -1;
}

std::string signedGrouped(int64_t v) {
    return v > 0 ? "+" + grouped(v) : grouped(v);
}

// The path of a compared item: in the new analysis, or in the old one for a gone item.
struct ComparedPaths {
    const TAnalysisTree& oldTree;
    const TAnalysisTree& newTree;
    QString Of(const saved::TCompared& row) const {
        return row.NewNode != PNode::None ? newTree.Path(row.NewNode) : oldTree.Path(row.OldNode);
    }
};

void printChanges(Output& out, const ComparedPaths& paths, std::vector<saved::TCompared> rows,
                  long top, bool growth, const char* title) {
    const auto grew = [growth](const saved::TCompared& r) {
        return growth ? r.Delta() > 0 : r.Delta() < 0;
    };
    rows.erase(std::remove_if(rows.begin(), rows.end(), [&](const auto& r) { return !grew(r); }),
               rows.end());
    const size_t n = std::min(rows.size(), static_cast<size_t>(top));
    std::partial_sort(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(n), rows.end(),
                      [growth](const saved::TCompared& a, const saved::TCompared& b) {
                          return growth ? a.Delta() > b.Delta() : a.Delta() < b.Delta();
                      });
    out.Print("\n%s\n%20s %20s %20s  %s\n", title, "old", "new", "change", "path");
    for (size_t i = 0; i < n; ++i)
        out.Print("%20s %20s %20s  %s\n", grouped(rows[i].OldSize).c_str(),
                  grouped(rows[i].NewSize).c_str(), signedGrouped(rows[i].Delta()).c_str(),
                  shown(paths.Of(rows[i])).c_str());
}

// Every compared item as a row: the new analysis's in its order (its top folder first), then
// the gone items and the old analysis's unknown items the new one lacks, in the old order.
std::optional<std::string> writeCompareCsv(int fd, const saved::TComparison& cmp, const Side& o,
                                           const Side& n) {
    CsvRows rows(fd, "path,native_path,old_size,new_size,delta,old_files,new_files,state\r\n");
    const auto add = [&](const TAnalysisTree& tree, PNode node, const std::string& root,
                         const saved::TCompared& r) {
        rows.AppendPaths(tree, node, root);
        rows.Line() += ',' + std::to_string(r.OldSize) + ',' + std::to_string(r.NewSize) + ',' +
                       std::to_string(r.Delta()) + ',' + std::to_string(r.OldFiles) + ',' +
                       std::to_string(r.NewFiles) + ',' + saved::ChangeName(r.State) + "\r\n";
        return rows.RowDone();
    };
    const TAnalysisTree& nt = n.a.tree;
    for (PNode x = nt.GetFirst(); x != PNode::None; x = nt.GetNext(x))
        if (auto failed = add(nt, x, n.native, cmp.ForNew(x)))
            return failed;
    for (const auto* old : {&cmp.GoneNodes(), &cmp.UnknownOldNodes()})
        for (PNode x : *old)
            if (auto failed = add(o.a.tree, x, o.native, cmp.ForOld(x)))
                return failed;
    return rows.Flush();
}

std::string sideName(const Side& side) {
    return side.loaded ? "the saved analysis of " + shownNative(side.native) + " (" +
                             shownNative(side.given) + ")"
                       : "the analysis of " + shownNative(side.native);
}

int runCompare(const Options& options, Output& out) {
    TargetFile csv(0);
    if (options.csv)
        if (const auto failure = csv.Prepare(*options.csv))
            return fail(failure->code, failure->message);

    Side sides[2];
    for (int i = 0; i < 2; ++i)
        if (const int code =
                analyseSide(i == 0 ? options.compare->first : options.compare->second, sides[i]);
            code >= 0)
            return code;
    // An incomplete side is compared for what it holds, and named.
    bool incomplete = false;
    for (const Side& side : sides) {
        const analysis::TScanVerdict& verdict = side.a.summary.Verdict;
        if (side.a.tree.GetFirst() == PNode::None)
            return fail(kExitFailed, sideName(side) + " is empty");
        if (verdict.CutShort || verdict.Stopped) {
            incomplete = true;
            const QString reason =
                verdict.CutShort ? verdict.Reason : QStringLiteral("the analysis was stopped");
            std::fprintf(stderr, "orbisca-report: %s is incomplete: %s; what it lacks is unknown\n",
                         sideName(side).c_str(), shown(reason).c_str());
        }
        reportUnreadable(verdict, side.native);
    }
    const Side& o = sides[0];
    const Side& n = sides[1];
    saved::TComparison cmp;
    cmp.Run(o.a.tree, o.a.summary, n.a.tree, n.a.summary);

    const saved::TCompared totals = cmp.Totals();
    out.Print("Old: drive %s (%s)%s\n", shown(o.drive).c_str(), shownNative(o.native).c_str(),
              o.loaded ? (", saved in " + shownNative(o.given)).c_str() : "");
    out.Print("New: drive %s (%s)%s\n", shown(n.drive).c_str(), shownNative(n.native).c_str(),
              n.loaded ? (", saved in " + shownNative(n.given)).c_str() : "");
    out.Print("%-8s %20s %20s %20s\n", "", "old", "new", "change");
    out.Print("%-8s %20s %20s %20s\n", "Files:", grouped(totals.OldFiles).c_str(),
              grouped(totals.NewFiles).c_str(),
              signedGrouped(int64_t{totals.NewFiles} - int64_t{totals.OldFiles}).c_str());
    out.Print("%-8s %20s %20s %20s\n", "Bytes:", grouped(totals.OldSize).c_str(),
              grouped(totals.NewSize).c_str(), signedGrouped(totals.Delta()).c_str());
    out.Print("Moves:   %s\n", cmp.MovesMatched()
                                   ? "matched by inode"
                                   : "not matched (not known to be one file system)");

    if (options.top > 0) {
        std::vector<saved::TCompared> folders, files;
        const TAnalysisTree& nt = n.a.tree;
        for (PNode x = nt.GetNext(nt.GetFirst()); x != PNode::None; x = nt.GetNext(x))
            (nt.IsFolder(x) ? folders : files).push_back(cmp.ForNew(x));
        for (PNode x : cmp.GoneNodes())
            (o.a.tree.IsFolder(x) ? folders : files).push_back(cmp.ForOld(x));
        const ComparedPaths paths{o.a.tree, nt};
        printChanges(out, paths, folders, options.top, true, "Folders grown most");
        printChanges(out, paths, files, options.top, true, "Files grown most");
        printChanges(out, paths, folders, options.top, false, "Folders shrunk most");
        printChanges(out, paths, files, options.top, false, "Files shrunk most");
    }

    int code = incomplete ? kExitFailed : kExitOk;
    if (options.csv)
        if (const auto failure = csv.Commit([&](int fd) { return writeCompareCsv(fd, cmp, o, n); }))
            code = fail(failure->code, failure->message);
    return finish(out, code);
}

static int run(int argc, char** argv) {
    Output out;
    Options options;
    if (const int code = parseArguments(argc, argv, options, out); code >= 0)
        return finish(out, code);
    if (options.compare)
        return runCompare(options, out);
    QString drive;
    std::string native;
    if (!options.load)
        if (const int code = resolveTarget(options.target, drive, native); code >= 0)
            return code;

    // Every file to write is checked and begun before the analysis.
    TargetFile csv(0), savedFile(1), json(2);
    const std::pair<const std::optional<std::string>&, TargetFile&> targets[] = {
        {options.csv, csv}, {options.save, savedFile}, {options.ncduJson, json}};
    for (const auto& [given, target] : targets)
        if (given)
            if (const auto failure = target.Prepare(*given))
                return fail(failure->code, failure->message);

    Analysis a;
    if (const int code = options.load ? load(*options.load, a) : scan(drive, a); code >= 0)
        return code;
    const TAnalysisTree& tree = a.tree;
    const analysis::TAnalysisSummary& summary = a.summary;
    if (options.load) {
        drive = summary.Drive;
        native = summary.Origin.Root;
    }
    // A part of the drive is never reported as the whole.
    const analysis::TScanVerdict& verdict = summary.Verdict;
    if (verdict.CutShort || verdict.Stopped || tree.GetFirst() == PNode::None) {
        const QString reason = verdict.CutShort  ? verdict.Reason
                               : verdict.Stopped ? QStringLiteral("the analysis was stopped")
                                                 : QStringLiteral("it is empty");
        const std::string what = options.load ? "the saved analysis of " + shownNative(native) +
                                                    " (" + shownNative(*options.load) + ")"
                                              : "the analysis of " + shownNative(native);
        return fail(kExitFailed, what + " is incomplete: " + shown(reason));
    }
    reportUnreadable(verdict, native);

    const PNode root = tree.GetFirst();
    out.Print("Drive %s (%s)\n", shown(drive).c_str(), shownNative(native).c_str());
    out.Print("Files:   %s\n", grouped(tree.FileCount(root)).c_str());
    out.Print("Folders: %s\n", grouped(tree.FolderCount(root)).c_str());
    out.Print("Bytes:   %s\n", grouped(summary.TotalSize).c_str());
    if (verdict.UnreadableFolders)
        out.Print("Unreadable folders: %s\n", grouped(verdict.UnreadableFolders).c_str());
    if (options.load) {
        const analysis::TAnalysisOrigin& o = summary.Origin;
        const QDateTime made = o.Ended.isValid() ? o.Ended : o.Started;
        out.Print("Analysed: %s%s\n",
                  made.isValid()
                      ? made.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'")).toUtf8().constData()
                      : "unknown",
                  o.Source == QStringLiteral("scan")
                      ? ""
                      : (" (imported from " + shown(o.Source) + ")").c_str());
        out.Print("Loaded:  %.3f s\n", a.seconds);
    } else {
        out.Print("Elapsed: %.3f s\n", a.seconds);
    }

    if (options.top > 0) {
        std::vector<PNode> folders, files;
        for (PNode n = tree.GetNext(root); n != PNode::None; n = tree.GetNext(n))
            (tree.IsFolder(n) ? folders : files).push_back(n);
        printLargest(out, tree, folders, options.top, "Largest folders");
        printLargest(out, tree, files, options.top, "Largest files");
    }

    const auto reason = [](bool ok, const QString& error) -> std::optional<std::string> {
        if (ok)
            return std::nullopt;
        return error.toLocal8Bit().toStdString();
    };
    const TargetFile::Writer writers[] = {
        [&](int fd) { return writeCsv(fd, tree, native); },
        [&](int fd) {
            QString error;
            return reason(saved::WriteSaved(fd, saved::HeaderForSaving(tree, summary), tree, &error),
                          error);
        },
        [&](int fd) {
            QString error;
            return reason(saved::ExportNcduJson(fd, tree, summary, &error), error);
        },
    };
    int code = kExitOk;
    for (size_t i = 0; i < std::size(targets); ++i)
        if (targets[i].first && code == kExitOk)
            if (const auto failure = targets[i].second.Commit(writers[i]))
                code = fail(failure->code, failure->message);
    return finish(out, code);
}

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        return fail(kExitFailed, "out of memory");
    }
}
